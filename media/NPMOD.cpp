#include "media/NPMOD.h"
#include "common/Exception.h"
#include "common/Files.h"

#include "common/DebugLog.h"
#include "common/Paths.h"
#include "common/StrUtils.h"
#include "platform/Sound.h"


namespace varnok {

namespace {
const char* const kInitError = "Error initialisation ModPlugPlayer! :-(";
}

TModPlayer::TModPlayer(platform::SoundDevice& device,
                       std::function<void(const std::string&, const std::string&)> showError,
                       std::function<void()> beep, std::string libraryName)
    : device_(device), showError_(std::move(showError)), beep_(std::move(beep)), libraryName_(std::move(libraryName)) {}

TModPlayer::~TModPlayer() { ShutDown(); }

void TModPlayer::Start() {
    if (failed_) return;
    if (!library_.Load(libraryName_)) {
        failed_ = true;
        if (showError_) showError_(kInitError, "Error");
        return;
    }
    struct Export {
        const char* name;
        void** slot;
    };
    const Export exports[] = {
        {"openmpt_module_create_from_memory2", reinterpret_cast<void**>(&api_.create)},
        {"openmpt_module_destroy", reinterpret_cast<void**>(&api_.destroy)},
        {"openmpt_module_read_interleaved_stereo", reinterpret_cast<void**>(&api_.read)},
        {"openmpt_module_set_repeat_count", reinterpret_cast<void**>(&api_.setRepeat)},
        {"openmpt_module_set_position_seconds", reinterpret_cast<void**>(&api_.setPosition)},
        {"openmpt_free_string", reinterpret_cast<void**>(&api_.freeString)},
    };
    // Every missing function is reported; binding goes on with the others.
    for (const Export& e : exports) {
        *e.slot = library_.Function(e.name);
        if (!*e.slot && showError_)
            showError_(std::string(kInitError) + "\nInvalid procedure or function - " + e.name, "Error");
    }
    if (!api_.Complete()) {
        failed_ = true;
        library_.Unload();
        api_ = Api{};
        return;
    }
    device_.SetMusicSource(&TModPlayer::Render, this);
    started_ = true;
}

void TModPlayer::FreeModule() {
    device_.Lock();
    void* old = module_;
    module_ = nullptr;
    device_.Unlock();
    if (old) api_.destroy(old);
}

void TModPlayer::ShutDown() {
    if (!started_) return;
    device_.SetMusicSource(nullptr, nullptr);
    FreeModule();
    library_.Unload();
    api_ = Api{};
    started_ = false;
}

void TModPlayer::OpenModule(const std::string& file) {
    if (!started_) Start();
    if (!started_) return;
    if (!file.empty() && FileExists(file)) Load(file);
    if (!module_ && beep_) beep_();
}

void TModPlayer::Load(const std::string& file) {
    std::string bytes;
    try {
        bytes = ReadWholeFile(file);
    } catch (const Exception& e) {
        // Unreadable: nothing is loaded, as for a missing file.
        AddMessage(e.what());
        return;
    }
    int error = 0;
    const char* message = nullptr;
    // The library's own messages go to the debug log, not to the terminal.
    std::string complaints;
    void* created = api_.create(bytes.data(), bytes.size(), &TModPlayer::Log, &complaints, nullptr, nullptr, &error,
                                &message, nullptr);
    if (created) {
        api_.setRepeat(created, -1); // loop for ever
        api_.setPosition(created, 0);
        device_.Lock();
        void* old = module_;
        module_ = created;
        device_.Unlock();
        if (old) api_.destroy(old);
    } else {
        if (complaints.empty() && message) complaints = message;
        AddMessage(Format("Module \"%s\" not loaded: %s", file.c_str(),
                          complaints.empty() ? "refused by the module library" : complaints.c_str()));
    }
    // The error text is the library's to allocate and ours to free.
    if (message) api_.freeString(message);
}

void TModPlayer::Resume() {
    if (started_) playing_ = true;
}

void TModPlayer::Halt() {
    if (started_) playing_ = false;
}

void TModPlayer::Mute() { volume_ = 0; }

void TModPlayer::Unmute() { volume_ = 100; }

void TModPlayer::Log(const char* message, void* user) {
    if (!message || !user) return;
    std::string& text = *static_cast<std::string*>(user);
    if (!text.empty()) text += "; ";
    text += message;
}

// Runs on the audio thread, with the device locked against module swaps.
void TModPlayer::Render(void* self, int16_t* samples, int frames) {
    auto* player = static_cast<TModPlayer*>(self);
    if (!player->module_ || !player->playing_ || frames <= 0) return;
    const size_t got = player->api_.read(player->module_, player->device_.Rate(), static_cast<size_t>(frames), samples);
    const int volume = player->volume_;
    if (volume >= 100) return;
    for (size_t i = 0; i < got * 2; ++i) samples[i] = static_cast<int16_t>(samples[i] * volume / 100);
}

} // namespace varnok
