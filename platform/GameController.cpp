#include "platform/GameController.h"

#include "common/Exception.h"
#include "common/Files.h"
#include "common/StrUtils.h"
#include "platform/Keys.h"

#include <SDL.h>

namespace varnok::platform {

namespace {

SDL_GameController* AsController(void* p) {
    return static_cast<SDL_GameController*>(p);
}

bool FromSdlButton(int sdl, PadButton& out) {
    switch (sdl) {
    case SDL_CONTROLLER_BUTTON_A:
        out = PadButton::A;
        return true;
    case SDL_CONTROLLER_BUTTON_B:
        out = PadButton::B;
        return true;
    case SDL_CONTROLLER_BUTTON_X:
        out = PadButton::X;
        return true;
    case SDL_CONTROLLER_BUTTON_Y:
        out = PadButton::Y;
        return true;
    case SDL_CONTROLLER_BUTTON_BACK:
        out = PadButton::Back;
        return true;
    case SDL_CONTROLLER_BUTTON_START:
        out = PadButton::Start;
        return true;
    case SDL_CONTROLLER_BUTTON_DPAD_UP:
        out = PadButton::DpadUp;
        return true;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
        out = PadButton::DpadDown;
        return true;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
        out = PadButton::DpadLeft;
        return true;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
        out = PadButton::DpadRight;
        return true;
    default:
        return false;
    }
}

} // namespace

int DefaultPadKey(PadButton button) {
    switch (button) {
    case PadButton::A:
        return VK_CONTROL;
    case PadButton::X:
        return VK_SHIFT;
    case PadButton::B:
        return VK_MENU;
    case PadButton::Start:
        return VK_RETURN;
    case PadButton::Back:
        return VK_ESCAPE;
    case PadButton::DpadUp:
    case PadButton::StickUp:
        return VK_UP;
    case PadButton::DpadDown:
    case PadButton::StickDown:
        return VK_DOWN;
    case PadButton::DpadLeft:
    case PadButton::StickLeft:
        return VK_LEFT;
    case PadButton::DpadRight:
    case PadButton::StickRight:
        return VK_RIGHT;
    default:
        return 0;
    }
}

MappingSelection SelectUserMappings(const std::string& text, const std::string& platform, int maxMappings) {
    MappingSelection selection;
    const std::string field = "platform:" + LowerCase(platform) + ",";
    size_t start = 0;
    int lineNo = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        ++lineNo;
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        // Mappings of other systems (or of none) are never used here.
        if (LowerCase(line).find(field) == std::string::npos) continue;
        if (selection.Kept >= maxMappings) {
            if (selection.Dropped++ == 0) selection.FirstDroppedLine = lineNo;
            continue;
        }
        ++selection.Kept;
        selection.Text += line;
        selection.Text += '\n';
    }
    return selection;
}

GameControllers::GameControllers(const std::string& userMappingFile) {
    // SDL reads SDL_GAMECONTROLLERCONFIG itself when the subsystem starts.
    ok_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!ok_) return;
    if (!userMappingFile.empty()) AddUserMappings(userMappingFile);
    // Controllers already attached announce themselves with "added" events.
}

void GameControllers::AddUserMappings(const std::string& file) {
    userMappings_ = AddUserMappingFile(file, problems_);
}

int AddUserMappingFile(const std::string& file, std::vector<std::string>& problems) {
    // Read as every other file of the player's: a regular file only (a pipe
    // would keep the game from ever starting) and of a bounded size.
    std::optional<std::string> text;
    try {
        text = ReadWholeFileIfExists(file, kMaxMappingFileBytes);
    } catch (const Exception& e) {
        problems.push_back(Format("Gamepad mappings not read: %s", e.what()));
        return -1;
    }
    if (!text) return -1;
    // SDL looks every new mapping up among those it has, so the time to add
    // them grows with the square of their number: only so many are taken.
    const MappingSelection selection = SelectUserMappings(*text, SDL_GetPlatform(), kMaxUserMappings);
    if (selection.Dropped > 0)
        problems.push_back(Format("%s: only the first %d gamepad mappings are used; %d more from line %d on "
                                  "are ignored",
                                  file.c_str(), kMaxUserMappings, selection.Dropped, selection.FirstDroppedLine));
    SDL_RWops* rw = SDL_RWFromConstMem(selection.Text.data(), static_cast<int>(selection.Text.size()));
    if (!rw) {
        problems.push_back(Format("Gamepad mappings of %s not added: %s", file.c_str(), SDL_GetError()));
        return -1;
    }
    return SDL_GameControllerAddMappingsFromRW(rw, 1);
}

