#include "tools/InternalForm.h"

#include "common/Exception.h"
#include "level/CryptedINI.h"

namespace varnok {

TInternalForm::TInternalForm(TMemIniFileCrypted& store, std::function<void(const std::string&)> showMessage)
    : store_(store), showMessage_(std::move(showMessage)) {}

void TInternalForm::FormShow() {
    Value.clear();
    tree_.clear();
    root_ = child_ = -1;
    std::vector<std::string> names;
    store_.GetSectionNames(names);
    for (const std::string& name : names) {
        TTreeNode node{name, {}};
        std::vector<std::string> lines;
        store_.GetSectionLines(name, lines);
        for (const std::string& line : lines) {
            const size_t eq = line.find('=');
            node.Children.push_back(eq == std::string::npos ? std::string() : line.substr(0, eq));
        }
        tree_.push_back(std::move(node));
    }
    visible_ = true;
}

void TInternalForm::Select(int root, int child) {
    root_ = child_ = -1;
    if (root < 0 || root >= static_cast<int>(tree_.size())) return;
    if (child >= static_cast<int>(tree_[static_cast<size_t>(root)].Children.size())) return;
    root_ = root;
    child_ = child < 0 ? -1 : child;
}

bool TInternalForm::SelectedEntry(std::string& section, std::string& key) const {
    if (root_ < 0 || child_ < 0) return false;
    const TTreeNode& node = tree_[static_cast<size_t>(root_)];
    section = node.Text;
    key = node.Children[static_cast<size_t>(child_)];
    return true;
}

void TInternalForm::TreeViewClick() {
    if (!HasSelection()) return;
    std::string section, key;
    if (SelectedEntry(section, key)) {
        ValueEnabled = true;
        Value = store_.GetString(section, key, "");
    } else {
        ValueEnabled = false;
    }
}

void TInternalForm::ValueKeyUp() {
    std::string section, key;
    if (SelectedEntry(section, key)) store_.SetString(section, key, Value);
}

bool TInternalForm::OkBtnClick() {
    try {
        store_.Save();
    } catch (const Exception& e) {
        showMessage_(e.Message());
        return false;
    }
    visible_ = false;
    return true;
}

bool TInternalForm::CancelBtnClick() {
    try {
        store_.Reload();
    } catch (const Exception& e) {
        showMessage_(e.Message());
        return false;
    }
    visible_ = false;
    return true;
}

} // namespace varnok
