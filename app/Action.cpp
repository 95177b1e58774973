#include "app/Action.h"

namespace varnok {

void TAction::SetChecked(bool value) {
    checked_ = value;
    for (auto* item : items_) item->Checked = value;
}

void TAction::SetEnabled(bool value) {
    enabled_ = value;
    for (auto* item : items_) item->Enabled = value;
}

void TAction::Link(platform::MenuItem& item) {
    item.Caption = caption_;
    item.ShortCut = shortCutText_;
    item.Checked = checked_;
    item.Enabled = enabled_;
    item.OnClick = [this](platform::MenuItem&) { Execute(); };
    items_.push_back(&item);
}

} // namespace varnok
