#include "media/DXInput.h"

#include "common/ComponentStream.h"
#include "platform/Application.h"
#include "platform/Keys.h"

#include <gtest/gtest.h>

#include <set>

using namespace varnok;

namespace {

class FakePlatform final : public TInputPlatform {
  public:
    bool Foreground() const override { return front; }
    bool KeyPressed(int key) const override { return down.count(key) != 0; }
    bool front = true;
    std::set<int> down;
};

class FakeJoystick final : public platform::JoystickSource {
  public:
    bool ReadPosition(platform::JoystickPosition& p) override {
        if (!attached) return false;
        p = position;
        return true;
    }
    bool attached = true;
    platform::JoystickPosition position{{32768, 32768, 32768}, 0, 65535, 0};
};

class NoEvents final : public platform::EventSink {
  public:
    void KeyDown(int&, int) override {}
    void KeyUp(int&, int) override {}
};

bool Has(const TDXInput& in, InputState s) {
    return in.CurrentStates.Contains(s);
}

} // namespace

TEST(Input, CurrentStatesFollowHeldKeysAndRemovedStatesWaitForANewPress) {
    FakePlatform keys;
    TDXInput input(keys, nullptr);
    EXPECT_TRUE(input.CurrentStates.Empty());

    keys.down = {VK_LEFT};
    input.PollInput();
    EXPECT_EQ(input.CurrentStates, InputStateSet{InputState::Left});
    input.PollInput(); // held: stays
    EXPECT_EQ(input.CurrentStates, InputStateSet{InputState::Left});

    keys.down.clear();
    input.PollInput(); // released: drops
    EXPECT_TRUE(input.CurrentStates.Empty());

    keys.down = {'H'};
    input.PollInput();
    input.CurrentStates.Exclude(InputState::Left); // a consumer takes it
    input.PollInput();
    EXPECT_FALSE(Has(input, InputState::Left)) << "still held: stays off";
    keys.down.clear();
    input.PollInput();
    keys.down = {'H'};
    input.PollInput();
    EXPECT_TRUE(Has(input, InputState::Left)) << "pressed again: back";
}

TEST(Input, TwoKeysOfOneStateAreOneStateAndBothDirectionsCanHold) {
    FakePlatform keys;
    TDXInput input(keys, nullptr);
    keys.down = {'K', VK_UP};
    input.PollInput();
    EXPECT_EQ(input.Keyboard.DeviceStates(), InputStateSet{InputState::Up});
    keys.down.erase('K');
    input.PollInput();
    EXPECT_TRUE(Has(input, InputState::Up)) << "the other key still holds it";
    keys.down.erase(VK_UP);
    input.PollInput();
    EXPECT_FALSE(Has(input, InputState::Up));

    keys.down = {VK_LEFT, VK_RIGHT, VK_NUMPAD2};
    input.PollInput();
    EXPECT_EQ(input.CurrentStates, (InputStateSet{InputState::Left, InputState::Right, InputState::Down}));
}

TEST(Input, CodeZeroAndCodesOutsideTheTableNeverFire) {
    FakePlatform keys;
    TDXInput input(keys, nullptr);
    TKeyboard& kb = input.Keyboard;
    // Codes whose low byte is a held key, and code 0 with a platform that
    // reports it down.
    kb.Assigns[static_cast<size_t>(InputState::Button3)] = {0, 0x100 + 'A', -0xBF};
    kb.Assigns[static_cast<size_t>(InputState::Button4)] = {0x7FFFFFFF, 256, 'A'};
    keys.down = {0, 'A'};
    input.PollInput();
    EXPECT_FALSE(Has(input, InputState::Button3));
    EXPECT_TRUE(Has(input, InputState::Button4)) << "the third key still counts";

    kb.KeyTable.fill(0x80);
    EXPECT_FALSE(kb.IsKeyDown(0));
    EXPECT_FALSE(kb.IsKeyDown(256));
    EXPECT_FALSE(kb.IsKeyDown(-1));
    EXPECT_TRUE(kb.IsKeyDown(255));
    kb.KeyTable[255] = 0x7F; // only bit 7 marks a key down
    EXPECT_FALSE(kb.IsKeyDown(255));
}

TEST(Input, NothingIsReadWhileTheWindowIsNotInFront) {
    FakePlatform keys;
    FakeJoystick joy;
    TDXInput input(keys, &joy);
    keys.down = {VK_LEFT};
    joy.position.Buttons = 1;
    input.PollInput();
    EXPECT_EQ(input.CurrentStates, (InputStateSet{InputState::Left, InputState::Button1}));

    keys.front = false;
    input.PollInput();
    EXPECT_TRUE(input.CurrentStates.Empty());
    EXPECT_FALSE(input.Keyboard.IsKeyDown(VK_LEFT)) << "the key table is cleared too";

    keys.front = true;
    input.PollInput();
    EXPECT_EQ(input.CurrentStates, (InputStateSet{InputState::Left, InputState::Button1}));

    input.ActiveOnly = false;
    keys.front = false;
    input.PollInput();
    EXPECT_TRUE(Has(input, InputState::Left)) << "read in the background when allowed";
}

