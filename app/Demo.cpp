#include "app/Demo.h"

#include "common/Exception.h"
#include "common/Files.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "platform/Keys.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <string_view>
#include <unistd.h>

namespace varnok {

namespace {

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
    // The text's lines; a recorder ends every line it writes, so a demo's last
    // line without its line end was cut in the middle (unless it is the end
    // line, which says so itself).
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(std::string_view(text).substr(start, end - start));
        start = end + 1;
    }
    const bool lastLineOpen = !text.empty() && text.back() != '\n';
    const uint64_t lineCount = lines.size();

    std::string line;
    int lineNo = 0;
    auto fail = [&](const char* expected) {
        throw EFileError(Format("input script line %d: expected %s, got '%s'", lineNo, expected,
                                EscapeControlBytes(line).c_str()));
    };
    auto failDemo = [&](const std::string& what) {
        throw EFileError(Format("demo line %d: %s", lineNo, what.c_str()));
    };
    // The line of the latest tick named by an event or a check, and its tick.
    uint64_t lastEventTick = 0;
    int lastEventLine = 0;
    int endLine = 0;
    uint64_t endTick = 0;
    for (const std::string_view raw : lines) {
        ++lineNo;
        line.assign(raw);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty()) continue;
        const bool torn = demo.IsDemo && lastLineOpen && static_cast<uint64_t>(lineNo) == lineCount;
        if (torn && !(w.size() == 2 && w[1] == "end")) {
            demo.CutShortAtLine = lineNo;
            break;
        }
        if (w[0][0] == '#') {
            // The header: only a file that starts as a demo has one; in an
            // input script these are comments like any other.
            if (lineNo == 1 && w[0] == "#demo") {
                uint64_t version = 0;
                if (w.size() != 2 || !ParseNumber(w[1], version, 1000)) fail("'#demo VERSION'");
                if (version < 1 || version > kDemoFormat)
                    throw EFileError(Format("demo format %d is not known (this game plays formats 1 to %d)",
                                            static_cast<int>(version), kDemoFormat));
                demo.IsDemo = true;
                demo.Format = static_cast<int>(version);
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
                // Only the files a run depends on, relative to the data folder:
                // a demo names no other file to be read.
                const char* known = nullptr;
                for (const char* name : kDemoDataFiles)
                    if (SameText(w[1], name)) known = name;
                if (!known)
                    failDemo(Format("'%s' is none of the data files a demo may name (DAT/LEVEL.DAT, "
                                    "DAT/GLOBAL.DAT, GFX/Images.dxg)",
                                    EscapeControlBytes(w[1]).c_str()));
                demo.Data.emplace_back(known, w[2]);
            }
            continue;
        }
        if (endLine != 0) failDemo(Format("nothing may follow the end line (line %d)", endLine));
        uint64_t tick = 0;
        if (w.size() < 2 || !ParseNumber(w[0], tick, UINT64_MAX / 2)) fail("'TICK down|up KEY'");
        // A demo holds a line for every tick it lasted: a tick beyond its
        // length would only make the playback run on and on.
        if (demo.IsDemo && tick >= lineCount)
            failDemo(Format("tick %llu lies beyond the demo's length (%llu lines)",
                            static_cast<unsigned long long>(tick),
                            static_cast<unsigned long long>(lineCount)));
        const std::string what = LowerCase(w[1]);
        TDemoEvent e;
        bool event = true;
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
            event = false;
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
            // Format 1 recorders wrote the last check one tick late when the
            // game ended itself; such a check is never compared.
            if (demo.Format == 1 && tick == demo.TickCount()) event = false;
        } else if (what == "end" && demo.IsDemo) {
            if (w.size() != 2) fail("'TICK end'");
            endLine = lineNo;
            endTick = tick;
            event = false;
        } else {
            fail("'TICK down|up KEY'");
        }
        if (event && (lastEventLine == 0 || tick > lastEventTick)) {
            lastEventTick = tick;
            lastEventLine = lineNo;
        }
    }
    if (!demo.IsDemo) return demo;
    // Every key, click and check lies within the ticks the demo lasted; one
    // beyond them would never play.
    if (lastEventLine != 0 && lastEventTick >= demo.TickCount()) {
        lineNo = lastEventLine;
        failDemo(demo.Elapsed.empty() ? Format("tick %llu has no 'elapsed' line",
                                               static_cast<unsigned long long>(lastEventTick))
                                      : Format("tick %llu comes after the demo's last tick %llu",
                                               static_cast<unsigned long long>(lastEventTick),
                                               static_cast<unsigned long long>(demo.TickCount() - 1)));
    }
    if (endLine != 0 && (demo.Elapsed.empty() || endTick + 1 != demo.TickCount())) {
        lineNo = endLine;
        failDemo(Format("the end line names tick %llu, but the demo's last tick is %s",
                        static_cast<unsigned long long>(endTick),
                        demo.Elapsed.empty() ? "missing" : std::to_string(demo.TickCount() - 1).c_str()));
    }
    // A demo of this format without its end line broke off where the end
    // line should be.
    if (demo.Format >= 2 && endLine == 0 && demo.CutShortAtLine == 0)
        demo.CutShortAtLine = static_cast<int>(lineCount + 1);
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

