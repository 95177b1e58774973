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

// Headroom: every source (each effect's channel and the music) is mixed at a
// quarter of its level, so that the mixer, which cuts each sum at full scale,
// can add four sources at full scale before it has to cut. The limiter after
// the mix brings the sum back to the sources' own level.
constexpr int kHeadroomVolume = MIX_MAX_VOLUME / 4;
constexpr float kMakeUpGain = 4.0f;
// The limiter holds every sample at or below this level (about -0.9 dB of
// full scale); quieter sums pass unchanged. A louder peak lowers the gain at
// once, which then rises back to 1 within 60 ms.
constexpr float kLimitLevel = 29491.0f;
constexpr float kReleaseSeconds = 0.060f;
} // namespace

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
    // Headroom and limiter go together: the limiter makes up the level.
    if (format_ == AUDIO_S16SYS) {
        Mix_Volume(-1, kHeadroomVolume);
        Mix_SetPostMix(&SoundDevice::Limit, this);
    }
    initialized_ = true;
}

void SoundDevice::Limit(void* self, uint8_t* stream, int len) {
    auto* device = static_cast<SoundDevice*>(self);
    auto* samples = reinterpret_cast<int16_t*>(stream);
    const int channels = std::max(device->channels_, 1);
    const int frames = len / 2 / channels;
    const float release = 1.0f / (kReleaseSeconds * static_cast<float>(std::max(device->rate_, 1)));
    float gain = device->limiterGain_;
    // One gain for all channels of a frame keeps the stereo position.
    for (int f = 0; f < frames; ++f) {
        int16_t* frame = samples + static_cast<ptrdiff_t>(f) * channels;
        float peak = 0;
        for (int c = 0; c < channels; ++c)
            peak = std::max(peak, std::fabs(frame[c] * kMakeUpGain));
        gain = std::min(1.0f, gain + release);
        if (peak * gain > kLimitLevel) gain = kLimitLevel / peak;
        for (int c = 0; c < channels; ++c)
            frame[c] = static_cast<int16_t>(std::lround(frame[c] * kMakeUpGain * gain));
    }
    device->limiterGain_ = gain;
}

SoundDevice::~SoundDevice() {
    if (!initialized_) return;
    Mix_HookMusic(nullptr, nullptr);
    Mix_SetPostMix(nullptr, nullptr);
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
        format.Channels < 1 || format.Channels > 2 || format.SamplesPerSec < 1000 ||
        format.SamplesPerSec > 192000)
        return nullptr;
    SDL_AudioCVT cvt;
    const SDL_AudioFormat from = format.BitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    if (SDL_BuildAudioCVT(&cvt, from, static_cast<Uint8>(format.Channels),
                          static_cast<int>(format.SamplesPerSec), format_, static_cast<Uint8>(channels_),
                          rate_) < 0)
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
                const std::lock_guard<std::mutex> lock(device->musicMutex_);
                if (device->musicSource_ && device->format_ == AUDIO_S16SYS && device->channels_ == 2) {
                    auto* samples = reinterpret_cast<int16_t*>(stream);
                    device->musicSource_(device->musicUser_, samples, len / 4);
                    // The same headroom as the effects' channels.
                    for (int i = 0; i < len / 2; ++i)
                        samples[i] = static_cast<int16_t>(samples[i] * kHeadroomVolume / MIX_MAX_VOLUME);
                }
            },
            this);
    } else {
        Mix_HookMusic(nullptr, nullptr);
    }
}

void SoundDevice::Lock() {
    if (initialized_) musicMutex_.lock();
}

void SoundDevice::Unlock() {
    if (initialized_) musicMutex_.unlock();
}

SoundBuffer::SoundBuffer(SoundDevice& device, std::shared_ptr<Samples> samples)
    : device_(device), samples_(std::move(samples)) {}

SoundBuffer::~SoundBuffer() {
    Stop();
}

std::unique_ptr<SoundBuffer> SoundBuffer::Duplicate() const {
    auto copy = std::unique_ptr<SoundBuffer>(new SoundBuffer(device_, samples_));
    copy->volume_ = volume_;
    copy->pan_ = pan_;
    return copy;
}

bool SoundBuffer::Playing() const {
    return channel_ >= 0 && device_.owners_[static_cast<size_t>(channel_)] == this &&
           Mix_Playing(channel_) != 0;
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
    Mix_SetPanning(channel_, static_cast<Uint8>(std::lround(left * 255)),
                   static_cast<Uint8>(std::lround(right * 255)));
}

} // namespace varnok::platform
