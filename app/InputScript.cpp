// The input script of the --input option: key events by tick. Kept apart
// from the harness so the reader can be built on its own (the fuzz target).
#include "app/Harness.h"
#include "common/Exception.h"
#include "common/Files.h"
#include "common/StrUtils.h"
#include "platform/Keys.h"

#include <sstream>

namespace varnok {

namespace {

bool ParseTick(const std::string& value, uint64_t& out) {
    if (value.empty() || value.size() > 18 || value.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::stoull(value);
    return out <= UINT64_MAX / 2;
}

} // namespace

std::multimap<uint64_t, TScriptedKey> ParseInputScript(const std::string& text) {
    std::multimap<uint64_t, TScriptedKey> script;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string tick, action, key, extra;
        words >> tick;
        if (tick.empty() || tick[0] == '#') continue;
        words >> action >> key >> extra;
        uint64_t t = 0;
        auto vk = platform::VirtualKeyFromName(key);
        const std::string a = LowerCase(action);
        if (!ParseTick(tick, t) || (a != "down" && a != "up") || !vk || !extra.empty())
            throw EFileError(
                Format("input script line %d: expected 'TICK down|up KEY', got '%s'", lineNo, line.c_str()));
        script.emplace(t, TScriptedKey{*vk, a == "down"});
    }
    return script;
}

std::multimap<uint64_t, TScriptedKey> LoadInputScript(const std::string& path) {
    return ParseInputScript(ReadWholeFile(path));
}

} // namespace varnok
