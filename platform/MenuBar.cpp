#include "platform/MenuBar.h"

namespace varnok::platform {

MenuItem& Menu::Add(const std::string& name, const std::string& caption) {
    Items.push_back(std::make_unique<MenuItem>());
    Items.back()->Name = name;
    Items.back()->Caption = caption;
    return *Items.back();
}

Menu& MenuBar::Add(const std::string& name, const std::string& caption) {
    Menus.push_back(std::make_unique<Menu>());
    Menus.back()->Name = name;
    Menus.back()->Caption = caption;
    return *Menus.back();
}

Menu* MenuBar::FindMenu(const std::string& name) {
    for (auto& m : Menus)
        if (m->Name == name) return m.get();
    return nullptr;
}

MenuItem* MenuBar::FindItem(const std::string& name) {
    for (auto& m : Menus)
        for (auto& i : m->Items)
            if (i->Name == name) return i.get();
    return nullptr;
}

std::string StripAccessKey(const std::string& caption) {
    std::string r;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                r.push_back('&');
                ++i;
            }
            continue;
        }
        r.push_back(caption[i]);
    }
    return r;
}

} // namespace varnok::platform
