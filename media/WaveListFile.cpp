#include "media/WaveListFile.h"
#include "common/Files.h"

#include "common/ComponentStream.h"
#include "common/Exception.h"
#include "common/StrUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace varnok {

const char* const kWaveInvalid = "Wave is invalid";
const char* const kWaveNotFound = "Wave '%s' not found";

namespace {

constexpr const char* kResourceName = "TWaveCollectionComponent";
constexpr const char* kRootClass = "TWaveCollectionComponent";

uint16_t Get16(std::string_view s, size_t at) {
    if (s.size() < at + 2) return 0;
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | (static_cast<uint8_t>(s[at + 1]) << 8));
}

uint32_t Get32(std::string_view s, size_t at) {
    if (s.size() < at + 4) return 0;
    return static_cast<uint32_t>(Get16(s, at)) | (static_cast<uint32_t>(Get16(s, at + 2)) << 16);
}

void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

[[noreturn]] void UnknownProperty(const std::string& name) {
    throw EStreamError(Format(kPropertyDoesNotExist, name.c_str()));
}

TWaveListEntry ReadItem(TComponentReader& r) {
    TWaveListEntry item;
    r.ReadCollectionItemBegin();
    while (!r.EndOfList()) {
        const std::string prop = r.ReadShortString();
        if (SameText(prop, "Name")) {
            item.Name = r.ReadString();
        } else if (SameText(prop, "Looped")) {
            item.Looped = r.ReadBoolean();
        } else if (SameText(prop, "MaxPlayingCount")) {
            item.MaxPlayingCount = std::max<int32_t>(0, r.ReadInteger());
        } else if (SameText(prop, "Wave.WAVE")) {
            const std::string image = r.ReadBinary();
            item.Wave = ParseWaveImage(image);
        } else {
            UnknownProperty(prop);
        }
    }
    r.ReadListEnd();
    return item;
}

} // namespace

// ---------------------------------------------------------------- wave data

uint16_t TWaveData::FormatTag() const { return Format.size() >= 16 ? Get16(Format, 0) : 0; }
uint16_t TWaveData::Channels() const { return Format.size() >= 16 ? Get16(Format, 2) : 0; }
uint32_t TWaveData::SamplesPerSec() const { return Format.size() >= 16 ? Get32(Format, 4) : 0; }
uint32_t TWaveData::AvgBytesPerSec() const { return Format.size() >= 16 ? Get32(Format, 8) : 0; }
uint16_t TWaveData::BlockAlign() const { return Format.size() >= 16 ? Get16(Format, 12) : 0; }
uint16_t TWaveData::BitsPerSample() const { return Format.size() >= 16 ? Get16(Format, 14) : 0; }

TWaveData ParseWaveImage(std::string_view image) {
    if (image.size() < 12 || image.substr(0, 4) != "RIFF" || image.substr(8, 4) != "WAVE")
        throw EStreamError(kWaveInvalid);
    TWaveData wave;
    size_t pos = 12;
    for (;;) {
        // A chunk header is read as up to 8 bytes into a cleared buffer: at
        // the end of the image the identifier reads as zero and ends the scan.
        char header[8] = {};
        const size_t got = std::min<size_t>(8, image.size() - pos);
        std::memcpy(header, image.data() + pos, got);
        pos += got;
        const std::string_view id(header, 4);
        if (id == std::string_view("\0\0\0\0", 4)) break;
        const uint32_t size = Get32(std::string_view(header, 8), 4);
        if (id == "fmt " || id == "data") {
            if (size > image.size() - pos) throw EStreamError(kStreamReadError);
            (id == "fmt " ? wave.Format : wave.Samples) = std::string(image.substr(pos, size));
            pos += size;
        } else {
            // Skipping past the end leaves nothing more to read.
            pos += std::min<size_t>(size, image.size() - pos);
        }
    }
    return wave;
}

std::string BuildWaveImage(const TWaveData& wave) {
    std::string s = "RIFF";
    Put32(s, static_cast<uint32_t>(4 + 8 + wave.Format.size() + 8 + wave.Samples.size()));
    s += "WAVEfmt ";
    Put32(s, static_cast<uint32_t>(wave.Format.size()));
    s += wave.Format;
    s += "data";
    Put32(s, static_cast<uint32_t>(wave.Samples.size()));
    s += wave.Samples;
    return s;
}

