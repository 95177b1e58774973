#pragma once
// Gamepads through SDL's game-controller interface: SDL's own mapping
// database, the user's mapping file and SDL_GAMECONTROLLERCONFIG, controllers
// opened as they are plugged in and closed as they go. Buttons, the d-pad and
// the left stick become virtual keys, so a pad drives the game exactly as
// the keyboard does. Joysticks without a mapping are left to the joystick
// device of the input component.
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

union SDL_Event;

namespace varnok::platform {

// The pad's controls the game uses; the stick counts as four directions.
enum class PadButton {
    A,
    B,
    X,
    Y,
    Back,
    Start,
    DpadUp,
    DpadDown,
    DpadLeft,
    DpadRight,
    StickUp,
    StickDown,
    StickLeft,
    StickRight
};
constexpr int kPadButtonCount = 14;

// The virtual key a pad control stands for when it is pressed; 0 for none.
using PadKeyMap = std::function<int(PadButton)>;

// Stick positions (SDL: -32768..32767): past kStickPress a direction counts
// as pressed, back inside kStickRelease as released.
constexpr int kStickPress = 16384;
constexpr int kStickRelease = 12000;

// The user's mapping file is held to these bounds: a real one holds a few
// thousand mappings of every system in well under a megabyte.
constexpr uint64_t kMaxMappingFileBytes = uint64_t{8} << 20;
constexpr int kMaxUserMappings = 5000;

// The lines of a mapping file that SDL would use on this platform (those
// naming it in their "platform:" field), at most maxMappings of them, and
// how many more there were.
struct MappingSelection {
    std::string Text;
    int Kept = 0;
    int Dropped = 0;
    int FirstDroppedLine = 0;
};
MappingSelection SelectUserMappings(const std::string& text, const std::string& platform, int maxMappings);

// Reads the player's mapping file (when it exists) and hands this system's
// mappings in it to SDL's controller subsystem, which must be started.
// Returns how many SDL took, -1 when none could be handed on; what was wrong
// with the file goes to problems.
int AddUserMappingFile(const std::string& file, std::vector<std::string>& problems);

class GameControllers {
  public:
    // Starts SDL's controller subsystem and reads the user's mappings from
    // userMappingFile (when it exists) before any controller is opened.
    explicit GameControllers(const std::string& userMappingFile);
    ~GameControllers();
    GameControllers(const GameControllers&) = delete;
    GameControllers& operator=(const GameControllers&) = delete;

    // Mappings read from the user's file; -1 when it could not be read.
    int UserMappings() const { return userMappings_; }
    // What was wrong with the user's file (for the debug log).
    const std::vector<std::string>& Problems() const { return problems_; }
    int OpenCount() const { return static_cast<int>(open_.size()); }

    // Handles a controller event (plugging, unplugging, buttons, axes) and
    // calls deliver(key, down) for every key that goes down or up. Returns
    // false for events of other kinds.
    using Deliver = std::function<void(int key, bool down)>;
    bool HandleEvent(const SDL_Event& event, const Deliver& deliver);
    // Releases every key the pads hold (the application lost the focus).
    void ReleaseAll(const Deliver& deliver);

    PadKeyMap KeyMap;

  private:
    void AddUserMappings(const std::string& file);
    void Open(int deviceIndex);
    void Press(int instance, PadButton button, bool down, const Deliver& deliver);

    bool ok_ = false;
    int userMappings_ = -1;
    std::vector<std::string> problems_;
    // Open controllers by instance id.
    std::map<int, void*> open_;
    // Per controller and control: the key its press produced (0: not pressed).
    std::map<int, std::array<int, kPadButtonCount>> pressed_;
    // How many pressed controls hold each key down.
    std::array<int, 256> holds_{};
};

// The key map without any game state: A jump (Ctrl), X run (Shift), B creep
// (Alt), Start Enter, Back Escape, d-pad and stick the arrows.
int DefaultPadKey(PadButton button);

} // namespace varnok::platform
