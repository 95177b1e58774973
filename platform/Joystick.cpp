#include "platform/Joystick.h"

#include <SDL.h>

namespace varnok::platform {

namespace {

constexpr int kAxisCount = 3;
constexpr int kButtonCount = 32;

SDL_Joystick* AsJoystick(void* handle) {
    return static_cast<SDL_Joystick*>(handle);
}

} // namespace

Joystick::Joystick(int deviceNumber) : deviceNumber_(deviceNumber) {
    subsystemOk_ = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
}

Joystick::~Joystick() {
    if (!subsystemOk_) return;
    // The application may have shut SDL down already.
    if (SDL_WasInit(SDL_INIT_JOYSTICK) == 0) return;
    Close();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

bool Joystick::Open() {
    if (handle_) return true;
    const int count = SDL_NumJoysticks();
    if (deviceNumber_ < 0 || count <= deviceNumber_ || count == failedAtCount_) return false;
    // While gamepads are read as controllers, the joysticks they are made of
    // are theirs: device number n is the n-th joystick without a mapping.
    const bool padsTaken = SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0;
    int index = -1;
    for (int i = 0, seen = 0; i < count; ++i) {
        if (padsTaken && SDL_IsGameController(i)) continue;
        if (seen++ == deviceNumber_) {
            index = i;
            break;
        }
    }
    if (index < 0) return false;
    handle_ = SDL_JoystickOpen(index);
    failedAtCount_ = handle_ ? -1 : count;
    return handle_ != nullptr;
}

void Joystick::Close() {
    if (handle_) SDL_JoystickClose(AsJoystick(handle_));
    handle_ = nullptr;
}

bool Joystick::ReadPosition(JoystickPosition& position) {
    if (!subsystemOk_ || SDL_WasInit(SDL_INIT_JOYSTICK) == 0) return false;
    SDL_JoystickUpdate();
    if (handle_ && !SDL_JoystickGetAttached(AsJoystick(handle_))) Close();
    if (!Open()) return false;

    SDL_Joystick* joy = AsJoystick(handle_);
    position = JoystickPosition{};
    const int axes = SDL_JoystickNumAxes(joy);
    for (int i = 0; i < kAxisCount; ++i) {
        // SDL reports -32768..32767; the position call's range starts at 0.
        const int raw = i < axes ? SDL_JoystickGetAxis(joy, i) : 0;
        position.Axes[i] = raw + 32768;
    }
    const int buttons = SDL_JoystickNumButtons(joy);
    for (int i = 0; i < kButtonCount && i < buttons; ++i)
        if (SDL_JoystickGetButton(joy, i)) position.Buttons |= uint32_t{1} << i;
    return true;
}

} // namespace varnok::platform
