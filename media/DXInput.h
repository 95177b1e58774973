#pragma once
// The input component: turns the keyboard and a joystick into a small set of
// named input states that the game polls once per tick. The devices read the
// platform's keyboard state and joystick positions; there is no other input
// path here. Devices are kept and read in the order joystick, keyboard, mouse.
#include "common/Exception.h"
#include "platform/Joystick.h"

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnok {

namespace platform {
class Application;
}
class TComponentReader;
class TComponentWriter;

class EDXInputError : public Exception {
  public:
    VARNOK_ERROR_CONSTRUCTOR(EDXInputError, Exception)
};

// The input states; the position is the state's number.
enum class InputState : uint8_t {
    Up,
    Down,
    Left,
    Right,
    Button1,
    Button2,
    Button3,
    Button4,
    Button5,
    Button6,
    Button7,
    Button8,
    Button9,
    Button10,
    Button11,
    Button12,
    Button13,
    Button14,
    Button15,
    Button16,
    Button17,
    Button18,
    Button19,
    Button20,
    Button21,
    Button22,
    Button23,
    Button24,
    Button25,
    Button26,
    Button27,
    Button28,
    Button29,
    Button30,
    Button31,
    Button32
};
inline constexpr int kInputStateCount = 36;
inline constexpr int kInputButtonCount = 32;

// Button n (0..31) as an input state: Button1 + n.
constexpr InputState ButtonState(int n) {
    return static_cast<InputState>(static_cast<int>(InputState::Button1) + n);
}

// A set of input states, one flag per state.
class InputStateSet {
  public:
    InputStateSet() = default;
    InputStateSet(std::initializer_list<InputState> states) {
        for (InputState s : states)
            Include(s);
    }

    bool Contains(InputState s) const { return bits_.test(static_cast<size_t>(s)); }
    void Include(InputState s) { bits_.set(static_cast<size_t>(s)); }
    void Exclude(InputState s) { bits_.reset(static_cast<size_t>(s)); }
    void Clear() { bits_.reset(); }
    bool Empty() const { return bits_.none(); }
    int Count() const { return static_cast<int>(bits_.count()); }

    InputStateSet& operator+=(const InputStateSet& other) {
        bits_ |= other.bits_;
        return *this;
    }
    friend InputStateSet operator+(InputStateSet a, const InputStateSet& b) { return a += b; }
    bool operator==(const InputStateSet& other) const = default;

  private:
    std::bitset<kInputStateCount> bits_;
};

// What the component needs from the platform besides the joystick: whether
// the main window is the foreground window, and the keyboard state by
// virtual-key code.
class TInputPlatform {
  public:
    virtual ~TInputPlatform() = default;
    virtual bool Foreground() const = 0;
    virtual bool KeyPressed(int key) const = 0;
};

class TCustomDXInput;

// Base of every device.
class TCustomInput {
  public:
    explicit TCustomInput(TCustomDXInput& owner) : owner_(owner) {}
    virtual ~TCustomInput() = default;
    TCustomInput(const TCustomInput&) = delete;
    TCustomInput& operator=(const TCustomInput&) = delete;

    bool Enabled() const { return enabled_; }
    // Once the component has started, the device is set up again at once.
    virtual void SetEnabled(bool value);
    // The device's states are merged into the component's.
    bool BindInputStates = true;

    bool Initialized() const { return initialized_; }
    // The states computed by the last read.
    const InputStateSet& DeviceStates() const { return deviceStates_; }

    // Clears and recomputes DeviceStates.
    virtual void ReadDevice() = 0;
    // Device start-up and release, run by the component.
    virtual void Initialize();
    virtual void Finalize();

  protected:
    // The steps every read begins with: clears the states; false when the
    // device may not report anything now (not set up, or the window is not in
    // front while the component reads only then).
    bool BeginRead();

    TCustomDXInput& owner_;
    bool enabled_ = true;
    bool initialized_ = false;
    InputStateSet deviceStates_;
};

// Three virtual-key codes per input state, in state order; 0 is no key.
using TKeyAssigns = std::array<std::array<int32_t, 3>, kInputStateCount>;
// Size of the stored table: 108 signed 32-bit little-endian integers.
inline constexpr size_t kKeyAssignsSize = 432;

class TKeyboard final : public TCustomInput {
  public:
    explicit TKeyboard(TCustomDXInput& owner);

    // 0x80 marks a key that is down, by virtual-key code.
    std::array<uint8_t, 256> KeyTable{};
    TKeyAssigns Assigns;

    // The keyboard's own assignments, used when nothing is stored.
    static TKeyAssigns DefaultAssigns();

    // True for a code in 1..255 whose key is down; never for 0 or codes above 255.
    bool IsKeyDown(int code) const;
    void ReadDevice() override;
    void Finalize() override;

    // The stored table: 432 bytes, row-major (state 0 key 1, key 2, key 3,
    // state 1 key 1, ...).
    std::string SaveAssigns() const;
    // Reads the first 432 bytes; fewer raise EStreamError "Stream-Lesefehler"
    // and leave the table as it was.
    void LoadAssigns(std::string_view data);

    // Stored properties: only "Assigns" is written; "Assigns" and the old
    // spelling "Aissgns" are read.
    void WriteProperties(TComponentWriter& writer) const;
    // Reads the value of a property of that name; false (nothing read) for a
    // name that is not the keyboard's.
    bool ReadProperty(std::string_view name, TComponentReader& reader);
};

// Position of a joystick axis scaled to -range..+range, 0 inside the dead
// zone (a percentage of the half span on either side of the centre).
int JoystickAxisPosition(int raw, int minPosition, int maxPosition, int deadZonePercent, int range);

class TJoystick final : public TCustomInput {
  public:
    explicit TJoystick(TCustomDXInput& owner) : TCustomInput(owner) {}

    // Device number, dead zone in percent and range per axis (X, Y, Z).
    int ID = 0;
    std::array<int, 3> DeadZone{50, 50, 50};
    std::array<int, 3> Range{1000, 1000, 1000};

    // Scaled positions and buttons of the last read.
    int X() const { return axes_[0]; }
    int Y() const { return axes_[1]; }
    int Z() const { return axes_[2]; }
    uint32_t Buttons() const { return buttons_; }

    void ReadDevice() override;
    void Finalize() override;

  private:
    std::array<int, 3> axes_{};
    uint32_t buttons_ = 0;
};

// The mouse needs a device layer this platform lacks: it stays disabled and
// unbound, and enabling it is an error.
class TMouse final : public TCustomInput {
  public:
    explicit TMouse(TCustomDXInput& owner);
    // Enabling raises EDXInputError "DirectInput is necessary to use the mouse".
    void SetEnabled(bool value) override;
    void ReadDevice() override;
};

class TCustomDXInput {
  public:
    TCustomDXInput();
    virtual ~TCustomDXInput();
    TCustomDXInput(const TCustomDXInput&) = delete;
    TCustomDXInput& operator=(const TCustomDXInput&) = delete;

    TJoystick Joystick;
    TKeyboard Keyboard;
    TMouse Mouse;

    // Devices are read only while the main window is the foreground window.
    bool ActiveOnly = true;
    // Asks for the device layer first. None exists here, so both values read
    // through the platform; a change runs the start-up again.
    bool UseDirectInput() const { return useDirectInput_; }
    void SetUseDirectInput(bool value);

    // The merged device states of the previous poll.
    InputStateSet PreviousStates;
    // The states the game reads.
    InputStateSet CurrentStates;

    // Reads every device; a state enters CurrentStates when it appears and
    // leaves when it disappears, so a state a consumer removed stays off
    // until its keys are released and pressed again.
    void PollInput();

    // Start-up: releases every device, sets each up in list order, polls once.
    void Initialize();
    bool Started() const { return started_; }

    // The devices in list order: joystick, keyboard, mouse.
    const std::vector<TCustomInput*>& Devices() const { return devices_; }
    // The main window is in front (false while no platform is attached).
    bool Foreground() const { return platform_ && platform_->Foreground(); }
    const TInputPlatform* Platform() const { return platform_; }
    platform::JoystickSource* JoystickSource() const { return joystickSource_; }

  protected:
    void SetSources(const TInputPlatform* platform, platform::JoystickSource* joystick);
    void ReleaseDevices();

  private:
    std::vector<TCustomInput*> devices_;
    const TInputPlatform* platform_ = nullptr;
    platform::JoystickSource* joystickSource_ = nullptr;
    bool useDirectInput_ = true;
    bool started_ = false;
};

// The key table stored with the main window: the keyboard's own rows plus
// Left/Right Shift, Left/Right Ctrl and the two Windows keys as Button10 to
// Button15.
TKeyAssigns MainFormKeyAssigns();

// The component on the main window, with the main window's key table.
class TDXInput final : public TCustomDXInput {
  public:
    // Keyboard state and focus from the application; the first joystick
    // through the platform (none in headless mode, where only the scripted
    // keys count).
    explicit TDXInput(platform::Application& app);
    // Given sources (tests); joystick may be null. Both must outlive the component.
    TDXInput(const TInputPlatform& platform, platform::JoystickSource* joystick);
    ~TDXInput() override;

  private:
    std::unique_ptr<TInputPlatform> ownPlatform_;
    std::unique_ptr<platform::JoystickSource> ownJoystick_;
};

} // namespace varnok
