#pragma once
// Joystick positions through the platform: the first attached joystick (or
// the one of a given device number), read as the classic position call
// reports it: each axis from 0 to 65535 with the centre in the middle, and
// the buttons as a bit mask.
#include <array>
#include <cstdint>

namespace varnok::platform {

struct JoystickPosition {
    // X, Y and Z; an axis the device lacks reads centred.
    std::array<int, 3> Axes{};
    int MinPosition = 0;
    int MaxPosition = 65535;
    // Bit n set: button n (0..31) is down.
    uint32_t Buttons = 0;
};

// Where joystick positions come from; tests supply their own.
class JoystickSource {
  public:
    virtual ~JoystickSource() = default;
    // False when no joystick can be read now.
    virtual bool ReadPosition(JoystickPosition& position) = 0;
};

// A joystick through SDL. The device is opened on the first read that finds
// it attached and reopened after it was unplugged and plugged in again.
class Joystick final : public JoystickSource {
  public:
    explicit Joystick(int deviceNumber = 0);
    ~Joystick() override;
    Joystick(const Joystick&) = delete;
    Joystick& operator=(const Joystick&) = delete;

    bool ReadPosition(JoystickPosition& position) override;

  private:
    bool Open();
    void Close();

    int deviceNumber_;
    bool subsystemOk_ = false;
    void* handle_ = nullptr;
    // Device count when opening last failed: no new attempt until it changes.
    int failedAtCount_ = -1;
};

} // namespace varnok::platform
