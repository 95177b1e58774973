#pragma once
// The sound device: a mixer with many channels, and sound buffers made from
// PCM wave data. A buffer plays on a channel of its own; duplicates share the
// samples of their original. Volume and pan are in hundredths of a decibel
// (volume 0 full .. -10000 silent; pan -10000 left .. +10000 right, a
// negative pan lowering the right side only).
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace varnok::platform {

struct WaveFormat {
    uint16_t FormatTag = 1; // 1 = PCM
    uint16_t Channels = 1;
    uint32_t SamplesPerSec = 22050;
    uint16_t BitsPerSample = 16;
};

class SoundDevice;

class SoundBuffer {
  public:
    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    // A new buffer over the same samples.
    std::unique_ptr<SoundBuffer> Duplicate() const;
    void Play(bool looped);
    void Stop();
    bool Playing() const;
    void SetVolume(int32_t volume);
    void SetPan(int32_t pan);

  private:
    friend class SoundDevice;
    struct Samples;
    SoundBuffer(SoundDevice& device, std::shared_ptr<Samples> samples);
    void ApplyGains() const;

    SoundDevice& device_;
    std::shared_ptr<Samples> samples_;
    int channel_ = -1;
    int32_t volume_ = 0;
    int32_t pan_ = 0;
};

class SoundDevice {
  public:
    // Opens the audio output (SDL's dummy output when headless). A device that
    // cannot be opened stays uninitialised, and the game runs silent.
    explicit SoundDevice(bool headless);
    ~SoundDevice();
    SoundDevice(const SoundDevice&) = delete;
    SoundDevice& operator=(const SoundDevice&) = delete;

    bool Initialized() const { return initialized_; }
    // A buffer with the samples converted to the device's format; nullptr when
    // the format cannot be played or the device is not open.
    std::unique_ptr<SoundBuffer> CreateBuffer(const WaveFormat& format, const std::string& samples);

    // Left and right gains (0..1) of a volume and pan.
    static void Gains(int32_t volume, int32_t pan, double& left, double& right);

    // Music: a callback that fills interleaved 16-bit stereo samples at the
    // device rate, run on the audio thread; nullptr stops it.
    using MusicSource = void (*)(void* user, int16_t* samples, int frames);
    void SetMusicSource(MusicSource source, void* user);
    int Rate() const { return rate_; }
    // Keeps the audio thread out while the game thread swaps music data.
    void Lock();
    void Unlock();

  private:
    friend class SoundBuffer;
    bool initialized_ = false;
    int rate_ = 44100;
    uint16_t format_ = 0;
    int channels_ = 2;
    std::vector<const SoundBuffer*> owners_; // which buffer plays on each channel
    MusicSource musicSource_ = nullptr;
    void* musicUser_ = nullptr;
    // Held by the audio thread while it renders music, and by the game's
    // thread while it swaps the music source or its module. (SDL's own
    // audio lock would not do: it locks the first device only, and the
    // mixer's device is another.)
    std::mutex musicMutex_;
    // The limiter after the mix (audio thread only): the sources are mixed
    // with headroom, and the sum is brought back to their level, its peaks
    // held below full scale instead of being cut there.
    static void Limit(void* self, uint8_t* stream, int len);
    float limiterGain_ = 1.0f;
};

} // namespace varnok::platform
