// Parses arbitrary text as the player's key binding file (keys.conf). Every
// input must give a binding: keys map to keys of the game or to nothing, every
// ignored line is reported with its number and without raw control bytes, and
// the bindings written back as text parse to the same map.
#include "app/KeyBindings.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>

using namespace varnok;

namespace {

using fuzz::Check;

void TryBindings(const std::string& text) {
    const TKeyBindings b = ParseKeyBindings(text);
    for (int target : b.Map) Check(target >= 0 && target < 256, "a key of the game or none");
    for (const std::string& problem : b.Problems) {
        Check(!problem.empty() && problem[0] >= '1' && problem[0] <= '9', "a problem starts with its line number");
        for (char c : problem)
            Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "no raw control bytes in a problem");
    }
    // The same bindings, one numeric line per changed key, read back alike.
    std::string again;
    const std::array<int, 256> identity = IdentityKeyMap();
    for (int key = 1; key < 256; ++key)
        if (b.Map[static_cast<size_t>(key)] != identity[static_cast<size_t>(key)])
            again += std::to_string(key) + " = " +
                     (b.Map[static_cast<size_t>(key)] ? std::to_string(b.Map[static_cast<size_t>(key)]) : "none") +
                     "\n";
    const TKeyBindings back = ParseKeyBindings(again);
    Check(back.Problems.empty(), "written bindings read without problems");
    for (int key = 1; key < 256; ++key)
        Check(back.Map[static_cast<size_t>(key)] == b.Map[static_cast<size_t>(key)], "written bindings read alike");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::CappedAllocations cap(fuzz::kAllocationCap);
    TryBindings(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
