#pragma once
// Keyboard codes of the game: the virtual-key numbers (VK_*) and the shift
// state bits that every key handler receives.
#include <cstdint>
#include <optional>
#include <string>

namespace varnok {

// Shift state bits.
constexpr int ssShift = 1;
constexpr int ssAlt = 2;
constexpr int ssCtrl = 4;

// Virtual-key codes used by the game.
constexpr int VK_BACK = 8;
constexpr int VK_TAB = 9;
constexpr int VK_RETURN = 13;
constexpr int VK_SHIFT = 16;
constexpr int VK_CONTROL = 17;
constexpr int VK_MENU = 18; // Alt
constexpr int VK_PAUSE = 19;
constexpr int VK_CAPITAL = 20;
constexpr int VK_ESCAPE = 27;
constexpr int VK_SPACE = 32;
constexpr int VK_PRIOR = 33;
constexpr int VK_NEXT = 34;
constexpr int VK_END = 35;
constexpr int VK_HOME = 36;
constexpr int VK_LEFT = 37;
constexpr int VK_UP = 38;
constexpr int VK_RIGHT = 39;
constexpr int VK_DOWN = 40;
constexpr int VK_INSERT = 45;
constexpr int VK_DELETE = 46;
constexpr int VK_NUMPAD0 = 96;
constexpr int VK_MULTIPLY = 106;
constexpr int VK_ADD = 107;
constexpr int VK_SUBTRACT = 109;
constexpr int VK_DECIMAL = 110;
constexpr int VK_DIVIDE = 111;
constexpr int VK_NUMPAD1 = 97;
constexpr int VK_NUMPAD2 = 98;
constexpr int VK_NUMPAD3 = 99;
constexpr int VK_NUMPAD4 = 100;
constexpr int VK_NUMPAD5 = 101;
constexpr int VK_NUMPAD6 = 102;
constexpr int VK_NUMPAD7 = 103;
constexpr int VK_NUMPAD8 = 104;
constexpr int VK_NUMPAD9 = 105;
constexpr int VK_F1 = 112;
constexpr int VK_F5 = 116;
constexpr int VK_F7 = 118;
constexpr int VK_F8 = 119;
constexpr int VK_F9 = 120;
constexpr int VK_F11 = 122;
constexpr int VK_F12 = 123;
constexpr int VK_NUMLOCK = 144;
constexpr int VK_SCROLL = 145;

namespace platform {

// The virtual-key code of an SDL key (keycode and scancode of one event);
// 0 for keys the game has no code for. Letters and digits follow the
// keyboard layout (the keycode); keypad keys give their keypad codes whatever
// Num Lock says (the scancode).
int VirtualKeyFromSdl(int sdlKeycode, int sdlScancode);

// Virtual-key codes by name, as scripted input and settings write them:
// a number, or Left, Right, Up, Down, Ctrl, Shift, Alt, Enter, Escape, Space,
// F1..F12, Num0..Num9, a single letter or digit. Case-insensitive.
std::optional<int> VirtualKeyFromName(const std::string& name);

} // namespace platform
} // namespace varnok
