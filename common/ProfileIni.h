#pragma once
// Read-only access to a plain INI file the way the platform's profile
// functions read it: section and key names without regard to letter case,
// the first section and the first key of a name win, spaces around names and
// values and one pair of enclosing quotes are dropped, lines starting with ";"
// are comments. A missing file or key gives the caller's default. The file is
// never written.
#include <cstdint>
#include <string>
#include <vector>

namespace varnok {

class TProfileFile {
  public:
    // Reads the file now. A file that cannot be read counts as empty.
    explicit TProfileFile(const std::string& path);
    // Parses text that was read elsewhere.
    static TProfileFile FromText(const std::string& text);

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // The value as an integer (decimal or hexadecimal, the whole value); the
    // default when the key is missing or its value is not such a number.
    int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
    // An integer value: non-zero is true.
    bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  private:
    TProfileFile() = default;
    void Parse(const std::string& text);
    const std::string* Find(const std::string& section, const std::string& key) const;

    struct Entry {
        int Ordinal; // which section header it follows
        std::string Section, Key, Value;
    };
    std::vector<Entry> entries_;
};

} // namespace varnok
