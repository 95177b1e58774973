#include "app/KeyBindings.h"

#include "common/DebugLog.h"
#include "common/Exception.h"
#include "common/Files.h"
#include "common/StrUtils.h"
#include "common/UserFolders.h"
#include "platform/Keys.h"

#include <filesystem>
#include <sstream>

namespace varnok {

namespace {

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    const size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

} // namespace

std::array<int, 256> IdentityKeyMap() {
    std::array<int, 256> map{};
    for (int i = 0; i < 256; ++i)
        map[static_cast<size_t>(i)] = i;
    return map;
}

TKeyBindings ParseKeyBindings(const std::string& text) {
    TKeyBindings b;
    b.Map = IdentityKeyMap();
    std::array<bool, 256> bound{};
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string t = Trim(line);
        if (t.empty() || t[0] == '#') continue;
        const size_t eq = t.find('=');
        // The file's words are quoted with their control bytes escaped: a
        // broken file must not reach a terminal's controls.
        if (eq == std::string::npos) {
            b.Problems.push_back(
                Format("%d: expected 'KEY = GAME_KEY', got '%s'", lineNo, EscapeControlBytes(t).c_str()));
            continue;
        }
        const std::string left = Trim(t.substr(0, eq)), right = Trim(t.substr(eq + 1));
        const auto physical = platform::VirtualKeyFromName(left);
        if (!physical) {
            b.Problems.push_back(Format("%d: '%s' is no key name", lineNo, EscapeControlBytes(left).c_str()));
            continue;
        }
        int game = 0;
        if (!SameText(right, "none")) {
            const auto named = platform::VirtualKeyFromName(right);
            if (!named) {
                b.Problems.push_back(
                    Format("%d: '%s' is no key name (or 'none')", lineNo, EscapeControlBytes(right).c_str()));
                continue;
            }
            game = *named;
        }
        if (bound[static_cast<size_t>(*physical)]) {
            b.Problems.push_back(Format("%d: '%s' is bound twice; the first binding stays", lineNo,
                                        EscapeControlBytes(left).c_str()));
            continue;
        }
        bound[static_cast<size_t>(*physical)] = true;
        b.Map[static_cast<size_t>(*physical)] = game;
    }
    return b;
}

std::string DefaultKeyBindingsText() {
    return "# Key bindings of VARNOK (freeware version).\n"
           "#\n"
           "# Each line binds a key of your keyboard to the key the game expects:\n"
           "#     KEY = GAME_KEY\n"
           "# \"A = Left\" makes A walk left; \"Left = none\" switches the Left key off.\n"
           "# Keys not named here keep their own meaning. Key names: Left, Right, Up,\n"
           "# Down, Ctrl, Shift, Alt, Enter, Escape, Space, Tab, F1 .. F12,\n"
           "# Num0 .. Num9, a letter, or a key number. Lines starting with \"#\" are\n"
           "# comments. Delete this file to get these defaults back.\n"
           "\n"
           "# Walk, duck; choose on the title menu\n"
           "Left = Left\n"
           "Right = Right\n"
           "Up = Up\n"
           "Down = Down\n"
           "# Jump, run, creep\n"
           "Ctrl = Ctrl\n"
           "Shift = Shift\n"
           "Alt = Alt\n"
           "# Take a menu entry, go on after a level; leave to the title\n"
           "Enter = Enter\n"
           "Escape = Escape\n"
           "# Pause\n"
           "P = P\n"
           "F1 = F1\n"
           "# Sound effects and music on or off, screenshot\n"
           "F7 = F7\n"
           "F8 = F8\n"
           "F12 = F12\n";
}

std::array<int, 256> LoadKeyBindings(const std::string& path, bool writeDefaults) {
    std::optional<std::string> text;
    try {
        text = ReadWholeFileIfExists(path, 1 << 20);
        std::error_code ec;
        if (!text && writeDefaults && std::filesystem::is_symlink(path, ec)) {
            // A link to a file that is not there (yet): the player's own
            // arrangement, not replaced by a file of ours.
            AddMessage(EscapeControlBytes(Format(
                "Key bindings: %s is a link to %s, which does not exist; it is left alone and the keys "
                "keep their own meaning",
                path.c_str(), std::filesystem::read_symlink(path, ec).string().c_str())));
            return IdentityKeyMap();
        }
        if (!text && writeDefaults) {
            MakeFolders(std::filesystem::path(path).parent_path().string());
            WriteFileAtomically(path, DefaultKeyBindingsText());
            text = DefaultKeyBindingsText();
        }
    } catch (const Exception& e) {
        AddMessage(EscapeControlBytes(Format("Key bindings: %s; the keys keep their own meaning", e.what())));
        return IdentityKeyMap();
    }
    if (!text) return IdentityKeyMap();
    TKeyBindings b = ParseKeyBindings(*text);
    for (const std::string& problem : b.Problems)
        AddMessage(Format("%s line %s (ignored)", EscapeControlBytes(path).c_str(), problem.c_str()));
    return b.Map;
}

} // namespace varnok
