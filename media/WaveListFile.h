#pragma once
// The wave-list file (SND\Sounds.dxw) as plain data: named sound items with
// their loop flag, overlap limit and wave data, read from and written to the
// component-stream container, plus the hashed case-insensitive name index
// through which the game finds a sound by name. Nothing here touches the
// sound device.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnok {

// Messages of the wave-list layer.
extern const char* const kWaveInvalid;  // "Wave is invalid"
extern const char* const kWaveNotFound; // "Wave '%s' not found"

// The sound data of one item: the "fmt " chunk's bytes, taken whole, and the
// "data" chunk's bytes.
struct TWaveData {
    std::string Format;
    std::string Samples;

    // The PCM fields at the start of the format block; 0 when the block is
    // too short to hold them.
    uint16_t FormatTag() const;
    uint16_t Channels() const;
    uint32_t SamplesPerSec() const;
    uint32_t AvgBytesPerSec() const;
    uint16_t BlockAlign() const;
    uint16_t BitsPerSample() const;
    bool HasSamples() const { return !Samples.empty(); }
};

// Reads a RIFF wave image the way the wave list does: chunks follow each
// other with no pad bytes; "fmt " and "data" are kept, other chunks skipped;
// the scan stops at a zero chunk identifier (which is what the end of the
// image reads as). Not "RIFF" ... "WAVE": EStreamError "Wave is invalid".
TWaveData ParseWaveImage(std::string_view image);
// RIFF image with a "fmt " chunk and a "data" chunk (no pad bytes).
std::string BuildWaveImage(const TWaveData& wave);

// The stored properties of one sound item.
struct TWaveListEntry {
    std::string Name;
    bool Looped = false;
    int32_t MaxPlayingCount = 0; // 0 = no limit; never negative
    TWaveData Wave;
};

// The whole file: resource header, "TPF0", the collection of items.
// Malformed data raises EStreamError with the stream layer's messages.
std::vector<TWaveListEntry> ReadWaveListFile(std::string_view bytes);
std::string WriteWaveListFile(const std::vector<TWaveListEntry>& entries);

// Name index with 256 buckets. Adding puts the entry at the head of its
// bucket, and lookups walk from the head, so of several entries with the same
// name (in any letter case) the one added last is found.
class TWaveNameIndex {
public:
    static int Bucket(std::string_view name);
    void Add(std::string_view name, int position);
    // Drops one entry (a renamed or removed item).
    void Remove(std::string_view name, int position);
    void Clear();
    // Position of the item, or -1.
    int IndexOf(std::string_view name) const;

private:
    // Each bucket's head is its last element.
    std::array<std::vector<std::pair<std::string, int>>, 256> buckets_;
};

// The items of a wave list in file order, with the name index.
class TWaveListData {
public:
    // Replaces all items with the content of the file / the bytes.
    void LoadFromFile(const std::string& path);
    void LoadFromBytes(std::string_view bytes);
    void SaveToFile(const std::string& path) const;

    void Clear();
    void Add(TWaveListEntry entry);
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises EListError for a position outside 0..Count-1.
    const TWaveListEntry& Items(int index) const;
    const std::vector<TWaveListEntry>& All() const { return items_; }

    // Position of the named item, or -1.
    int IndexOf(std::string_view name) const { return index_.IndexOf(name); }
    // The named item; a missing name raises EListError "Wave '%s' not found".
    const TWaveListEntry& Find(std::string_view name) const;

private:
    std::vector<TWaveListEntry> items_;
    TWaveNameIndex index_;
};

} // namespace varnok
