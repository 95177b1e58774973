#pragma once
// The music player: tracker modules played by the module library, loaded at
// run time by name. A library or a function that cannot be loaded is reported
// once in a message box; the game then runs without music. A module the
// library refuses is reported in the debug log, with the library's own words.
#include "media/MusicPlayer.h"
#include "platform/SharedLibrary.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace varnok {

namespace platform {
class SoundDevice;
}

class TModPlayer final : public TMusicPlayer {
public:
    // device: where the music plays (may be uninitialised: silent). showError
    // shows a message box (text, caption).
    TModPlayer(platform::SoundDevice& device,
               std::function<void(const std::string&, const std::string&)> showError,
               std::function<void()> beep, std::string libraryName = "libopenmpt.so.0");
    ~TModPlayer() override;

    void OpenModule(const std::string& file) override;
    void Resume() override;
    void Halt() override;
    void Mute() override;
    void Unmute() override;

    bool Started() const { return started_; }
    bool Playing() const { return playing_; }
    bool Ready() const { return module_ != nullptr; }
    int Volume() const { return volume_; }

private:
    void Start();
    void ShutDown();
    void FreeModule();
    // Loads the module file, replacing the one loaded; a failure is logged and
    // keeps the old one.
    void Load(const std::string& file);
    static void Render(void* self, int16_t* samples, int frames);
    // Receives the library's own messages while a module loads.
    static void Log(const char* message, void* user);

    // The library's functions the player uses.
    struct Api {
        void* (*create)(const void*, size_t, void (*)(const char*, void*), void*, void*, void*, int*, const char**,
                        const void*) = nullptr;
        void (*destroy)(void*) = nullptr;
        size_t (*read)(void*, int32_t, size_t, int16_t*) = nullptr;
        int (*setRepeat)(void*, int32_t) = nullptr;
        double (*setPosition)(void*, double) = nullptr;
        void (*freeString)(const char*) = nullptr;
        bool Complete() const { return create && destroy && read && setRepeat && setPosition && freeString; }
    };

    platform::SoundDevice& device_;
    std::function<void(const std::string&, const std::string&)> showError_;
    std::function<void()> beep_;
    std::string libraryName_;
    platform::SharedLibrary library_;
    Api api_;
    bool started_ = false;
    bool failed_ = false;
    void* module_ = nullptr; // openmpt_module*
    std::atomic<bool> playing_{false};
    std::atomic<int> volume_{100};
};

} // namespace varnok
