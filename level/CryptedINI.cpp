#include "level/CryptedINI.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include "common/Files.h"

#include <sys/stat.h>

namespace varnok {

namespace {

// The text before the first "=" of a line; false when it has none.
bool LineKey(const std::string& line, std::string_view& key) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = std::string_view(line).substr(0, eq);
    return true;
}

bool KeyMatches(const std::string& line, const std::string& key) {
    std::string_view lineKey;
    return LineKey(line, lineKey) && SameText(lineKey, key);
}

// Reads the whole file into text; false when there is no such file. A folder
// of that name is no settings file either; a pipe, a device or an oversized
// file raises EFileError.
bool ReadStoreFile(const std::string& fileName, std::string& text) {
    struct stat st {};
    if (stat(fileName.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return false;
    std::optional<std::string> bytes = ReadWholeFileIfExists(fileName);
    if (!bytes) return false;
    text = std::move(*bytes);
    return true;
}

} // namespace

// ---------------------------------------------------------------- typed reads

int32_t TCustomIniFile::GetInteger(const std::string& section, const std::string& key, int32_t def) const {
    std::string text = GetString(section, key, "");
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
    if (text.empty()) return def;
    return TryStrToInt(text).value_or(def);
}

bool TCustomIniFile::GetBool(const std::string& section, const std::string& key, bool def) const {
    return GetInteger(section, key, def ? 1 : 0) != 0;
}

// ---------------------------------------------------------------- the store

TMemIniFileCrypted::TMemIniFileCrypted(const std::string& fileName)
    : fileName_(fileName), enciphered_(EncipheredFileName(fileName)) {
    LoadFile();
}

TMemIniFileCrypted::TMemIniFileCrypted(const std::string& fileName, std::string image)
    : fileName_(fileName), enciphered_(EncipheredFileName(fileName)), image_(std::move(image)) {
    LoadFile();
}

bool TMemIniFileCrypted::EncipheredFileName(const std::string& fileName) {
    size_t nameStart = fileName.find_last_of("/\\");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot < nameStart) return true;
    return UpperCase(std::string_view(fileName).substr(dot)) != ".INI";
}

std::vector<std::string> TMemIniFileCrypted::SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t end = text.find('\0');
    if (end == std::string::npos) end = text.size();
    size_t start = 0;
    while (start < end) {
        size_t stop = start;
        while (stop < end && text[stop] != '\r' && text[stop] != '\n') ++stop;
        lines.emplace_back(text, start, stop - start);
        if (stop < end && text[stop] == '\r' && stop + 1 < end && text[stop + 1] == '\n') ++stop;
        start = stop + 1;
    }
    return lines;
}

void TMemIniFileCrypted::InvertLines(std::vector<std::string>& lines) {
    for (std::string& line : lines)
        for (char& c : line) c = static_cast<char>(~static_cast<unsigned char>(c));
}

std::vector<TIniSection> TMemIniFileCrypted::ParseLines(const std::vector<std::string>& lines) {
    std::vector<TIniSection> sections;
    bool inSection = false;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections.push_back({line.substr(1, line.size() - 2), {}});
            inSection = true;
        } else if (inSection) {
            sections.back().Lines.push_back(line);
        }
    }
    return sections;
}

std::vector<std::string> TMemIniFileCrypted::CollectLines() const {
    std::vector<std::string> lines;
    for (const TIniSection& section : sections_) {
        lines.push_back("[" + section.Name + "]");
        lines.insert(lines.end(), section.Lines.begin(), section.Lines.end());
        lines.emplace_back();
    }
    return lines;
}

void TMemIniFileCrypted::LoadFile() {
    std::string text;
    if (fileName_.empty() || !ReadStoreFile(fileName_, text)) {
        if (!image_) {
            sections_.clear();
            return;
        }
        text = *image_;
    }
    std::vector<std::string> lines = SplitLines(text);
    if (enciphered_) InvertLines(lines);
    sections_ = ParseLines(lines);
}

void TMemIniFileCrypted::Reload() { LoadFile(); }

