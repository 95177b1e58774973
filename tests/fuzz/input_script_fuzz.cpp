// Parses arbitrary text as an input script (--input) and as a demo (--play).
// Every input must give a script or an EFileError naming the line; a script
// written back as text, one event a line, must parse to the same events. A
// demo that reads must keep to its own bounds (only the known data files,
// ticks within its length, events within the ticks it lasted) and, written
// back in its own format, read alike.
#include "app/Demo.h"
#include "app/Harness.h"
#include "common/Exception.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <set>
#include <string>

using namespace varnok;

namespace {

using fuzz::Check;

void TryScript(const std::string& text) {
    std::multimap<uint64_t, TScriptedKey> script;
    try {
        script = ParseInputScript(text);
    } catch (const EFileError& e) {
        const std::string message = e.what();
        Check(message.rfind("input script line ", 0) == 0 || message.rfind("demo ", 0) == 0,
              "the message names the line or the format");
        return;
    }
    std::string again;
    for (const auto& [tick, key] : script) {
        Check(key.Key > 0 && key.Key < 256, "a virtual key");
        again += std::to_string(tick) + (key.Down ? " down " : " up ") + std::to_string(key.Key) + "\n";
    }
    const auto reread = ParseInputScript(again);
    Check(reread.size() == script.size(), "same number of events");
    auto a = script.begin();
    for (auto b = reread.begin(); b != reread.end(); ++a, ++b)
        Check(a->first == b->first && a->second.Key == b->second.Key && a->second.Down == b->second.Down,
              "same events in the same order");
}

size_t LineCount(const std::string& text) {
    size_t lines = 0;
    for (size_t start = 0; start < text.size(); ++lines) {
        const size_t end = text.find('\n', start);
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

const char* ButtonName(platform::MouseButton b) {
    return b == platform::MouseButton::Right ? "right" : b == platform::MouseButton::Middle ? "middle" : "left";
}

std::string EventLine(uint64_t tick, const TDemoEvent& e) {
    const std::string t = std::to_string(tick);
    switch (e.Kind) {
    case TDemoEventKind::Key:
        return t + (e.Physical ? (e.Down ? " press " : " release ") : (e.Down ? " down " : " up ")) +
               std::to_string(e.Key);
    case TDemoEventKind::Focus: return t + (e.Down ? " focus in" : " focus out");
    case TDemoEventKind::Mouse:
        return t + " mouse " + ButtonName(e.Button) + " " + std::to_string(e.X) + " " + std::to_string(e.Y) + " " +
               std::to_string(e.Shift);
    case TDemoEventKind::Close: return t + " close";
    }
    return t;
}

// The demo as text in its own format: header, then tick by tick the elapsed
// line, the events in their order and the check; padded with comment lines
// to the original's length, since a demo's ticks are bound by its length.
std::string WriteDemo(const TDemo& demo, size_t lines) {
    std::string text = "#demo " + std::to_string(demo.Format) + "\n";
    for (const auto& p : demo.Params)
        text += "#param " + p + "\n";
    if (demo.StartLevel) text += "#level " + std::to_string(demo.StartLevel) + "\n";
    for (const auto& [path, hash] : demo.Data)
        text += "#data " + path + " " + hash + "\n";
    if (demo.StartsInactive) text += "#focus out\n";
    std::set<uint64_t> ticks;
    for (const auto& [tick, ms] : demo.Elapsed)
        ticks.insert(tick);
    for (const auto& [tick, e] : demo.Events)
        ticks.insert(tick);
    for (const auto& [tick, hash] : demo.Checks)
        ticks.insert(tick);
    for (const uint64_t tick : ticks) {
        if (auto it = demo.Elapsed.find(tick); it != demo.Elapsed.end())
            text += std::to_string(tick) + " elapsed " + std::to_string(it->second) + "\n";
        auto [from, to] = demo.Events.equal_range(tick);
        for (auto it = from; it != to; ++it)
            text += EventLine(tick, it->second) + "\n";
        if (auto it = demo.Checks.find(tick); it != demo.Checks.end())
            text += std::to_string(tick) + " check " + it->second + "\n";
    }
    const bool whole = demo.Format >= 2 && demo.CutShortAtLine == 0;
    const size_t used = LineCount(text) + (whole ? 1 : 0);
    for (size_t n = used; n < lines; ++n)
        text += "#\n";
    if (whole) text += std::to_string(demo.TickCount() - 1) + " end\n";
    return text;
}

bool SameEvent(const TDemoEvent& a, const TDemoEvent& b) {
    return a.Kind == b.Kind && a.Key == b.Key && a.Down == b.Down && a.Physical == b.Physical &&
           a.Button == b.Button && a.Shift == b.Shift && a.X == b.X && a.Y == b.Y;
}

void TryDemo(const std::string& text) {
    TDemo demo;
    try {
        demo = ParseDemo(text);
    } catch (const EFileError& e) {
        const std::string message = e.what();
        Check(message.rfind("input script line ", 0) == 0 || message.rfind("demo line ", 0) == 0 ||
                  message.rfind("demo format ", 0) == 0,
              "the message names the line or the format");
        Check(message.find_first_of("\x1b\x07") == std::string::npos, "no raw control bytes in the message");
        return;
    }
    if (!demo.IsDemo) return;
    const size_t lines = LineCount(text);
    Check(demo.Format >= 1 && demo.Format <= kDemoFormat, "a known format");
    for (const auto& [path, hash] : demo.Data)
        Check(path == "DAT/LEVEL.DAT" || path == "DAT/GLOBAL.DAT" || path == "GFX/Images.dxg",
              "only the known data files");
    Check(demo.Elapsed.empty() || demo.Elapsed.rbegin()->first < lines, "ticks within the demo's length");
    const uint64_t ticks = demo.TickCount();
    for (const auto& [tick, e] : demo.Events)
        Check(tick < ticks, "events within the ticks the demo lasted");
    Check(demo.CutShortAtLine >= 0 && static_cast<size_t>(demo.CutShortAtLine) <= lines + 1,
          "cut short at a line of the text or just after it");
    if (demo.Format >= 2 && demo.CutShortAtLine == 0) Check(ticks > 0, "a whole demo has ticks");

    const TDemo again = ParseDemo(WriteDemo(demo, lines));
    Check(again.IsDemo && again.Format == demo.Format, "same format");
    Check((again.CutShortAtLine == 0) == (demo.CutShortAtLine == 0 || demo.Format < 2), "same wholeness");
    Check(again.Params == demo.Params && again.StartLevel == demo.StartLevel &&
              again.StartsInactive == demo.StartsInactive && again.Data == demo.Data,
          "same header");
    Check(again.Elapsed == demo.Elapsed && again.Checks == demo.Checks, "same ticks and checks");
    Check(again.Events.size() == demo.Events.size(), "same number of events");
    auto a = demo.Events.begin();
    for (auto b = again.Events.begin(); b != again.Events.end(); ++a, ++b)
        Check(a->first == b->first && SameEvent(a->second, b->second), "same events in the same order");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] {
        TryScript(text);
        TryDemo(text);
    });
    return 0;
}
