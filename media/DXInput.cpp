#include "media/DXInput.h"

#include "common/ComponentStream.h"
#include "common/StrUtils.h"
#include "platform/Application.h"

#include <algorithm>

namespace varnok {

namespace {

constexpr uint8_t kKeyDownMark = 0x80;

// The application's keyboard state and focus.
class ApplicationInput final : public TInputPlatform {
  public:
    explicit ApplicationInput(platform::Application& app) : app_(app) {}
    bool Foreground() const override { return app_.Active(); }
    bool KeyPressed(int key) const override { return app_.KeyPressed(key); }

  private:
    platform::Application& app_;
};

void SetRow(TKeyAssigns& table, InputState state, int32_t key1, int32_t key2 = 0, int32_t key3 = 0) {
    table[static_cast<size_t>(state)] = {key1, key2, key3};
}

} // namespace

// ---- devices ----

void TCustomInput::SetEnabled(bool value) {
    enabled_ = value;
    if (owner_.Started()) {
        Finalize();
        Initialize();
    }
}

void TCustomInput::Initialize() {
    if (enabled_) initialized_ = true;
}

void TCustomInput::Finalize() {
    initialized_ = false;
    deviceStates_.Clear();
}

bool TCustomInput::BeginRead() {
    deviceStates_.Clear();
    if (!initialized_) return false;
    if (owner_.ActiveOnly && !owner_.Foreground()) return false;
    return true;
}

TKeyboard::TKeyboard(TCustomDXInput& owner) : TCustomInput(owner), Assigns(DefaultAssigns()) {}

TKeyAssigns TKeyboard::DefaultAssigns() {
    TKeyAssigns t{};
    SetRow(t, InputState::Up, 'K', 0x26, 0x68);    // Up arrow, keypad 8
    SetRow(t, InputState::Down, 'J', 0x28, 0x62);  // Down arrow, keypad 2
    SetRow(t, InputState::Left, 'H', 0x25, 0x64);  // Left arrow, keypad 4
    SetRow(t, InputState::Right, 'L', 0x27, 0x66); // Right arrow, keypad 6
    SetRow(t, InputState::Button1, 'Z', 0x20);     // Space
    SetRow(t, InputState::Button2, 'X', 0x0D);     // Enter
    SetRow(t, InputState::Button9, 0x71);          // F2
    return t;
}

TKeyAssigns MainFormKeyAssigns() {
    TKeyAssigns t = TKeyboard::DefaultAssigns();
    SetRow(t, InputState::Button10, platform::VK_LSHIFT);
    SetRow(t, InputState::Button11, platform::VK_RSHIFT);
    SetRow(t, InputState::Button12, platform::VK_LCONTROL);
    SetRow(t, InputState::Button13, platform::VK_RCONTROL);
    SetRow(t, InputState::Button14, 0x5B); // left Windows key
    SetRow(t, InputState::Button15, 0x5C); // right Windows key
    return t;
}

bool TKeyboard::IsKeyDown(int code) const {
    return code >= 1 && code <= 255 && (KeyTable[static_cast<size_t>(code)] & kKeyDownMark) != 0;
}

void TKeyboard::Finalize() {
    TCustomInput::Finalize();
    KeyTable.fill(0);
}

void TKeyboard::ReadDevice() {
    KeyTable.fill(0);
    if (!BeginRead()) return;
    const TInputPlatform* platform = owner_.Platform();
    if (!platform) return;
    for (int v = 1; v < 256; ++v)
        if (platform->KeyPressed(v)) KeyTable[static_cast<size_t>(v)] = kKeyDownMark;
    for (int s = 0; s < kInputStateCount; ++s) {
        for (int32_t code : Assigns[static_cast<size_t>(s)]) {
            if (IsKeyDown(code)) {
                deviceStates_.Include(static_cast<InputState>(s));
                break;
            }
        }
    }
}

std::string TKeyboard::SaveAssigns() const {
    std::string out;
    out.reserve(kKeyAssignsSize);
    for (const auto& row : Assigns) {
        for (int32_t code : row) {
            const auto u = static_cast<uint32_t>(code);
            for (int b = 0; b < 4; ++b)
                out.push_back(static_cast<char>((u >> (8 * b)) & 0xFF));
        }
    }
    return out;
}

void TKeyboard::LoadAssigns(std::string_view data) {
    if (data.size() < kKeyAssignsSize) throw EStreamError(kStreamReadError);
    TKeyAssigns table{};
    size_t pos = 0;
    for (auto& row : table) {
        for (int32_t& code : row) {
            uint32_t u = 0;
            for (int b = 0; b < 4; ++b)
                u |= uint32_t{static_cast<uint8_t>(data[pos++])} << (8 * b);
            code = static_cast<int32_t>(u);
        }
    }
    Assigns = table;
}

void TKeyboard::WriteProperties(TComponentWriter& writer) const {
    writer.WritePropertyName("Assigns");
    writer.WriteBinary(SaveAssigns());
}

bool TKeyboard::ReadProperty(std::string_view name, TComponentReader& reader) {
    // "Aissgns" is a misspelt name that older stored forms carry.
    if (!SameText(name, "Assigns") && !SameText(name, "Aissgns")) return false;
    LoadAssigns(reader.ReadBinary());
    return true;
}

int JoystickAxisPosition(int raw, int minPosition, int maxPosition, int deadZonePercent, int range) {
    if (maxPosition <= minPosition || range <= 0) return 0;
    const int64_t halfSpan = (int64_t{maxPosition} - minPosition) / 2;
    const int64_t dead = int64_t{std::clamp(deadZonePercent, 0, 100)} * halfSpan / 100;
    // Measured from the centre of the span (for a span starting at 0 that is
    // the half span itself).
    const int64_t offset = int64_t{std::clamp(raw, minPosition, maxPosition)} - minPosition - halfSpan;
    if (offset >= -dead && offset <= dead) return 0;
    const int64_t live = halfSpan - dead;
    if (live <= 0) return 0;
    const int64_t value = (offset > 0 ? offset - dead : offset + dead) * range / live;
    // An odd span leaves one position beyond the half span on the high side.
    return static_cast<int>(std::clamp<int64_t>(value, -range, range));
}

void TJoystick::Finalize() {
    TCustomInput::Finalize();
    axes_.fill(0);
    buttons_ = 0;
}

void TJoystick::ReadDevice() {
    axes_.fill(0);
    buttons_ = 0;
    if (!BeginRead()) return;
    platform::JoystickSource* source = owner_.JoystickSource();
    platform::JoystickPosition pos;
    if (!source || !source->ReadPosition(pos)) return;
    for (size_t i = 0; i < axes_.size(); ++i)
        axes_[i] = JoystickAxisPosition(pos.Axes[i], pos.MinPosition, pos.MaxPosition, DeadZone[i], Range[i]);
    buttons_ = pos.Buttons;
    for (int n = 0; n < kInputButtonCount; ++n)
        if (buttons_ & (uint32_t{1} << n)) deviceStates_.Include(ButtonState(n));
    if (X() < 0) deviceStates_.Include(InputState::Left);
    if (X() > 0) deviceStates_.Include(InputState::Right);
    if (Y() < 0) deviceStates_.Include(InputState::Up);
    if (Y() > 0) deviceStates_.Include(InputState::Down);
}

TMouse::TMouse(TCustomDXInput& owner) : TCustomInput(owner) {
    enabled_ = false;
    BindInputStates = false;
}

void TMouse::SetEnabled(bool value) {
    if (value) throw EDXInputError("DirectInput is necessary to use the mouse");
    TCustomInput::SetEnabled(false);
}

void TMouse::ReadDevice() {
    BeginRead();
}

// ---- component ----

TCustomDXInput::TCustomDXInput() : Joystick(*this), Keyboard(*this), Mouse(*this) {
    devices_ = {&Joystick, &Keyboard, &Mouse};
}

TCustomDXInput::~TCustomDXInput() {
    ReleaseDevices();
}

void TCustomDXInput::SetSources(const TInputPlatform* platform, platform::JoystickSource* joystick) {
    platform_ = platform;
    joystickSource_ = joystick;
}

void TCustomDXInput::ReleaseDevices() {
    for (TCustomInput* d : devices_)
        d->Finalize();
}

void TCustomDXInput::SetUseDirectInput(bool value) {
    if (value == useDirectInput_) return;
    useDirectInput_ = value;
    if (started_) Initialize();
}

void TCustomDXInput::Initialize() {
    ReleaseDevices();
    for (TCustomInput* d : devices_)
        d->Initialize();
    started_ = true;
    PollInput();
}

void TCustomDXInput::PollInput() {
    InputStateSet merged;
    for (TCustomInput* d : devices_) {
        d->ReadDevice();
        if (d->BindInputStates) merged += d->DeviceStates();
    }
    for (int i = 0; i < kInputStateCount; ++i) {
        const auto s = static_cast<InputState>(i);
        if (merged.Contains(s) && !PreviousStates.Contains(s))
            CurrentStates.Include(s);
        else if (!merged.Contains(s) && PreviousStates.Contains(s))
            CurrentStates.Exclude(s);
    }
    PreviousStates = merged;
}

TDXInput::TDXInput(platform::Application& app) : ownPlatform_(std::make_unique<ApplicationInput>(app)) {
    // A joystick on the test machine must not steer a scripted run.
    if (!app.Headless()) ownJoystick_ = std::make_unique<platform::Joystick>(Joystick.ID);
    SetSources(ownPlatform_.get(), ownJoystick_.get());
    Keyboard.Assigns = MainFormKeyAssigns();
    Initialize();
}

TDXInput::TDXInput(const TInputPlatform& platform, platform::JoystickSource* joystick) {
    SetSources(&platform, joystick);
    Keyboard.Assigns = MainFormKeyAssigns();
    Initialize();
}

TDXInput::~TDXInput() {
    ReleaseDevices();
}

} // namespace varnok
