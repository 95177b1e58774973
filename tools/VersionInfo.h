#pragma once
// The program's version table and its reader.
//
// The build stores a version table in the game's executable: a block that
// starts with a fixed 16-byte signature, followed by its body length (32-bit
// little-endian), the body and a 32-bit FNV-1a checksum of the body. The body
// is a list of entries, each a path in the version-resource style ("\\",
// "\\VarFileInfo\\Translation", "\\StringFileInfo\\040704E4\\FileVersion"),
// a zero byte, a 16-bit little-endian value length and the value's bytes.
// The root entry "\\" holds the fixed file and product versions (four 16-bit
// parts each), the translation entry a 16-bit language and a 16-bit code page.
// Any file can be searched for the table, whatever else it holds.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace varnok {

struct TVersionTable {
    uint16_t FileVersion[4] = {};
    uint16_t ProductVersion[4] = {};
    uint16_t Language = 0;
    uint16_t CodePage = 0;
    // String entries in order: key and value.
    std::vector<std::pair<std::string, std::string>> Strings;
};

// The table as stored: signature, length, body, checksum.
std::string EncodeVersionTable(const TVersionTable& table);

// A decoded table body: version-resource paths and their raw values.
class TVersionResource {
public:
    // The largest table body read: 64 KB.
    static constexpr size_t kMaxBody = 65536;
    // Looks for the first valid table in bytes; nothing when there is none.
    static std::optional<TVersionResource> Find(const std::string& bytes);
    // The value at path, compared without regard to letter case; nothing
    // when no entry has that path.
    std::optional<std::string> Query(const std::string& path) const;

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// Reads the string table of a file's version table into two parallel lists.
class TGetVersionInfoFromFile {
public:
    // The keys asked for, in reading order.
    static const std::vector<std::string>& Keys();

    // Empties both lists; if the file exists, keeps the path and reads its
    // version table, otherwise keeps the empty text.
    void SetFileName(const std::string& path);
    const std::string& FileName() const { return fileName_; }
    // The value whose key equals key without regard to letter case; empty
    // when that key was not read.
    std::string GetValue(const std::string& key) const;

    std::vector<std::string> VersionCategories;
    std::vector<std::string> VersionStrings;

private:
    void ReadVersionInfo(const TVersionResource& resource);
    std::string fileName_;
};

// The About box's text: the title with the build number read from the
// version table, then the project's contact lines.
std::string AboutText(const std::string& applicationTitle, const TGetVersionInfoFromFile& versionInfo);

// This program's contact address and web address.
extern const char* const kContactAddress;
extern const char* const kWebAddress;

} // namespace varnok
