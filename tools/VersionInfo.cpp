#include "tools/VersionInfo.h"

#include "common/Paths.h"
#include "common/StrUtils.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

namespace varnok {

const char* const kContactAddress = "varnok@example.org";
const char* const kWebAddress = "https://varnok.example.org/";

namespace {

// The signature, kept complemented so that this program's own code never
// holds it: only a stored table does.
constexpr unsigned char kSignatureComplement[16] = {0x80, 0xA9, 0xBE, 0xAD, 0xB1, 0xB0, 0xB4, 0xD2,
                                                    0xA9, 0xBA, 0xAD, 0xB6, 0xB1, 0xB9, 0xB0, 0xFE};

std::string Signature() {
    std::string s;
    for (unsigned char c : kSignatureComplement)
        s.push_back(static_cast<char>(~c & 0xFF));
    return s;
}

uint32_t Fnv1a(const std::string& bytes) {
    uint32_t h = 2166136261u;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t Get(const std::string& s, size_t pos, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= static_cast<uint32_t>(static_cast<unsigned char>(s[pos + i])) << (8 * i);
    return v;
}

// The body's entries, or nothing when it is not well formed.
std::optional<std::vector<std::pair<std::string, std::string>>> ParseBody(const std::string& body) {
    std::vector<std::pair<std::string, std::string>> entries;
    size_t pos = 0;
    while (pos < body.size()) {
        const size_t end = body.find('\0', pos);
        if (end == std::string::npos || end + 3 > body.size()) return std::nullopt;
        const size_t length = Get(body, end + 1, 2);
        if (end + 3 + length > body.size()) return std::nullopt;
        entries.emplace_back(body.substr(pos, end - pos), body.substr(end + 3, length));
        pos = end + 3 + length;
    }
    return entries;
}

std::string StringPath(uint16_t language, uint16_t codePage, const std::string& key) {
    return Format("\\StringFileInfo\\%04X%04X\\", language, codePage) + key;
}

} // namespace

std::string EncodeVersionTable(const TVersionTable& table) {
    std::string body;
    auto entry = [&](const std::string& path, const std::string& value) {
        body += path;
        body.push_back('\0');
        Put16(body, static_cast<uint16_t>(std::min<size_t>(value.size(), 0xFFFF)));
        body += value.substr(0, 0xFFFF);
    };
    std::string fixed;
    for (uint16_t v : table.FileVersion)
        Put16(fixed, v);
    for (uint16_t v : table.ProductVersion)
        Put16(fixed, v);
    entry("\\", fixed);
    std::string translation;
    Put16(translation, table.Language);
    Put16(translation, table.CodePage);
    entry("\\VarFileInfo\\Translation", translation);
    for (const auto& [key, value] : table.Strings)
        entry(StringPath(table.Language, table.CodePage, key), value);

    std::string out = Signature();
    Put32(out, static_cast<uint32_t>(body.size()));
    out += body;
    Put32(out, Fnv1a(body));
    return out;
}

std::optional<TVersionResource> TVersionResource::Find(const std::string& bytes) {
    const std::string signature = Signature();
    const std::boyer_moore_horspool_searcher searcher(signature.begin(), signature.end());
    auto it = bytes.begin();
    while (true) {
        it = std::search(it, bytes.end(), searcher);
        if (it == bytes.end()) return std::nullopt;
        const size_t start = static_cast<size_t>(it - bytes.begin()) + signature.size();
        ++it;
        if (start + 4 > bytes.size()) continue;
        const size_t length = Get(bytes, start, 4);
        if (length > kMaxBody || length > bytes.size() - start - 4 || bytes.size() - start - 4 - length < 4) continue;
        const std::string body = bytes.substr(start + 4, length);
        if (Get(bytes, start + 4 + length, 4) != Fnv1a(body)) continue;
        auto entries = ParseBody(body);
        if (!entries) continue;
        TVersionResource resource;
        resource.entries_ = std::move(*entries);
        return resource;
    }
}

std::optional<std::string> TVersionResource::Query(const std::string& path) const {
    for (const auto& [p, value] : entries_)
        if (SameText(p, path)) return value;
    return std::nullopt;
}

const std::vector<std::string>& TGetVersionInfoFromFile::Keys() {
    static const std::vector<std::string> keys{"CompanyName",  "FileDescription", "FileVersion",
                                               "InternalName", "LegalCopyright",  "OriginalFilename",
                                               "ProductName",  "ProductVersion"};
    return keys;
}

void TGetVersionInfoFromFile::SetFileName(const std::string& path) {
    VersionCategories.clear();
    VersionStrings.clear();
    fileName_.clear();
    if (path.empty() || !FileExists(path)) return;
    fileName_ = path;
    // Executables with their debugging data are large and the table lies
    // early in them: the file is read a megabyte at a time until a table is
    // found, keeping only as much of what was searched as a table cut off at
    // the end of a piece needs. Only regular files are read (a pipe would
    // wait for its writer); one that cannot be read has no version information.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return;
    std::ifstream in(path, std::ios::binary);
    constexpr size_t kPiece = 1u << 20;
    constexpr size_t kOverlap = 16 + 4 + TVersionResource::kMaxBody + 4;
    std::string bytes;
    std::optional<TVersionResource> resource;
    while (in && !resource) {
        const size_t before = bytes.size();
        bytes.resize(before + kPiece);
        in.read(bytes.data() + before, kPiece);
        bytes.resize(before + static_cast<size_t>(in.gcount()));
        if (bytes.size() == before) break;
        resource = TVersionResource::Find(bytes);
        if (bytes.size() > kOverlap) bytes.erase(0, bytes.size() - kOverlap);
    }
    if (resource) ReadVersionInfo(*resource);
}

void TGetVersionInfoFromFile::ReadVersionInfo(const TVersionResource& resource) {
    if (!resource.Query("\\")) return;
    const std::optional<std::string> translation = resource.Query("\\VarFileInfo\\Translation");
    if (!translation || translation->size() < 4) return;
    const auto language = static_cast<uint16_t>(Get(*translation, 0, 2));
    const auto codePage = static_cast<uint16_t>(Get(*translation, 2, 2));
    for (const std::string& key : Keys()) {
        const std::optional<std::string> value = resource.Query(StringPath(language, codePage, key));
        if (!value) return; // the keys after a missing one are not read
        // A value ends at its first zero byte and holds at most 256 characters.
        const std::string text = value->substr(0, std::min<size_t>(value->find('\0'), 256));
        if (text.empty()) continue;
        VersionCategories.push_back(key);
        VersionStrings.push_back(text);
    }
}

std::string TGetVersionInfoFromFile::GetValue(const std::string& key) const {
    for (size_t i = 0; i < VersionCategories.size(); ++i)
        if (SameText(VersionCategories[i], key)) return VersionStrings[i];
    return "";
}

std::string AboutText(const std::string& applicationTitle, const TGetVersionInfoFromFile& versionInfo) {
    return applicationTitle + " Beta 1 (Build " + versionInfo.GetValue("FileVersion") + ")\r\n" + "\r\n" +
           "eMail: " + kContactAddress + "\r\n" + kWebAddress + "\r\n";
}

} // namespace varnok
