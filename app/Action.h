#pragma once
// A menu action: caption, shortcut key, check mark and enabled state shared by
// every menu item linked to it, and the command it runs.
#include "platform/MenuBar.h"

#include <functional>
#include <string>
#include <vector>

namespace varnok {

class TAction {
public:
    TAction(std::string name, std::string caption, int shortCutKey = 0, std::string shortCutText = "")
        : Name(std::move(name)), caption_(std::move(caption)), shortCutKey_(shortCutKey),
          shortCutText_(std::move(shortCutText)) {}

    const std::string Name;
    std::function<void()> OnExecute;

    void Execute() {
        if (enabled_ && OnExecute) OnExecute();
    }

    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    const std::string& Caption() const { return caption_; }
    int ShortCutKey() const { return shortCutKey_; }

    // Links a menu item: it takes the action's caption, shortcut and state,
    // and clicking it executes the action.
    void Link(platform::MenuItem& item);
    // The menu items linked to the action.
    const std::vector<platform::MenuItem*>& Items() const { return items_; }

private:
    std::string caption_;
    int shortCutKey_;
    std::string shortCutText_;
    bool checked_ = false;
    bool enabled_ = true;
    std::vector<platform::MenuItem*> items_;
};

} // namespace varnok
