// Loads arbitrary bytes as a plain and as an enciphered settings file, runs
// the queries over every section and key, and checks that the saved form of
// the store would load back to the same sections.
#include "level/CryptedINI.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace varnok;

namespace {

using fuzz::Check;

bool SameSections(const std::vector<TIniSection>& a, const std::vector<TIniSection>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].Name != b[i].Name || a[i].Lines != b[i].Lines) return false;
    return true;
}

void Exercise(const std::string& fileName, const std::string& bytes) {
    if (FILE* f = std::fopen(fileName.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    } else {
        std::abort();
    }
    TMemIniFileCrypted ini(fileName);
    std::vector<std::string> names, keys, lines;
    ini.GetSectionNames(names);
    Check(names.size() == ini.Sections().size(), "one name per section");
    // Each lookup walks the sections and lines: a sample of the first and
    // last sections and keys keeps the work per input linear.
    const auto sample = [](size_t i, size_t n) { return i < 8 || i + 4 >= n; };
    for (size_t s = 0; s < names.size(); ++s) {
        if (!sample(s, names.size())) continue;
        const std::string& name = names[s];
        ini.GetSectionKeys(name, keys);
        ini.GetSectionLines(name, lines);
        Check(keys.size() == lines.size(), "one key per line");
        Check(ini.HasSection(name) == !lines.empty(), "HasSection");
        for (size_t k = 0; k < keys.size(); ++k) {
            if (!sample(k, keys.size())) continue;
            ini.GetString(name, keys[k], "");
            ini.GetInteger(name, keys[k], 0);
            ini.GetBool(name, keys[k], false);
        }
    }

    // What Save would write reads back as the same store.
    std::vector<std::string> collected = ini.CollectLines();
    Check(SameSections(TMemIniFileCrypted::ParseLines(collected), ini.Sections()), "collect and parse");
    if (ini.Enciphered()) TMemIniFileCrypted::InvertLines(collected);
    std::string text;
    for (const std::string& line : collected)
        text += line + "\r\n";
    std::vector<std::string> reread = TMemIniFileCrypted::SplitLines(text);
    Check(reread == collected, "written lines split back");

    ini.SetString("Fuzz", "Key", "1");
    Check(ini.GetInteger("fuzz", "KEY", 0) == 1, "SetString");
    ini.RemoveKey("Fuzz", "Key");
    if (!names.empty()) ini.RemoveSection(names.front());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = [] {
        static std::string pattern = fuzz::ScratchFolder() + "varnok-ini-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            const std::string& dir = pattern;
            std::remove((dir + "/store.INI").c_str());
            std::remove((dir + "/store.DAT").c_str());
            rmdir(dir.c_str());
        });
        return std::string(pattern) + "/";
    }();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] {
        Exercise(folder + "store.INI", bytes);
        Exercise(folder + "store.DAT", bytes);
    });
    return 0;
}