TEST(Input, AssignmentTables) {
    const TKeyAssigns builtIn = TKeyboard::DefaultAssigns();
    auto row = [](const TKeyAssigns& t, InputState s) { return t[static_cast<size_t>(s)]; };
    using Row = std::array<int32_t, 3>;
    EXPECT_EQ(row(builtIn, InputState::Up), (Row{0x4B, 0x26, 0x68}));
    EXPECT_EQ(row(builtIn, InputState::Down), (Row{0x4A, 0x28, 0x62}));
    EXPECT_EQ(row(builtIn, InputState::Left), (Row{0x48, 0x25, 0x64}));
    EXPECT_EQ(row(builtIn, InputState::Right), (Row{0x4C, 0x27, 0x66}));
    EXPECT_EQ(row(builtIn, InputState::Button1), (Row{0x5A, 0x20, 0}));
    EXPECT_EQ(row(builtIn, InputState::Button2), (Row{0x58, 0x0D, 0}));
    EXPECT_EQ(row(builtIn, InputState::Button9), (Row{0x71, 0, 0}));
    EXPECT_EQ(row(builtIn, InputState::Button10), (Row{0, 0, 0}));

    const TKeyAssigns stored = MainFormKeyAssigns();
    const int32_t extra[] = {0xA0, 0xA1, 0xA2, 0xA3, 0x5B, 0x5C};
    for (int i = 0; i < kInputStateCount; ++i) {
        const auto s = static_cast<InputState>(i);
        if (s >= InputState::Button10 && s <= InputState::Button15)
            EXPECT_EQ(row(stored, s), (Row{extra[i - static_cast<int>(InputState::Button10)], 0, 0}));
        else
            EXPECT_EQ(row(stored, s), row(builtIn, s)) << "state " << i;
    }
    for (int b = 3; b <= 8; ++b)
        EXPECT_EQ(row(stored, ButtonState(b - 1)), (Row{0, 0, 0}));
    for (int b = 16; b <= 32; ++b)
        EXPECT_EQ(row(stored, ButtonState(b - 1)), (Row{0, 0, 0}));

    FakePlatform keys;
    TDXInput input(keys, nullptr);
    EXPECT_EQ(input.Keyboard.Assigns, stored);
}

TEST(Input, StoredTableRoundTripsAndAcceptsTheOldName) {
    FakePlatform keys;
    TDXInput a(keys, nullptr), b(keys, nullptr);
    const std::string bytes = a.Keyboard.SaveAssigns();
    ASSERT_EQ(bytes.size(), kKeyAssignsSize);
    EXPECT_EQ(bytes.substr(0, 12), std::string("\x4B\0\0\0\x26\0\0\0\x68\0\0\0", 12));

    a.Keyboard.Assigns[35] = {-2, 0x12345678, 7};
    TComponentWriter w;
    a.Keyboard.WriteProperties(w);
    {
        TComponentReader r(w.Data());
        EXPECT_EQ(r.ReadShortString(), "Assigns");
        ASSERT_TRUE(b.Keyboard.ReadProperty("Assigns", r));
        EXPECT_EQ(r.Remaining(), 0u);
    }
    EXPECT_EQ(b.Keyboard.Assigns, a.Keyboard.Assigns);

    TComponentWriter old;
    old.WritePropertyName("Aissgns");
    TKeyboard& kb = b.Keyboard;
    kb.Assigns = MainFormKeyAssigns();
    old.WriteBinary(a.Keyboard.SaveAssigns() + "tail"); // bytes beyond the table are not read
    TComponentReader r(old.Data());
    const std::string name = r.ReadShortString();
    EXPECT_FALSE(kb.ReadProperty("Keys", r));
    ASSERT_TRUE(kb.ReadProperty(name, r));
    EXPECT_EQ(kb.Assigns, a.Keyboard.Assigns);

    // A short table is a read error and changes nothing.
    try {
        kb.LoadAssigns(std::string(431, '\0'));
        FAIL() << "no error";
    } catch (const EStreamError& e) {
        EXPECT_STREQ(e.what(), kStreamReadError);
    }
    EXPECT_EQ(kb.Assigns, a.Keyboard.Assigns);
}

