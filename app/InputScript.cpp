// The input script of the --input option: the key events of a demo text, by
// tick. Kept apart from the harness so the reader can be built on its own
// (the fuzz target).
#include "app/Demo.h"
#include "app/Harness.h"
#include "common/Files.h"

namespace varnok {

std::multimap<uint64_t, TScriptedKey> ParseInputScript(const std::string& text) {
    std::multimap<uint64_t, TScriptedKey> script;
    for (const auto& [tick, e] : ParseDemo(text).Events)
        if (e.Kind == TDemoEventKind::Key && !e.Physical) script.emplace(tick, TScriptedKey{e.Key, e.Down});
    return script;
}

std::multimap<uint64_t, TScriptedKey> LoadInputScript(const std::string& path) {
    return ParseInputScript(ReadWholeFile(path));
}

} // namespace varnok
