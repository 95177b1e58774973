#pragma once
// The game's sound effects: the items of SND\Sounds.dxw, each played by name
// through the sound device. An item keeps one primary buffer and plays
// overlapping instances on duplicates of it, at most MaxPlayingCount at once
// (0: no limit), restarting the oldest when the limit is reached.
#include "media/WaveListFile.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnok {

namespace platform {
class SoundDevice;
class SoundBuffer;
} // namespace platform

class TWaveCollectionItem {
public:
    TWaveCollectionItem(platform::SoundDevice* device, TWaveListEntry entry);
    ~TWaveCollectionItem();
    TWaveCollectionItem(const TWaveCollectionItem&) = delete;
    TWaveCollectionItem& operator=(const TWaveCollectionItem&) = delete;

    const std::string& Name() const { return entry_.Name; }
    bool Looped() const { return entry_.Looped; }
    int32_t MaxPlayingCount() const { return entry_.MaxPlayingCount; }
    int32_t Pan() const { return pan_; }
    int32_t Volume() const { return volume_; }
    bool Initialized() const { return initialized_; }
    // Instances made for overlapping plays (for inspection).
    size_t ExtraBuffers() const { return buffers_.size(); }

    void PlaySound(bool wait);
    void Stop();
    // Whether any instance of the item is sounding.
    bool Playing() const;
    void SetLooped(bool looped);
    void SetPan(int32_t pan);
    void SetVolume(int32_t volume);

private:
    platform::SoundDevice* device_;
    TWaveListEntry entry_;
    int32_t pan_ = 0;
    int32_t volume_ = 0;
    bool initialized_ = false;
    std::unique_ptr<platform::SoundBuffer> primary_;
    std::vector<std::unique_ptr<platform::SoundBuffer>> buffers_;
};

class TDXWaveList {
public:
    explicit TDXWaveList(platform::SoundDevice* device) : device_(device) {}

    // Replaces all items with those of the file.
    void LoadFromFile(const std::string& path);
    void LoadFromBytes(std::string_view bytes);
    int Count() const { return static_cast<int>(items_.size()); }
    TWaveCollectionItem& Items(int index) const;
    // Raises "Wave '%s' not found" when the name is missing.
    TWaveCollectionItem& Find(std::string_view name) const;
    // Stops every looping item (a looping sound never ends by itself).
    void StopLooped();

private:
    void Fill(std::vector<TWaveListEntry> entries);

    platform::SoundDevice* device_;
    std::vector<std::unique_ptr<TWaveCollectionItem>> items_;
    TWaveNameIndex index_;
};

} // namespace varnok