void TMemIniFileCrypted::CheckWritable() const {
    // Bytes that would end a line or the text once written: CR, LF and NUL,
    // which in an enciphered file are the complements of 0xF2, 0xF5 and 0xFF.
    const std::string_view breaking = enciphered_ ? std::string_view("\xF2\xF5\xFF", 3) : std::string_view("\r\n\0", 3);
    auto offending = [&](std::string_view text) -> int {
        const size_t at = text.find_first_of(breaking);
        return at == std::string_view::npos ? -1 : static_cast<unsigned char>(text[at]);
    };
    for (const TIniSection& section : sections_) {
        if (const int byte = offending(section.Name); byte >= 0)
            throw EFileError(Format("Cannot save \"%s\": the name of section [%s] holds the byte 0x%02X, "
                                    "which the file cannot hold",
                                    fileName_.c_str(), section.Name.c_str(), byte));
        for (const std::string& line : section.Lines) {
            if (const int byte = offending(line); byte >= 0) {
                std::string_view key;
                if (!LineKey(line, key)) key = line;
                throw EFileError(Format("Cannot save \"%s\": key \"%s\" in section [%s] holds the byte 0x%02X, "
                                        "which the file cannot hold",
                                        fileName_.c_str(), std::string(key).c_str(), section.Name.c_str(), byte));
            }
        }
    }
}

void TMemIniFileCrypted::SetText(const std::string& text) {
    sections_ = ParseLines(SplitLines(text));
}

std::string TMemIniFileCrypted::ToBytes(bool enciphered) const {
    std::vector<std::string> lines = CollectLines();
    if (enciphered) InvertLines(lines);
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

void TMemIniFileCrypted::Save() {
    if (!saveRefusal_.empty()) throw EFileError(saveRefusal_);
    CheckWritable();
    WriteFileAtomically(fileName_, ToBytes(enciphered_));
}

void TMemIniFileCrypted::SaveConverted(const std::string& newFileName) {
    std::string oldFileName = fileName_;
    bool oldEnciphered = enciphered_;
    enciphered_ = !enciphered_;
    fileName_ = newFileName;
    try {
        Save();
    } catch (...) {
        // Nothing was written: the store stays bound to its old file.
        fileName_ = oldFileName;
        enciphered_ = oldEnciphered;
        throw;
    }
    LoadFile();
}

// ---------------------------------------------------------------- queries

TIniSection* TMemIniFileCrypted::FindSection(const std::string& section) {
    for (TIniSection& s : sections_)
        if (SameText(s.Name, section)) return &s;
    return nullptr;
}

const TIniSection* TMemIniFileCrypted::FindSection(const std::string& section) const {
    for (const TIniSection& s : sections_)
        if (SameText(s.Name, section)) return &s;
    return nullptr;
}

std::string TMemIniFileCrypted::GetString(const std::string& section, const std::string& key,
                                          const std::string& def) const {
    const TIniSection* s = FindSection(section);
    if (!s) return def;
    for (const std::string& line : s->Lines)
        if (KeyMatches(line, key)) return line.substr(line.find('=') + 1);
    return def;
}

bool TMemIniFileCrypted::HasSection(const std::string& section) const {
    const TIniSection* s = FindSection(section);
    return s && !s->Lines.empty();
}

void TMemIniFileCrypted::GetSectionNames(std::vector<std::string>& list) const {
    list.clear();
    for (const TIniSection& s : sections_) list.push_back(s.Name);
}

void TMemIniFileCrypted::GetSectionLines(const std::string& section, std::vector<std::string>& list) const {
    list.clear();
    if (const TIniSection* s = FindSection(section)) list = s->Lines;
}

void TMemIniFileCrypted::GetSectionKeys(const std::string& section, std::vector<std::string>& list) const {
    list.clear();
    const TIniSection* s = FindSection(section);
    if (!s) return;
    for (const std::string& line : s->Lines) {
        std::string_view key;
        list.emplace_back(LineKey(line, key) ? std::string(key) : std::string());
    }
}

// ---------------------------------------------------------------- updates

void TMemIniFileCrypted::SetString(const std::string& section, const std::string& key,
                                   const std::string& value) {
    TIniSection* s = FindSection(section);
    if (!s) {
        sections_.push_back({section, {}});
        s = &sections_.back();
    }
    std::string line = key + "=" + value;
    for (std::string& existing : s->Lines) {
        if (KeyMatches(existing, key)) {
            existing = std::move(line);
            return;
        }
    }
    s->Lines.push_back(std::move(line));
}

void TMemIniFileCrypted::RemoveSection(const std::string& section) {
    for (auto it = sections_.begin(); it != sections_.end(); ++it) {
        if (SameText(it->Name, section)) {
            sections_.erase(it);
            return;
        }
    }
}

void TMemIniFileCrypted::RemoveKey(const std::string& section, const std::string& key) {
    TIniSection* s = FindSection(section);
    if (!s) return;
    for (auto it = s->Lines.begin(); it != s->Lines.end(); ++it) {
        if (KeyMatches(*it, key)) {
            s->Lines.erase(it);
            return;
        }
    }
}

} // namespace varnok
