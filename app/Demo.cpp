#include "app/Demo.h"

#include "common/Exception.h"
#include "common/Files.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "platform/Keys.h"

#include <sstream>

namespace varnok {

namespace {

constexpr int kDemoFormat = 1;

bool ParseNumber(const std::string& text, uint64_t& out, uint64_t max) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoull(text);
    return out <= max;
}

bool ParseSigned(const std::string& text, int& out) {
    const auto n = TryStrToInt(text);
    if (!n || *n < -100000 || *n > 100000) return false;
    out = *n;
    return true;
}

bool IsHash(const std::string& text) {
    return text.size() == 16 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// The files whose contents decide how a run plays.
constexpr const char* kDemoDataFiles[] = {"DAT/LEVEL.DAT", "DAT/GLOBAL.DAT", "GFX/Images.dxg"};

std::string MouseButtonName(platform::MouseButton b) {
    switch (b) {
    case platform::MouseButton::Right:
        return "right";
    case platform::MouseButton::Middle:
        return "middle";
    default:
        return "left";
    }
}

} // namespace

std::string HashText(const std::string& bytes) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return Format("%016llx", static_cast<unsigned long long>(h));
}

std::string KeyName(int key) {
    if (key >= 'A' && key <= 'Z') return std::string(1, static_cast<char>(key));
    if (key >= VK_F1 && key < VK_F1 + 12) return "F" + std::to_string(key - VK_F1 + 1);
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD9) return "Num" + std::to_string(key - VK_NUMPAD0);
    switch (key) {
    case VK_LEFT:
        return "Left";
    case VK_RIGHT:
        return "Right";
    case VK_UP:
        return "Up";
    case VK_DOWN:
        return "Down";
    case VK_CONTROL:
        return "Ctrl";
    case VK_SHIFT:
        return "Shift";
    case VK_MENU:
        return "Alt";
    case VK_RETURN:
        return "Enter";
    case VK_ESCAPE:
        return "Escape";
    case VK_SPACE:
        return "Space";
    default:
        return std::to_string(key);
    }
}

TDemo ParseDemo(const std::string& text) {
    TDemo demo;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const char* expected) {
        throw EFileError(
            Format("input script line %d: expected %s, got '%s'", lineNo, expected, line.c_str()));
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty()) continue;
        if (w[0][0] == '#') {
            // The header: only a file that starts as a demo has one; in an
            // input script these are comments like any other.
            if (lineNo == 1 && w[0] == "#demo") {
                uint64_t version = 0;
                if (w.size() != 2 || !ParseNumber(w[1], version, 1000)) fail("'#demo VERSION'");
                if (version != kDemoFormat)
                    throw EFileError(Format("demo format %d is not known (this game plays format %d)",
                                            static_cast<int>(version), kDemoFormat));
                demo.IsDemo = true;
            } else if (demo.IsDemo && w[0] == "#param") {
                if (w.size() != 2) fail("'#param VALUE'");
                demo.Params.push_back(w[1]);
            } else if (demo.IsDemo && w[0] == "#level") {
                uint64_t n = 0;
                if (w.size() != 2 || !ParseNumber(w[1], n, 65535)) fail("'#level N'");
                demo.StartLevel = static_cast<uint32_t>(n);
            } else if (demo.IsDemo && w[0] == "#focus") {
                if (w.size() != 2 || w[1] != "out") fail("'#focus out'");
                demo.StartsInactive = true;
            } else if (demo.IsDemo && w[0] == "#data") {
                if (w.size() != 3 || !IsHash(w[2])) fail("'#data PATH HASH'");
                demo.Data.emplace_back(w[1], w[2]);
            }
            continue;
        }
        uint64_t tick = 0;
        if (w.size() < 2 || !ParseNumber(w[0], tick, UINT64_MAX / 2)) fail("'TICK down|up KEY'");
        const std::string what = LowerCase(w[1]);
        TDemoEvent e;
        if (what == "down" || what == "up" || what == "press" || what == "release") {
            const auto vk = w.size() == 3 ? platform::VirtualKeyFromName(w[2]) : std::nullopt;
            if (!vk) fail("'TICK down|up KEY'");
            e.Key = *vk;
            e.Down = what == "down" || what == "press";
            e.Physical = what == "press" || what == "release";
            demo.Events.emplace(tick, e);
        } else if (what == "elapsed") {
            uint64_t ms = 0;
            if (w.size() != 3 || !ParseNumber(w[2], ms, 60000)) fail("'TICK elapsed MS' (MS up to 60000)");
            if (!demo.Elapsed.emplace(tick, static_cast<uint32_t>(ms)).second)
                fail("one 'elapsed' line per tick");
        } else if (what == "focus") {
            const std::string state = w.size() == 3 ? LowerCase(w[2]) : "";
            if (state != "in" && state != "out") fail("'TICK focus in|out'");
            e.Kind = TDemoEventKind::Focus;
            e.Down = state == "in";
            demo.Events.emplace(tick, e);
        } else if (what == "mouse") {
            const std::string b = w.size() == 6 ? LowerCase(w[2]) : "";
            if ((b != "left" && b != "right" && b != "middle") || !ParseSigned(w[3], e.X) ||
                !ParseSigned(w[4], e.Y) || !ParseSigned(w[5], e.Shift))
                fail("'TICK mouse left|right|middle X Y SHIFT'");
            e.Kind = TDemoEventKind::Mouse;
            e.Button = b == "right"    ? platform::MouseButton::Right
                       : b == "middle" ? platform::MouseButton::Middle
                                       : platform::MouseButton::Left;
            demo.Events.emplace(tick, e);
        } else if (what == "close") {
            if (w.size() != 2) fail("'TICK close'");
            e.Kind = TDemoEventKind::Close;
            demo.Events.emplace(tick, e);
        } else if (what == "check") {
            if (w.size() != 3 || !IsHash(w[2])) fail("'TICK check HASH'");
            demo.Checks[tick] = w[2];
        } else {
            fail("'TICK down|up KEY'");
        }
    }
    return demo;
}

