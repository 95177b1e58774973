// Looks for a version table in arbitrary bytes and queries whatever it finds;
// then builds a table from the bytes and checks that it is found and read
// back as it was written, also amid the bytes themselves.
#include "tests/fuzz/FuzzCheck.h"
#include "tools/VersionInfo.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

using namespace varnok;
using fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (auto found = TVersionResource::Find(bytes)) {
        found->Query("\\");
        found->Query("\\VarFileInfo\\Translation");
        for (const std::string& key : TGetVersionInfoFromFile::Keys())
            found->Query("\\StringFileInfo\\040704E4\\" + key);
    }

    // A table whose strings are cut from the input.
    TVersionTable table;
    table.FileVersion[3] = static_cast<uint16_t>(size);
    table.Language = size > 0 ? data[0] : 0;
    table.CodePage = size > 1 ? data[1] : 0;
    for (size_t pos = 0, n = 0; pos < bytes.size() && n < 8; ++n) {
        const size_t length = std::min<size_t>(bytes.size() - pos, data[pos] % 40);
        const std::string value = bytes.substr(pos, length);
        table.Strings.emplace_back(TGetVersionInfoFromFile::Keys()[n], value);
        pos += length + 1;
    }
    const std::string encoded = EncodeVersionTable(table);
    const auto reread = TVersionResource::Find(bytes + encoded);
    Check(reread.has_value(), "an encoded table is found after any bytes");
    const bool ownTable = TVersionResource::Find(bytes).has_value();
    for (const auto& [key, value] : table.Strings) {
        // The bytes before may hold a valid table of their own, found first.
        if (ownTable) break;
        char lang[9];
        std::snprintf(lang, sizeof lang, "%04X%04X", table.Language, table.CodePage);
        const auto got = reread->Query(std::string("\\StringFileInfo\\") + lang + "\\" + key);
        Check(got.has_value() && *got == value, "string read back");
    }
    return 0;
}
