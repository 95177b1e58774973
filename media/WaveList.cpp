#include "media/WaveList.h"
#include "common/Files.h"

#include "common/Exception.h"
#include "common/StrUtils.h"
#include "platform/Sound.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace varnok {

TWaveCollectionItem::TWaveCollectionItem(platform::SoundDevice* device, TWaveListEntry entry)
    : device_(device), entry_(std::move(entry)) {
    initialized_ = device_ && device_->Initialized();
    if (!initialized_ || !entry_.Wave.HasSamples()) return;
    platform::WaveFormat format;
    format.FormatTag = entry_.Wave.FormatTag();
    format.Channels = entry_.Wave.Channels();
    format.SamplesPerSec = entry_.Wave.SamplesPerSec();
    format.BitsPerSample = entry_.Wave.BitsPerSample();
    primary_ = device_->CreateBuffer(format, entry_.Wave.Samples);
}

TWaveCollectionItem::~TWaveCollectionItem() = default;

void TWaveCollectionItem::PlaySound(bool wait) {
    if (!initialized_ || !primary_) return;
    if (entry_.Looped) {
        primary_->Play(true);
        return;
    }
    platform::SoundBuffer* chosen = nullptr;
    for (auto& b : buffers_)
        if (!b->Playing()) {
            chosen = b.get();
            break;
        }
    if (!chosen) {
        if (entry_.MaxPlayingCount > 0 && static_cast<int32_t>(buffers_.size()) >= entry_.MaxPlayingCount) {
            // The oldest instance starts again, and becomes the newest.
            auto oldest = std::move(buffers_.front());
            buffers_.erase(buffers_.begin());
            buffers_.push_back(std::move(oldest));
        } else {
            buffers_.push_back(primary_->Duplicate());
        }
        chosen = buffers_.back().get();
    }
    chosen->Stop();
    chosen->SetVolume(volume_);
    chosen->SetPan(pan_);
    chosen->Play(false);
    while (wait && chosen->Playing()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void TWaveCollectionItem::Stop() {
    if (primary_) primary_->Stop();
    for (auto& b : buffers_) b->Stop();
}

bool TWaveCollectionItem::Playing() const {
    if (primary_ && primary_->Playing()) return true;
    for (const auto& b : buffers_)
        if (b->Playing()) return true;
    return false;
}

void TDXWaveList::StopLooped() {
    for (auto& item : items_)
        if (item->Looped()) item->Stop();
}

void TWaveCollectionItem::SetLooped(bool looped) {
    if (entry_.Looped == looped) return;
    Stop();
    entry_.Looped = looped;
}

void TWaveCollectionItem::SetPan(int32_t pan) {
    pan_ = pan;
    if (primary_) primary_->SetPan(pan);
}

void TWaveCollectionItem::SetVolume(int32_t volume) {
    volume_ = volume;
    if (primary_) primary_->SetVolume(volume);
}

void TDXWaveList::LoadFromFile(const std::string& path) {
    LoadFromBytes(ReadWholeFile(path));
}

void TDXWaveList::LoadFromBytes(std::string_view bytes) { Fill(ReadWaveListFile(bytes)); }

void TDXWaveList::Fill(std::vector<TWaveListEntry> entries) {
    items_.clear();
    index_.Clear();
    for (auto& entry : entries) {
        index_.Add(entry.Name, static_cast<int>(items_.size()));
        items_.push_back(std::make_unique<TWaveCollectionItem>(device_, std::move(entry)));
    }
}

TWaveCollectionItem& TDXWaveList::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    return *items_[static_cast<size_t>(index)];
}

TWaveCollectionItem& TDXWaveList::Find(std::string_view name) const {
    const int i = index_.IndexOf(name);
    if (i < 0) throw EListError(Format(kWaveNotFound, std::string(name).c_str()));
    return *items_[static_cast<size_t>(i)];
}

} // namespace varnok