TDemo LoadDemo(const std::string& path) {
    return ParseDemo(ReadWholeFile(path));
}

namespace {
// A data file's bytes: the file, or the conversion held in memory when the
// start-up could not save it.
std::optional<std::string> DataFileBytes(const std::string& folder, const std::string& name) {
    if (auto bytes = ReadWholeFileIfExists(ReadPath(folder, name))) return bytes;
    if (const std::string* kept = KeptInMemory(name)) return *kept;
    return std::nullopt;
}
} // namespace

std::vector<std::pair<std::string, std::string>> DataHashes(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> hashes;
    for (const char* name : kDemoDataFiles) {
        std::string hash = "missing";
        try {
            if (auto bytes = DataFileBytes(folder, name)) hash = HashText(*bytes);
        } catch (const Exception&) {
            hash = "unreadable";
        }
        hashes.emplace_back(name, hash);
    }
    return hashes;
}

std::string FirstDataMismatch(const TDemo& demo, const std::string& folder) {
    for (const auto& [name, hash] : demo.Data) {
        std::string now = "missing";
        try {
            if (auto bytes = DataFileBytes(folder, name)) now = HashText(*bytes);
        } catch (const Exception&) {
            now = "unreadable";
        }
        if (now != hash) return name;
    }
    return "";
}

TDemoRecorder::TDemoRecorder(const std::string& path, platform::EventSink& target)
    : out_(path, std::ios::binary | std::ios::trunc), target_(target) {
    if (!out_) throw EFileError(Format("Cannot create the demo file \"%s\"", path.c_str()));
}

void TDemoRecorder::WriteHeader(const std::vector<std::string>& params, uint32_t startLevel,
                                const std::vector<std::pair<std::string, std::string>>& data, bool active) {
    out_ << "#demo " << kDemoFormat << "\n";
    for (const std::string& p : params)
        out_ << "#param " << p << "\n";
    if (startLevel != 0) out_ << "#level " << startLevel << "\n";
    for (const auto& [name, hash] : data)
        out_ << "#data " << name << " " << hash << "\n";
    if (!active) out_ << "#focus out\n";
}

void TDemoRecorder::BeginTick(uint64_t tick, uint32_t elapsed) {
    tick_ = tick;
    out_ << tick << " elapsed " << elapsed << "\n";
}

void TDemoRecorder::WriteCheck(uint64_t tick, const std::string& hash) {
    out_ << tick << " check " << hash << "\n";
}

void TDemoRecorder::KeyDown(int& key, int shift) {
    out_ << tick_ << " down " << KeyName(key) << "\n";
    target_.KeyDown(key, shift);
}

void TDemoRecorder::KeyUp(int& key, int shift) {
    out_ << tick_ << " up " << KeyName(key) << "\n";
    target_.KeyUp(key, shift);
}

void TDemoRecorder::MouseDown(platform::MouseButton button, int shift, int x, int y) {
    out_ << tick_ << " mouse " << MouseButtonName(button) << " " << x << " " << y << " " << shift << "\n";
    target_.MouseDown(button, shift, x, y);
}

void TDemoRecorder::Activate() {
    out_ << tick_ << " focus in\n";
    target_.Activate();
}

void TDemoRecorder::Deactivate() {
    out_ << tick_ << " focus out\n";
    target_.Deactivate();
}

void TDemoRecorder::CloseQuery() {
    out_ << tick_ << " close\n";
    target_.CloseQuery();
}

void PlayDemoEvents(const TDemo& demo, uint64_t tick, platform::Application& app, platform::EventSink& sink) {
    for (auto [it, end] = demo.Events.equal_range(tick); it != end; ++it) {
        const TDemoEvent& e = it->second;
        switch (e.Kind) {
        case TDemoEventKind::Key:
            if (e.Physical)
                app.InjectPhysicalKey(sink, e.Key, e.Down);
            else
                app.InjectKey(sink, e.Key, e.Down);
            break;
        case TDemoEventKind::Focus:
            app.InjectFocus(sink, e.Down);
            break;
        case TDemoEventKind::Mouse:
            sink.MouseDown(e.Button, e.Shift, e.X, e.Y);
            break;
        case TDemoEventKind::Close:
            sink.CloseQuery();
            break;
        }
    }
}

} // namespace varnok
