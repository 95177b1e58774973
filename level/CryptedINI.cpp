#include "level/CryptedINI.h"

#include "common/Exception.h"
#include "common/StrUtils.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string SystemError(const char* what, const std::string& fileName, int err) {
    return Format("%s \"%s\": %s", what, fileName.c_str(), std::strerror(err));
}

// Reads the whole file into text; false when there is no such file.
bool ReadWholeFile(const std::string& fileName, std::string& text) {
    struct stat st {};
    if (stat(fileName.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        throw EFileError(SystemError("Cannot open file", fileName, errno));
    }
    // A folder of that name is no settings file.
    if (S_ISDIR(st.st_mode)) return false;
    int fd = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw EFileError(SystemError("Cannot open file", fileName, errno));
    text.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            close(fd);
            throw EFileError(SystemError("Cannot read file", fileName, err));
        }
        if (n == 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes bytes to a fresh file beside fileName, makes them durable, then
// renames it over fileName, so the old file is either kept whole or replaced
// whole. On any failure the temporary file is removed.
void WriteFileAtomically(const std::string& fileName, const std::string& bytes) {
    if (fileName.empty()) throw EFileError("Cannot create file \"\": no file name");
    static std::atomic<unsigned> counter{0};
    std::string tempName;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempName = Format("%s.tmp%ld-%u", fileName.c_str(), static_cast<long>(getpid()), counter++);
        fd = open(tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw EFileError(SystemError("Cannot create file", fileName, errno));

    auto fail = [&](const char* what, int err) {
        if (fd >= 0) close(fd);
        unlink(tempName.c_str());
        throw EFileError(SystemError(what, fileName, err));
    };
    // Keep the access rights of the file being replaced.
    struct stat old {};
    if (stat(fileName.c_str(), &old) == 0 && S_ISREG(old.st_mode)) fchmod(fd, old.st_mode & 07777);
    if (!WriteAll(fd, bytes)) fail("Cannot write file", errno);
    if (fsync(fd) != 0) fail("Cannot write file", errno);
    int closed = close(fd);
    fd = -1;
    if (closed != 0) fail("Cannot write file", errno);
    if (rename(tempName.c_str(), fileName.c_str()) != 0) fail("Cannot create file", errno);

    // Make the rename itself durable; the new contents are in place already,
    // so a failure here is not reported.
    std::string folder = fileName.substr(0, fileName.find_last_of('/') + 1);
    int dirFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
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
    if (fileName_.empty() || !ReadWholeFile(fileName_, text)) {
        sections_.clear();
        return;
    }
    std::vector<std::string> lines = SplitLines(text);
    if (enciphered_) InvertLines(lines);
    sections_ = ParseLines(lines);
}

void TMemIniFileCrypted::Reload() { LoadFile(); }

void TMemIniFileCrypted::Save() {
    std::vector<std::string> lines = CollectLines();
    if (enciphered_) InvertLines(lines);
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    WriteFileAtomically(fileName_, bytes);
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
