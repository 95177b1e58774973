// The display-mode rules and the whole-factor scaling of the picture.
#include "platform/DisplayMode.h"

#include <gtest/gtest.h>

using namespace varnok::platform;

namespace {
TModeRequest Request(int bits, bool fixedBits, bool fixedRatio, bool fixedSize) {
    return TModeRequest{640, 480, bits, fixedBits, fixedRatio, fixedSize};
}
} // namespace

TEST(DisplayModeSearch, ExactModeFirstAndOnlyRealDepths) {
    const std::vector<TDisplayMode> modes{{800, 600, 16}, {640, 480, 32}, {640, 480, 16}};
    EXPECT_EQ(FindDisplayMode(modes, Request(16, true, true, true)), (TDisplayMode{640, 480, 16}));
    // The exact mode wins even where the search would prefer another.
    EXPECT_EQ(FindDisplayMode(modes, Request(16, false, false, false)), (TDisplayMode{640, 480, 16}));
    for (int bits : {0, 4, 15, 12, 30, 64, -16})
        EXPECT_FALSE(FindDisplayMode({{640, 480, bits}, {640, 480, 16}}, Request(bits, false, false, false)))
            << bits;
}

TEST(DisplayModeSearch, SizeAndDepthRules) {
    const std::vector<TDisplayMode> modes{{1024, 768, 32}, {800, 600, 32}, {640, 480, 32}, {320, 240, 16}};
    // Fixed size and depth: nothing at 640 x 480 x 16.
    EXPECT_FALSE(FindDisplayMode(modes, Request(16, true, true, true)));
    // Any depth of at least 9 bits serves a request of 16 bits.
    EXPECT_EQ(FindDisplayMode(modes, Request(16, false, true, true)), (TDisplayMode{640, 480, 32}));
    // An 8-bit request takes any deeper mode; a 24-bit one no 8-bit mode.
    EXPECT_EQ(FindDisplayMode(modes, Request(8, false, true, true)), (TDisplayMode{640, 480, 32}));
    EXPECT_FALSE(FindDisplayMode({{640, 480, 8}}, Request(24, false, true, true)));
    EXPECT_EQ(FindDisplayMode({{640, 480, 8}}, Request(8, false, true, true)), (TDisplayMode{640, 480, 8}));
    // Without a fixed size a larger mode qualifies, a smaller one never.
    EXPECT_FALSE(
        FindDisplayMode({{320, 240, 16}, {639, 480, 16}, {640, 479, 16}}, Request(16, true, false, false)));
    EXPECT_EQ(FindDisplayMode({{320, 240, 16}, {1024, 768, 16}}, Request(16, true, false, false)),
              (TDisplayMode{1024, 768, 16}));
}

TEST(DisplayModeSearch, RatioFirstThenAllModes) {
    // 720 x 480 is smaller, but 800 x 600 has the picture's 4:3 ratio.
    const std::vector<TDisplayMode> modes{{1024, 768, 16}, {720, 480, 16}, {800, 600, 16}};
    EXPECT_EQ(FindDisplayMode(modes, Request(16, true, true, false)), (TDisplayMode{800, 600, 16}));
    EXPECT_EQ(FindDisplayMode(modes, Request(16, true, false, false)), (TDisplayMode{720, 480, 16}));
    // No 4:3 mode at all: the search goes on among all modes.
    EXPECT_EQ(FindDisplayMode({{1280, 720, 16}, {854, 480, 16}}, Request(16, true, true, false)),
              (TDisplayMode{854, 480, 16}));
}

TEST(DisplayModeSearch, LaterModeReplacesOnlyWhenNeitherWiderNorHigher) {
    // 900 x 500 is neither wider nor higher than 1000 x 500: it replaces it.
    // 700 x 700 is higher than 900 x 500: kept out, though smaller in area.
    const std::vector<TDisplayMode> modes{{1000, 500, 16}, {900, 500, 16}, {700, 700, 16}};
    EXPECT_EQ(FindDisplayMode(modes, Request(16, true, false, false)), (TDisplayMode{900, 500, 16}));
    // Order matters: the first qualifying mode stands until one fits inside it.
    const std::vector<TDisplayMode> other{{700, 700, 16}, {1000, 500, 16}, {900, 500, 16}};
    EXPECT_EQ(FindDisplayMode(other, Request(16, true, false, false)), (TDisplayMode{700, 700, 16}));
    // An equal size later on replaces too (with a depth that also qualifies).
    EXPECT_EQ(FindDisplayMode({{800, 600, 24}, {800, 600, 32}}, Request(16, false, true, false)),
              (TDisplayMode{800, 600, 32}));
}

TEST(DisplayModeSearch, RequestedDepthPreferredAtTheChosenSize) {
    // 800 x 600 x 32 is chosen first; the display also has 800 x 600 x 16.
    const std::vector<TDisplayMode> modes{{1024, 768, 16}, {800, 600, 32}, {800, 600, 16}};
    EXPECT_EQ(FindDisplayMode(modes, Request(16, false, true, false)), (TDisplayMode{800, 600, 16}));
    // A later deeper mode of the same size would replace a 16-bit choice; the
    // preference puts the requested depth back.
    const std::vector<TDisplayMode> later{{800, 600, 16}, {800, 600, 32}};
    EXPECT_EQ(FindDisplayMode(later, Request(16, false, true, false)), (TDisplayMode{800, 600, 16}));
}

