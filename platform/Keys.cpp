#include "platform/Keys.h"

#include "common/StrUtils.h"

#include <SDL_keycode.h>
#include <SDL_scancode.h>

namespace varnok::platform {

int VirtualKeyFromSdl(int sdlKeycode, int sdlScancode) {
    // Keypad first, by scancode: Num Lock must not turn them into arrows.
    if (sdlScancode >= SDL_SCANCODE_KP_1 && sdlScancode <= SDL_SCANCODE_KP_9)
        return VK_NUMPAD0 + 1 + (sdlScancode - SDL_SCANCODE_KP_1);
    switch (sdlScancode) {
    case SDL_SCANCODE_KP_0: return VK_NUMPAD0;
    case SDL_SCANCODE_KP_PERIOD: return VK_DECIMAL;
    case SDL_SCANCODE_KP_ENTER: return VK_RETURN;
    case SDL_SCANCODE_KP_PLUS: return VK_ADD;
    case SDL_SCANCODE_KP_MINUS: return VK_SUBTRACT;
    case SDL_SCANCODE_KP_MULTIPLY: return VK_MULTIPLY;
    case SDL_SCANCODE_KP_DIVIDE: return VK_DIVIDE;
    default: break;
    }
    if (sdlKeycode >= SDLK_a && sdlKeycode <= SDLK_z) return 'A' + (sdlKeycode - SDLK_a);
    if (sdlKeycode >= SDLK_0 && sdlKeycode <= SDLK_9) return '0' + (sdlKeycode - SDLK_0);
    if (sdlKeycode >= SDLK_F1 && sdlKeycode <= SDLK_F12) return VK_F1 + (sdlKeycode - SDLK_F1);
    switch (sdlKeycode) {
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_NUMLOCKCLEAR: return VK_NUMLOCK;
    case SDLK_SCROLLLOCK: return VK_SCROLL;
    default: return 0;
    }
}

std::optional<int> VirtualKeyFromName(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (auto n = TryStrToInt(name)) {
        if (*n > 0 && *n < 256) return *n;
        return std::nullopt;
    }
    const std::string u = UpperCase(name);
    if (u.size() == 1 && ((u[0] >= 'A' && u[0] <= 'Z') || (u[0] >= '0' && u[0] <= '9'))) return u[0];
    struct Named {
        const char* name;
        int key;
    };
    static const Named names[] = {
        {"LEFT", VK_LEFT},     {"RIGHT", VK_RIGHT},   {"UP", VK_UP},         {"DOWN", VK_DOWN},
        {"CTRL", VK_CONTROL},  {"CONTROL", VK_CONTROL}, {"SHIFT", VK_SHIFT}, {"ALT", VK_MENU},
        {"ENTER", VK_RETURN},  {"RETURN", VK_RETURN}, {"ESCAPE", VK_ESCAPE}, {"ESC", VK_ESCAPE},
        {"SPACE", VK_SPACE},   {"TAB", VK_TAB},       {"PAUSE", VK_PAUSE},   {"HOME", VK_HOME},
        {"END", VK_END},       {"PAGEUP", VK_PRIOR},  {"PAGEDOWN", VK_NEXT}, {"INSERT", VK_INSERT},
        {"DELETE", VK_DELETE}, {"BACKSPACE", VK_BACK},
    };
    for (const auto& n : names)
        if (u == n.name) return n.key;
    if (u.size() >= 2 && u.size() <= 3 && u[0] == 'F' &&
        u.find_first_not_of("0123456789", 1) == std::string::npos) {
        const int f = std::stoi(u.substr(1));
        if (f >= 1 && f <= 12) return VK_F1 + f - 1;
    }
    if (u.size() == 4 && u.compare(0, 3, "NUM") == 0 && u[3] >= '0' && u[3] <= '9') return VK_NUMPAD0 + (u[3] - '0');
    return std::nullopt;
}

} // namespace varnok::platform
