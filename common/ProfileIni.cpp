#include "common/ProfileIni.h"

#include "common/Files.h"
#include "common/StrUtils.h"

#include <sstream>

namespace varnok {

namespace {

std::string Trim(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    const size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

// A small settings file; anything bigger is not one.
constexpr uint64_t kMaxProfileBytes = 1 << 20;

} // namespace

TProfileFile::TProfileFile(const std::string& path) {
    try {
        if (auto text = ReadWholeFileIfExists(path, kMaxProfileBytes)) Parse(*text);
    } catch (const std::exception&) {
        // Unreadable: every key gives its default.
    }
}

TProfileFile TProfileFile::FromText(const std::string& text) {
    TProfileFile f;
    f.Parse(text);
    return f;
}

void TProfileFile::Parse(const std::string& text) {
    std::istringstream in(text);
    std::string line, section;
    int ordinal = -1;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            section = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            ++ordinal;
            continue;
        }
        if (ordinal < 0) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        entries_.push_back({ordinal, section, Trim(line.substr(0, eq)), value});
    }
}

const std::string* TProfileFile::Find(const std::string& section, const std::string& key) const {
    // Keys count only in the first section of a name.
    int first = -1;
    for (const Entry& e : entries_) {
        if (!SameText(e.Section, section)) continue;
        if (first < 0) first = e.Ordinal;
        if (e.Ordinal == first && SameText(e.Key, key)) return &e.Value;
    }
    return nullptr;
}

std::string TProfileFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& def) const {
    const std::string* v = Find(section, key);
    return v ? *v : def;
}

int32_t TProfileFile::ReadInteger(const std::string& section, const std::string& key, int32_t def) const {
    const std::string* v = Find(section, key);
    return v ? StrToIntDef(*v, def) : def;
}

bool TProfileFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

} // namespace varnok