GameControllers::~GameControllers() {
    if (!ok_ || SDL_WasInit(SDL_INIT_GAMECONTROLLER) == 0) return;
    for (auto& [id, controller] : open_)
        SDL_GameControllerClose(AsController(controller));
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

void GameControllers::Open(int deviceIndex) {
    if (!SDL_IsGameController(deviceIndex)) return;
    SDL_GameController* c = SDL_GameControllerOpen(deviceIndex);
    if (!c) return;
    const int id = SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(c));
    if (open_.count(id)) {
        SDL_GameControllerClose(c);
        return;
    }
    open_[id] = c;
    pressed_[id].fill(0);
}

void GameControllers::Press(int instance, PadButton button, bool down, const Deliver& deliver) {
    auto it = pressed_.find(instance);
    if (it == pressed_.end()) return;
    int& key = it->second[static_cast<size_t>(button)];
    if (down == (key != 0)) return;
    if (down) {
        key = KeyMap ? KeyMap(button) : DefaultPadKey(button);
        if (key <= 0 || key >= 256) {
            key = 0;
            return;
        }
        if (holds_[static_cast<size_t>(key)]++ == 0) deliver(key, true);
    } else {
        // The release goes to the key the press produced, whatever the map says now.
        const int released = key;
        key = 0;
        if (--holds_[static_cast<size_t>(released)] == 0) deliver(released, false);
    }
}

void GameControllers::ReleaseAll(const Deliver& deliver) {
    for (auto& [id, keys] : pressed_)
        for (int b = 0; b < kPadButtonCount; ++b)
            Press(id, static_cast<PadButton>(b), false, deliver);
}

bool GameControllers::HandleEvent(const SDL_Event& e, const Deliver& deliver) {
    if (!ok_) return false;
    switch (e.type) {
    case SDL_CONTROLLERDEVICEADDED:
        Open(e.cdevice.which);
        return true;
    case SDL_CONTROLLERDEVICEREMOVED: {
        const int id = e.cdevice.which;
        auto it = open_.find(id);
        if (it == open_.end()) return true;
        // Whatever it held is let go.
        for (int b = 0; b < kPadButtonCount; ++b)
            Press(id, static_cast<PadButton>(b), false, deliver);
        SDL_GameControllerClose(AsController(it->second));
        open_.erase(it);
        pressed_.erase(id);
        return true;
    }
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
        PadButton b;
        if (FromSdlButton(e.cbutton.button, b))
            Press(e.cbutton.which, b, e.type == SDL_CONTROLLERBUTTONDOWN, deliver);
        return true;
    }
    case SDL_CONTROLLERAXISMOTION: {
        const int v = e.caxis.value;
        auto axis = [&](PadButton negative, PadButton positive) {
            auto it = pressed_.find(e.caxis.which);
            if (it == pressed_.end()) return;
            const bool negHeld = it->second[static_cast<size_t>(negative)] != 0;
            const bool posHeld = it->second[static_cast<size_t>(positive)] != 0;
            Press(e.caxis.which, negative, negHeld ? v < -kStickRelease : v < -kStickPress, deliver);
            Press(e.caxis.which, positive, posHeld ? v > kStickRelease : v > kStickPress, deliver);
        };
        if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) axis(PadButton::StickLeft, PadButton::StickRight);
        if (e.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) axis(PadButton::StickUp, PadButton::StickDown);
        return true;
    }
    default:
        return false;
    }
}

} // namespace varnok::platform