TDemoRecorder::TDemoRecorder(const std::string& path, platform::EventSink& target) : target_(target) {
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd_ < 0)
        throw EFileError(
            Format("Cannot create the demo file \"%s\": %s", path.c_str(), std::strerror(errno)));
}

TDemoRecorder::~TDemoRecorder() {
    if (fd_ >= 0) close(fd_);
}

void TDemoRecorder::Put(const std::string& line) {
    if (!good_) return;
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            good_ = false;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void TDemoRecorder::WriteHeader(const std::vector<std::string>& params, uint32_t startLevel,
                                const std::vector<std::pair<std::string, std::string>>& data, bool active) {
    Put(Format("#demo %d\n", kDemoFormat));
    for (const std::string& p : params)
        Put("#param " + p + "\n");
    if (startLevel != 0) Put(Format("#level %u\n", startLevel));
    for (const auto& [name, hash] : data)
        Put("#data " + name + " " + hash + "\n");
    if (!active) Put("#focus out\n");
}

namespace {
std::string TickLine(uint64_t tick, const std::string& rest) {
    return std::to_string(tick) + " " + rest + "\n";
}
} // namespace

void TDemoRecorder::BeginTick(uint64_t tick, uint32_t elapsed) {
    tick_ = tick;
    Put(TickLine(tick, "elapsed " + std::to_string(elapsed)));
}

void TDemoRecorder::WriteCheck(uint64_t tick, const std::string& hash) {
    Put(TickLine(tick, "check " + hash));
}

void TDemoRecorder::WriteEnd(uint64_t tick) {
    Put(TickLine(tick, "end"));
}

void TDemoRecorder::KeyDown(int& key, int shift) {
    Put(TickLine(tick_, "down " + KeyName(key)));
    target_.KeyDown(key, shift);
}

void TDemoRecorder::KeyUp(int& key, int shift) {
    Put(TickLine(tick_, "up " + KeyName(key)));
    target_.KeyUp(key, shift);
}

void TDemoRecorder::MouseDown(platform::MouseButton button, int shift, int x, int y) {
    Put(TickLine(tick_, Format("mouse %s %d %d %d", MouseButtonName(button).c_str(), x, y, shift)));
    target_.MouseDown(button, shift, x, y);
}

void TDemoRecorder::Activate() {
    Put(TickLine(tick_, "focus in"));
    target_.Activate();
}

void TDemoRecorder::Deactivate() {
    Put(TickLine(tick_, "focus out"));
    target_.Deactivate();
}

void TDemoRecorder::CloseQuery() {
    Put(TickLine(tick_, "close"));
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