TEST(DisplayModeSearch, FailureTextAndFullScreenModes) {
    EXPECT_EQ(ModeFailureText(Request(12, true, true, true)),
              "Display mode cannot be changed (640x480 12bit)");

    TScreenInfo screen;
    screen.Width = 1920;
    screen.Height = 1080;
    screen.Modes = {{1920, 1080, 32}, {1280, 1024, 32}};
    // The desktop holds the picture: it is offered at every drawing depth,
    // so the default request is met exactly.
    const auto modes = FullScreenModes(screen, 640, 480);
    EXPECT_EQ(FindDisplayMode(modes, Request(16, true, true, true)), (TDisplayMode{640, 480, 16}));
    EXPECT_EQ(FindDisplayMode(modes, Request(8, true, true, true)), (TDisplayMode{640, 480, 8}));
    // A desktop too small for the picture offers only its real modes.
    screen.Width = 600;
    screen.Height = 400;
    screen.Modes = {{600, 400, 32}};
    EXPECT_FALSE(FindDisplayMode(FullScreenModes(screen, 640, 480), Request(16, true, true, true)));
}

TEST(Scaling, LargestWholeFactorCentred) {
    struct Case {
        int w, h, scale, x, y;
    } cases[] = {
        {640, 480, 1, 0, 0},      {1920, 1080, 2, 320, 60},  {1280, 1024, 2, 0, 32},
        {2560, 1440, 3, 320, 0},  {3840, 2160, 4, 640, 120}, {1366, 768, 1, 363, 144},
        {1279, 959, 1, 319, 239},
    };
    for (const Case& c : cases) {
        const TViewport v = FitPicture(c.w, c.h, 640, 480);
        EXPECT_EQ(v.Scale, c.scale) << c.w << "x" << c.h;
        EXPECT_EQ(v.X, c.x) << c.w << "x" << c.h;
        EXPECT_EQ(v.Y, c.y) << c.w << "x" << c.h;
        EXPECT_EQ(v.Width, 640 * c.scale);
        EXPECT_EQ(v.Height, 480 * c.scale);
    }
    // Too small an area: factor 1, centred, edges cut alike.
    const TViewport small = FitPicture(600, 400, 640, 480);
    EXPECT_EQ(small.Scale, 1);
    EXPECT_EQ(small.X, -20);
    EXPECT_EQ(small.Y, -40);
    EXPECT_EQ(FitPicture(639, 480, 640, 480).X, -1);
}

TEST(Scaling, MousePositionsMapBackToPicturePixels) {
    const TViewport v = FitPicture(1920, 1080, 640, 480); // factor 2 at (320, 60)
    int x = 0, y = 0;
    ASSERT_TRUE(AreaToPicture(v, 320, 60, x, y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    ASSERT_TRUE(AreaToPicture(v, 321, 61, x, y)); // same picture pixel
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    ASSERT_TRUE(AreaToPicture(v, 322, 63, x, y));
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 1);
    ASSERT_TRUE(AreaToPicture(v, 1599, 1019, x, y)); // last pixel
    EXPECT_EQ(x, 639);
    EXPECT_EQ(y, 479);
    // The black around the picture is not part of it.
    EXPECT_FALSE(AreaToPicture(v, 319, 500, x, y));
    EXPECT_FALSE(AreaToPicture(v, 1600, 500, x, y));
    EXPECT_FALSE(AreaToPicture(v, 500, 59, x, y));
    EXPECT_FALSE(AreaToPicture(v, 500, 1020, x, y));
    // A cut picture: the window's corner shows picture pixel (20, 40).
    ASSERT_TRUE(AreaToPicture(FitPicture(600, 400, 640, 480), 0, 0, x, y));
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 40);
}

TEST(Scaling, WindowStartsAtTheLargestFactorThatFitsComfortably) {
    const int menu = 19;
    EXPECT_EQ(ComfortableScale(1920, 1080, 640, 480, menu), 2);
    EXPECT_EQ(ComfortableScale(1920, 1040, 640, 480, menu), 2); // a panel takes 40 rows
    EXPECT_EQ(ComfortableScale(1366, 728, 640, 480, menu), 1);
    EXPECT_EQ(ComfortableScale(2560, 1400, 640, 480, menu), 2);
    EXPECT_EQ(ComfortableScale(3840, 2120, 640, 480, menu), 4);
    // 1280 x 979 needs a usable height of 1031 with room to spare.
    EXPECT_EQ(ComfortableScale(1920, 1030, 640, 480, menu), 1);
    EXPECT_EQ(ComfortableScale(1920, 1031, 640, 480, menu), 2);
    EXPECT_EQ(ComfortableScale(800, 600, 640, 480, menu), 1);
    EXPECT_EQ(ComfortableScale(200, 100, 640, 480, menu), 1); // never below 1
}