TEST(Input, JoystickAxisDeadZoneAndRange) {
    // The position call's span 0..65535: half span 32767, dead zone 16383.
    EXPECT_EQ(JoystickAxisPosition(32768, 0, 65535, 50, 1000), 0);
    EXPECT_EQ(JoystickAxisPosition(32767 + 16383, 0, 65535, 50, 1000), 0);
    EXPECT_EQ(JoystickAxisPosition(32767 + 16400, 0, 65535, 50, 1000), 1);
    EXPECT_EQ(JoystickAxisPosition(57343, 0, 65535, 50, 1000), 500);
    EXPECT_EQ(JoystickAxisPosition(8192, 0, 65535, 50, 1000), -500);
    EXPECT_EQ(JoystickAxisPosition(0, 0, 65535, 50, 1000), -1000);
    EXPECT_EQ(JoystickAxisPosition(65535, 0, 65535, 50, 1000), 1000);
    EXPECT_EQ(JoystickAxisPosition(65535, 0, 65535, 0, 1000), 1000) << "never beyond the range";
    // A span that does not start at 0 is measured from its own centre.
    EXPECT_EQ(JoystickAxisPosition(0, -100, 100, 50, 1000), 0);
    EXPECT_EQ(JoystickAxisPosition(-75, -100, 100, 50, 1000), -500);
    // Degenerate spans and dead zones read centred instead of dividing by 0.
    EXPECT_EQ(JoystickAxisPosition(5, 5, 5, 50, 1000), 0);
    EXPECT_EQ(JoystickAxisPosition(65535, 0, 65535, 100, 1000), 0);
}

TEST(Input, JoystickStates) {
    FakePlatform keys;
    FakeJoystick joy;
    TDXInput input(keys, &joy);
    joy.position.Axes = {0, 65535, 65535};
    joy.position.Buttons = (1u << 0) | (1u << 31);
    input.PollInput();
    EXPECT_EQ(input.Joystick.X(), -1000);
    EXPECT_EQ(input.Joystick.Y(), 1000);
    EXPECT_EQ(input.CurrentStates,
              (InputStateSet{InputState::Left, InputState::Down, InputState::Button1, InputState::Button32}));

    joy.position.Axes = {65535, 40000, 0}; // Y inside the dead zone
    joy.position.Buttons = 0;
    input.PollInput();
    EXPECT_EQ(input.CurrentStates, InputStateSet{InputState::Right});
    joy.position.Axes = {32768, 0, 32768};
    input.PollInput();
    EXPECT_EQ(input.CurrentStates, InputStateSet{InputState::Up});

    joy.attached = false;
    input.PollInput();
    EXPECT_TRUE(input.CurrentStates.Empty());
    EXPECT_EQ(input.Joystick.Y(), 0);
}

TEST(Input, EnablingDevices) {
    FakePlatform keys;
    TDXInput input(keys, nullptr);
    EXPECT_FALSE(input.Mouse.Enabled());
    EXPECT_FALSE(input.Mouse.BindInputStates);
    try {
        input.Mouse.SetEnabled(true);
        FAIL() << "no error";
    } catch (const EDXInputError& e) {
        EXPECT_STREQ(e.what(), "DirectInput is necessary to use the mouse");
    }
    EXPECT_FALSE(input.Mouse.Enabled());

    keys.down = {VK_DOWN};
    input.Keyboard.SetEnabled(false);
    input.PollInput();
    EXPECT_TRUE(input.CurrentStates.Empty());
    input.Keyboard.SetEnabled(true);
    input.PollInput();
    EXPECT_TRUE(Has(input, InputState::Down));
}

TEST(Input, SideSpecificShiftAndCtrlFromTheApplication) {
    // SDL's scancodes are the USB usage numbers: left Ctrl 224, left Shift
    // 225, left Alt 226, right Ctrl 228, right Shift 229, A 4.
    EXPECT_EQ(platform::SideModifierFromSdl(225), 0xA0);
    EXPECT_EQ(platform::SideModifierFromSdl(229), 0xA1);
    EXPECT_EQ(platform::SideModifierFromSdl(224), 0xA2);
    EXPECT_EQ(platform::SideModifierFromSdl(228), 0xA3);
    EXPECT_EQ(platform::SideModifierFromSdl(226), 0);
    EXPECT_EQ(platform::SideModifierFromSdl(4), 0);

    platform::Application app(true);
    NoEvents sink;
    TDXInput input(app);
    app.InjectKey(sink, VK_SHIFT, true);
    app.InjectKey(sink, VK_RIGHT, true);
    input.PollInput();
    EXPECT_EQ(input.CurrentStates, (InputStateSet{InputState::Right, InputState::Button10}));
    EXPECT_EQ(app.ShiftState(), ssShift) << "the common code is held as well";

    app.InjectKey(sink, VK_SHIFT, false);
    app.InjectKey(sink, VK_CONTROL, true);
    input.PollInput();
    EXPECT_EQ(input.CurrentStates, (InputStateSet{InputState::Right, InputState::Button12}));
    app.InjectKey(sink, VK_CONTROL, false);
    app.InjectKey(sink, VK_RIGHT, false);
    input.PollInput();
    EXPECT_TRUE(input.CurrentStates.Empty());
}
