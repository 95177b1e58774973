#include "platform/Keys.h"

#include <SDL_keycode.h>
#include <SDL_scancode.h>
#include <gtest/gtest.h>

using namespace varnok;
using platform::VirtualKeyFromName;
using platform::VirtualKeyFromSdl;

TEST(KeyMapping, SdlKeysBecomeVirtualKeys) {
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE), 27);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RETURN, SDL_SCANCODE_RETURN), 13);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LEFT, SDL_SCANCODE_LEFT), 37);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UP, SDL_SCANCODE_UP), 38);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RIGHT, SDL_SCANCODE_RIGHT), 39);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_DOWN, SDL_SCANCODE_DOWN), 40);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_a, SDL_SCANCODE_A), 'A');
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_p, SDL_SCANCODE_P), 'P');
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F1, SDL_SCANCODE_F1), 112);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_F12, SDL_SCANCODE_F12), 123);
    // Modifier keys are keys of their own, left and right alike.
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LSHIFT, SDL_SCANCODE_LSHIFT), 16);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RSHIFT, SDL_SCANCODE_RSHIFT), 16);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_RCTRL, SDL_SCANCODE_RCTRL), 17);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LALT, SDL_SCANCODE_LALT), 18);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN), 0);
}

TEST(KeyMapping, KeypadDigitsIgnoreNumLock) {
    // With Num Lock off SDL may report navigation keycodes for keypad keys;
    // the scancode decides.
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_7, SDL_SCANCODE_KP_7), 103);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_HOME, SDL_SCANCODE_KP_7), 103);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_LEFT, SDL_SCANCODE_KP_4), 100);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_INSERT, SDL_SCANCODE_KP_0), 96);
    EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_9, SDL_SCANCODE_KP_9), 105);
}

TEST(KeyMapping, NamesOfScriptedKeys) {
    EXPECT_EQ(VirtualKeyFromName("Left"), 37);
    EXPECT_EQ(VirtualKeyFromName("ESCAPE"), 27);
    EXPECT_EQ(VirtualKeyFromName("enter"), 13);
    EXPECT_EQ(VirtualKeyFromName("Ctrl"), 17);
    EXPECT_EQ(VirtualKeyFromName("F11"), 122);
    EXPECT_EQ(VirtualKeyFromName("Num7"), 103);
    EXPECT_EQ(VirtualKeyFromName("p"), 'P');
    EXPECT_EQ(VirtualKeyFromName("80"), 80);
    EXPECT_FALSE(VirtualKeyFromName("F13"));
    EXPECT_FALSE(VirtualKeyFromName("F$1"));
    EXPECT_FALSE(VirtualKeyFromName("300"));
    EXPECT_FALSE(VirtualKeyFromName("Jump"));
    EXPECT_FALSE(VirtualKeyFromName(""));
}
