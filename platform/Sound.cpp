#include "platform/Sound.h"

#include "common/DebugLog.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace varnok::platform {

namespace {
constexpr int kChannels = 32;
}

struct SoundBuffer::Samples {
    std::vector<uint8_t> data;
    Mix_Chunk chunk{};
};

SoundDevice::SoundDevice(bool headless) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        AddMessage(std::string("No sound: ") + SDL_GetError());
        return;
    }
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) {
        AddMessage(std::string("No sound: ") + Mix_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return;
    }
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    Mix_QuerySpec(&frequency, &format, &channels);
    rate_ = frequency;
    format_ = format;
    channels_ = channels;
    Mix_AllocateChannels(kChannels);
    owners_.assign(kChannels, nullptr);
    initialized_ = true;
}

SoundDevice::~SoundDevice() {
    if (!initialized_) return;
    Mix_HookMusic(nullptr, nullptr);
    Mix_HaltChannel(-1);
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SoundDevice::Gains(int32_t volume, int32_t pan, double& left, double& right) {
    volume = std::clamp(volume, -10000, 0);
    pan = std::clamp(pan, -10000, 10000);
    const double leftMb = volume + (pan > 0 ? -pan : 0);
    const double rightMb = volume + (pan < 0 ? pan : 0);
    left = std::pow(10.0, std::max(leftMb, -10000.0) / 2000.0);
    right = std::pow(10.0, std::max(rightMb, -10000.0) / 2000.0);
}

std::unique_ptr<SoundBuffer> SoundDevice::CreateBuffer(const WaveFormat& format, const std::string& samples) {
    if (!initialized_ || samples.empty()) return nullptr;
    if (format.FormatTag != 1 || (format.BitsPerSample != 8 && format.BitsPerSample != 16) ||
        format.Channels < 1 || format.Channels > 2 || format.SamplesPerSec < 1000 || format.SamplesPerSec > 192000)
        return nullptr;
    SDL_AudioCVT cvt;
    const SDL_AudioFormat from = format.BitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    if (SDL_BuildAudioCVT(&cvt, from, static_cast<Uint8>(format.Channels), static_cast<int>(format.SamplesPerSec),
                          format_, static_cast<Uint8>(channels_), rate_) < 0)
        return nullptr;
    // Whole sample frames only.
    const size_t frame = static_cast<size_t>(format.Channels) * (format.BitsPerSample / 8);
    const size_t length = samples.size() / frame * frame;
    if (length == 0 || length > 256u * 1024 * 1024) return nullptr;
    auto data = std::make_shared<SoundBuffer::Samples>();
    data->data.resize(length * static_cast<size_t>(cvt.len_mult));
    std::memcpy(data->data.data(), samples.data(), length);
    cvt.buf = data->data.data();
    cvt.len = static_cast<int>(length);
    if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) return nullptr;
    const size_t converted = cvt.needed ? static_cast<size_t>(cvt.len_cvt) : length;
    data->data.resize(converted);
    data->chunk.allocated = 0;
    data->chunk.abuf = data->data.data();
    data->chunk.alen = static_cast<Uint32>(converted);
    data->chunk.volume = MIX_MAX_VOLUME;
    return std::unique_ptr<SoundBuffer>(new SoundBuffer(*this, std::move(data)));
}

void SoundDevice::SetMusicSource(MusicSource source, void* user) {
    if (!initialized_) return;
    Lock();
    musicSource_ = source;
    musicUser_ = user;
    Unlock();
    if (source) {
        Mix_HookMusic(
            [](void* self, Uint8* stream, int len) {
                auto* device = static_cast<SoundDevice*>(self);
                std::memset(stream, 0, static_cast<size_t>(len));
                if (device->musicSource_ && device->format_ == AUDIO_S16SYS && device->channels_ == 2)
                    device->musicSource_(device->musicUser_, reinterpret_cast<int16_t*>(stream), len / 4);
            },
            this);
    } else {
        Mix_HookMusic(nullptr, nullptr);
    }
}

void SoundDevice::Lock() {
    if (initialized_) SDL_LockAudio();
}

void SoundDevice::Unlock() {
    if (initialized_) SDL_UnlockAudio();
}

SoundBuffer::SoundBuffer(SoundDevice& device, std::shared_ptr<Samples> samples)
    : device_(device), samples_(std::move(samples)) {}

SoundBuffer::~SoundBuffer() { Stop(); }

std::unique_ptr<SoundBuffer> SoundBuffer::Duplicate() const {
    auto copy = std::unique_ptr<SoundBuffer>(new SoundBuffer(device_, samples_));
    copy->volume_ = volume_;
    copy->pan_ = pan_;
    return copy;
}

bool SoundBuffer::Playing() const {
    return channel_ >= 0 && device_.owners_[static_cast<size_t>(channel_)] == this && Mix_Playing(channel_) != 0;
}

void SoundBuffer::Play(bool looped) {
    Stop();
    const int channel = Mix_PlayChannel(-1, &samples_->chunk, looped ? -1 : 0);
    if (channel < 0 || channel >= static_cast<int>(device_.owners_.size())) return;
    channel_ = channel;
    device_.owners_[static_cast<size_t>(channel)] = this;
    // Panning is dropped when a channel finishes: set it for every play.
    ApplyGains();
}

void SoundBuffer::Stop() {
    if (Playing()) Mix_HaltChannel(channel_);
    if (channel_ >= 0 && device_.owners_[static_cast<size_t>(channel_)] == this)
        device_.owners_[static_cast<size_t>(channel_)] = nullptr;
    channel_ = -1;
}

void SoundBuffer::SetVolume(int32_t volume) {
    volume_ = volume;
    if (Playing()) ApplyGains();
}

void SoundBuffer::SetPan(int32_t pan) {
    pan_ = pan;
    if (Playing()) ApplyGains();
}

void SoundBuffer::ApplyGains() const {
    double left = 1, right = 1;
    SoundDevice::Gains(volume_, pan_, left, right);
    Mix_SetPanning(channel_, static_cast<Uint8>(std::lround(left * 255)), static_cast<Uint8>(std::lround(right * 255)));
}

} // namespace varnok::platform