// ---------------------------------------------------------------- file format

std::vector<TWaveListEntry> ReadWaveListFile(std::string_view bytes) {
    // Too short for the header's first two fields: the signature cannot follow.
    if (bytes.size() < 3) throw EStreamError(kInvalidStreamFormat);
    TComponentReader r(bytes);
    r.ReadResourceHeader();
    r.ReadSignature();
    r.ReadShortString(); // class name
    r.ReadShortString(); // object name
    std::vector<TWaveListEntry> items;
    while (!r.EndOfList()) {
        const std::string prop = r.ReadShortString();
        if (!SameText(prop, "List")) UnknownProperty(prop);
        items.clear();
        r.ReadCollectionBegin();
        while (!r.EndOfList()) items.push_back(ReadItem(r));
        r.ReadListEnd();
    }
    r.ReadListEnd(); // the root's properties
    r.ReadListEnd(); // its (empty) list of children
    return items;
}

std::string WriteWaveListFile(const std::vector<TWaveListEntry>& entries) {
    TComponentWriter w;
    w.BeginResource(kResourceName);
    w.WriteSignature();
    w.WriteShortString(kRootClass);
    w.WriteShortString("");
    w.WritePropertyName("List");
    w.WriteCollectionBegin();
    for (const TWaveListEntry& e : entries) {
        w.WriteListBegin();
        w.WritePropertyName("Name");
        w.WriteString(e.Name);
        w.WritePropertyName("Looped");
        w.WriteBoolean(e.Looped);
        w.WritePropertyName("MaxPlayingCount");
        w.WriteInteger(std::max<int32_t>(0, e.MaxPlayingCount));
        w.WritePropertyName("Wave.WAVE");
        w.WriteBinary(BuildWaveImage(e.Wave));
        w.WriteListEnd();
    }
    w.WriteListEnd(); // collection
    w.WriteListEnd(); // root properties
    w.WriteListEnd(); // children
    w.EndResource();
    return w.Data();
}

// ---------------------------------------------------------------- name index

int TWaveNameIndex::Bucket(std::string_view name) {
    const std::string s = LowerCase(name);
    size_t h = s.size() * 16;
    if (s.size() > 1)
        h += static_cast<uint8_t>(s[s.size() - 2]) + static_cast<uint8_t>(s[0]);
    return static_cast<int>(h % 256);
}

void TWaveNameIndex::Add(std::string_view name, int position) {
    buckets_[Bucket(name)].emplace_back(std::string(name), position);
}

void TWaveNameIndex::Remove(std::string_view name, int position) {
    auto& bucket = buckets_[Bucket(name)];
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it)
        if (it->second == position && SameText(it->first, name)) {
            bucket.erase(std::next(it).base());
            return;
        }
}

void TWaveNameIndex::Clear() {
    for (auto& b : buckets_) b.clear();
}

int TWaveNameIndex::IndexOf(std::string_view name) const {
    const auto& bucket = buckets_[Bucket(name)];
    for (auto it = bucket.rbegin(); it != bucket.rend(); ++it)
        if (SameText(it->first, name)) return it->second;
    return -1;
}

// ---------------------------------------------------------------- wave list

void TWaveListData::Clear() {
    items_.clear();
    index_.Clear();
}

void TWaveListData::Add(TWaveListEntry entry) {
    items_.push_back(std::move(entry));
    index_.Add(items_.back().Name, Count() - 1);
}

const TWaveListEntry& TWaveListData::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError(Format("Listenindex \xFC"
                                "berschreitet das Maximum (%d)",
                                index));
    return items_[static_cast<size_t>(index)];
}

const TWaveListEntry& TWaveListData::Find(std::string_view name) const {
    const int i = IndexOf(name);
    if (i < 0) throw EListError(Format(kWaveNotFound, std::string(name).c_str()));
    return items_[static_cast<size_t>(i)];
}

void TWaveListData::LoadFromBytes(std::string_view bytes) {
    Clear();
    std::vector<TWaveListEntry> entries = ReadWaveListFile(bytes);
    for (TWaveListEntry& e : entries) Add(std::move(e));
}

void TWaveListData::LoadFromFile(const std::string& path) {
    LoadFromBytes(ReadWholeFile(path));
}

void TWaveListData::SaveToFile(const std::string& path) const {
    WriteFileAtomically(path, WriteWaveListFile(items_));
}

} // namespace varnok
