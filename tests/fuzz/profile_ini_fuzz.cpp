// Reads arbitrary text as a plain profile file (DirectX.ini) and checks the
// reading rules that hold for any text: a key that is not there gives the
// caller's default whatever it is, and a yes/no value is the integer value
// read as "not zero".
#include "common/ProfileIni.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>

using namespace varnok;
using fuzz::Check;

namespace {

void Query(const TProfileFile& ini, const std::string& section, const std::string& key) {
    const std::string a = ini.ReadString(section, key, "\x01");
    const std::string b = ini.ReadString(section, key, "\x02");
    const bool missing = a == "\x01" && b == "\x02";
    Check(missing || a == b, "a present key reads the same whatever the default");
    const int32_t i7 = ini.ReadInteger(section, key, 7);
    const int32_t i8 = ini.ReadInteger(section, key, 8);
    if (missing) Check(i7 == 7 && i8 == 8, "a missing key gives the default");
    Check(ini.ReadBool(section, key, false) == (ini.ReadInteger(section, key, 0) != 0), "false default");
    Check(ini.ReadBool(section, key, true) == (ini.ReadInteger(section, key, 1) != 0), "true default");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] {
        const TProfileFile ini = TProfileFile::FromText(text);
        for (const char* key : {"Fullscreen", "BitCount", "FixedBitCount", "FixedRatio", "FixedSize", "Width"})
            Query(ini, "Display", key);
        // Names cut from the input itself, so that the sections and keys it
        // defines are found too.
        const size_t cut = size > 0 ? data[0] % 16 : 0;
        if (text.size() > cut + 1) Query(ini, text.substr(1, cut), text.substr(cut + 1, 8));
    });
    return 0;
}
