// vertable: writes a version table as a C++ source file holding its bytes.
//
//   vertable OUT.cpp FILE-VERSION PRODUCT-VERSION LANGUAGE CODE-PAGE [KEY=VALUE ...]
//
// Versions are four dot-separated numbers (0-65535); language and code page
// are numbers (decimal or 0x hexadecimal). The KEY=VALUE pairs become the
// string table in the order given.
#include "tools/VersionInfo.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool ParseNumber(const std::string& text, uint16_t& out) {
    try {
        size_t used = 0;
        const unsigned long v = std::stoul(text, &used, 0);
        if (used != text.size() || v > 0xFFFF) return false;
        out = static_cast<uint16_t>(v);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ParseVersion(const std::string& text, uint16_t (&parts)[4]) {
    std::istringstream in(text);
    std::string part;
    int n = 0;
    while (std::getline(in, part, '.')) {
        if (n == 4 || part.empty() || part.find_first_not_of("0123456789") != std::string::npos ||
            !ParseNumber(part, parts[n]))
            return false;
        ++n;
    }
    return n == 4;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(
            stderr,
            "usage: vertable OUT.cpp FILE-VERSION PRODUCT-VERSION LANGUAGE CODE-PAGE [KEY=VALUE ...]\n");
        return 2;
    }
    varnok::TVersionTable table;
    if (!ParseVersion(argv[2], table.FileVersion) || !ParseVersion(argv[3], table.ProductVersion) ||
        !ParseNumber(argv[4], table.Language) || !ParseNumber(argv[5], table.CodePage)) {
        std::fprintf(stderr, "vertable: bad version, language or code page\n");
        return 2;
    }
    for (int i = 6; i < argc; ++i) {
        const std::string pair = argv[i];
        const size_t eq = pair.find('=');
        if (eq == std::string::npos || eq == 0) {
            std::fprintf(stderr, "vertable: '%s' is not KEY=VALUE\n", argv[i]);
            return 2;
        }
        table.Strings.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    }
    const std::string bytes = varnok::EncodeVersionTable(table);

    std::ostringstream out;
    out << "// Written by vertable during the build: the game's version table.\n"
        << "extern \"C\" __attribute__((used)) const unsigned char varnok_version_table[" << bytes.size()
        << "] = {";
    for (size_t i = 0; i < bytes.size(); ++i)
        out << (i % 16 == 0 ? "\n    " : " ") << static_cast<unsigned>(static_cast<unsigned char>(bytes[i]))
            << ",";
    out << "\n};\n";
    const std::string text = out.str();
    // Unchanged contents keep the old file, so nothing is rebuilt for nothing.
    std::ifstream old(argv[1], std::ios::binary);
    std::ostringstream oldText;
    oldText << old.rdbuf();
    if (old && oldText.str() == text) return 0;
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::fprintf(stderr, "vertable: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
