#pragma once
// The main window's menu bar as data: menus with items, each with a caption
// ("&" marks the access key), a shortcut text, a check mark, enabled and
// visible flags and a tag. The window draws it; clicks are queued and run
// between ticks, never in the middle of one.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace varnok::platform {

struct MenuItem {
    std::string Name;    // component name, e.g. "Pause1"
    std::string Caption;
    std::string ShortCut; // shown beside the caption, e.g. "F8"
    bool Checked = false;
    bool Enabled = true;
    bool Visible = true;
    int Tag = 0;
    std::function<void(MenuItem&)> OnClick;
};

struct Menu {
    std::string Name;
    std::string Caption;
    bool Visible = true;
    std::vector<std::unique_ptr<MenuItem>> Items;
    // Runs when the menu opens, before its items are shown (to refresh check marks).
    std::function<void()> OnOpen;

    MenuItem& Add(const std::string& name, const std::string& caption);
};

struct MenuBar {
    std::vector<std::unique_ptr<Menu>> Menus;

    Menu& Add(const std::string& name, const std::string& caption);
    Menu* FindMenu(const std::string& name);
    MenuItem* FindItem(const std::string& name);
};

// The caption without access-key marks: "G&ame" -> "Game", "&&" -> "&".
std::string StripAccessKey(const std::string& caption);

} // namespace varnok::platform
