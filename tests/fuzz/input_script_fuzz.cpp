// Parses arbitrary text as an input script (--input). Every input must give a
// script or an EFileError naming the line; a script written back as text, one
// event a line, must parse to the same events.
#include "app/Harness.h"
#include "common/Exception.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>

using namespace varnok;

namespace {

using fuzz::Check;

void TryScript(const std::string& text) {
    std::multimap<uint64_t, TScriptedKey> script;
    try {
        script = ParseInputScript(text);
    } catch (const EFileError& e) {
        const std::string what = e.what();
        Check(what.rfind("input script line ", 0) == 0 || what.rfind("demo format ", 0) == 0,
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] { TryScript(text); });
    return 0;
}
