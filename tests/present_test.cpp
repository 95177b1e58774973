// Presenting frames: the row conversion, and the real window's software
// path on SDL's offscreen "dummy" display: scaling by whole factors, centring
// on black, sending only what changed, and mapping mouse positions back.
#include "platform/Application.h"
#include "platform/Keys.h"
#include "platform/MenuBar.h"
#include "platform/PixelRows.h"
#include "platform/Surface.h"
#include "platform/Window.h"

#include <SDL_events.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <imgui.h>
#include <random>

using namespace varnok;
using namespace varnok::platform;

TEST(PixelRows, ChannelsWidenToTheFullRange) {
    EXPECT_EQ(Rgb565To8888(0x0000, 0), 0x000000u);
    EXPECT_EQ(Rgb565To8888(0xFFFF, 0), 0xFFFFFFu);
    EXPECT_EQ(Rgb565To8888(0xF800, 0), 0xFF0000u);
    EXPECT_EQ(Rgb565To8888(0x07E0, 0), 0x00FF00u);
    EXPECT_EQ(Rgb565To8888(0x001F, 0xFF000000u), 0xFF0000FFu);
    EXPECT_EQ(Rgb565To8888(0x8410, 0), 0x848284u); // 16, 32, 16 of 31, 63, 31
}

TEST(PixelRows, VectorAndPlainConversionAgreeForEveryLengthAndScale) {
    std::mt19937 random(7);
    std::vector<uint16_t> in(45);
    for (auto& p : in)
        p = static_cast<uint16_t>(random());
    for (int scale = 1; scale <= 4; ++scale)
        for (int count = 0; count <= 45; ++count) {
            std::vector<uint32_t> a(static_cast<size_t>(count * scale + 1), 7), b = a;
            ExpandRow565To8888(in.data(), count, a.data(), scale, 0xFF000000u);
            ExpandRow565To8888Plain(in.data(), count, b.data(), scale, 0xFF000000u);
            ASSERT_EQ(a, b) << count << " x" << scale;
            EXPECT_EQ(a.back(), 7u); // nothing written past the end
            if (count > 0) {
                EXPECT_EQ(a[static_cast<size_t>(scale - 1)], Rgb565To8888(in[0], 0xFF000000u));
            }
        }
}

TEST(PixelRows, OnlyChangedGroupsAreConvertedIntoEveryRow) {
    const int count = 40, scale = 2, pitch = 100;
    std::vector<uint16_t> row(count, 0x001F), shadow(row);
    std::vector<uint32_t> out(static_cast<size_t>(pitch * 2), 0xDEADu);
    // Equal to what was shown: nothing to do.
    EXPECT_FALSE(UpdateRow565To8888(row.data(), shadow.data(), count, out.data(), pitch, 2, scale, 0, false));
    EXPECT_EQ(out[0], 0xDEADu);

    // Pixel 20 changes: its group of 8 (pixels 16-23) is converted, in both rows.
    row[20] = 0xF800;
    EXPECT_TRUE(UpdateRow565To8888(row.data(), shadow.data(), count, out.data(), pitch, 2, scale, 0, false));
    EXPECT_EQ(shadow, row);
    for (int r = 0; r < 2; ++r)
        for (int x = 0; x < count * scale; ++x) {
            const uint32_t got = out[static_cast<size_t>(r * pitch + x)];
            const uint32_t want = x / scale < 16 || x / scale >= 24 ? 0xDEADu
                                  : x / scale == 20                 ? 0xFF0000u
                                                                    : 0x0000FFu;
            EXPECT_EQ(got, want) << r << "," << x;
        }
    // The last pixels after the whole groups of 16 (32-39) count too; force
    // converts all.
    row[39] = 0x07E0;
    EXPECT_TRUE(UpdateRow565To8888(row.data(), shadow.data(), count, out.data(), pitch, 1, scale, 0, false));
    EXPECT_EQ(out[79], 0x00FF00u);
    EXPECT_EQ(out[0], 0xDEADu);
    EXPECT_TRUE(UpdateRow565To8888(row.data(), shadow.data(), count, out.data(), pitch, 1, scale, 0, true));
    EXPECT_EQ(out[0], 0x0000FFu);
}

// Random rows with scattered changes, at every scale the window may use and
// beyond, for lengths that are and are not whole groups: each group of 8
// pixels that changed is written, scaled, into every row, nothing else is
// touched, and the shadow ends equal to the row.
TEST(PixelRows, ScatteredChangesReachEveryRowAtEveryScale) {
    std::mt19937 random(11);
    for (int scale = 1; scale <= 18; scale += scale < 5 ? 1 : 13)
        for (int count : {1, 7, 8, 15, 16, 17, 40, 63, 64, 100, 640}) {
            const int rows = 1 + static_cast<int>(random() % 3);
            const int pitch = count * scale + 5;
            std::vector<uint16_t> shown(static_cast<size_t>(count));
            for (auto& p : shown)
                p = static_cast<uint16_t>(random());
            std::vector<uint16_t> row = shown, shadow = shown;
            for (int i = 0; i < count; ++i)
                if (random() % (count > 100 ? 61 : 9) == 0) // a long row: whole stretches alike
                    row[static_cast<size_t>(i)] ^= static_cast<uint16_t>(1 + random() % 0xFFFF);
            std::vector<uint32_t> out(static_cast<size_t>(pitch * rows), 0xDEADu);
            const bool any = UpdateRow565To8888(row.data(), shadow.data(), count, out.data(), pitch, rows,
                                                scale, 0, false);
            ASSERT_EQ(shadow, row);
            bool changed = false;
            for (int g = 0; g < count; g += 8) {
                const int end = std::min(count, g + 8);
                const bool differs = !std::equal(row.begin() + g, row.begin() + end, shown.begin() + g);
                changed |= differs;
                for (int r = 0; r < rows; ++r)
                    for (int x = g * scale; x < end * scale; ++x)
                        ASSERT_EQ(out[static_cast<size_t>(r * pitch + x)],
                                  differs ? Rgb565To8888(row[static_cast<size_t>(x / scale)], 0) : 0xDEADu)
                            << "scale " << scale << ", count " << count << ", row " << r << ", x " << x;
            }
            EXPECT_EQ(any, changed);
            for (int r = 0; r < rows; ++r)
                for (int x = count * scale; x < pitch; ++x)
                    ASSERT_EQ(out[static_cast<size_t>(r * pitch + x)], 0xDEADu); // past the row's end
        }
}

// Changes gathered by bands of rows: runs of changed groups of eight pixels,
// joined across small gaps, with the last group cut at a width that is not a
// multiple of eight.
TEST(PixelRows, ChangedAreasAreBandsOfJoinedRuns) {
    ChangedAreas areas(70, 20, 8, 2);
    areas.Row(0)[0] = 1;
    areas.Row(5)[3] = 1; // two groups after the first run: joined
    areas.Row(9)[4] = 1;
    areas.Row(15)[8] = 1; // three groups after: a run of its own
    areas.Row(19)[0] = 1; // the last band has four rows
    EXPECT_EQ(areas.Rects(), (std::vector<Rect>{{0, 0, 32, 8}, {32, 8, 40, 16}, {64, 8, 70, 16}, {0, 16, 8, 20}}));
    areas.Clear();
    EXPECT_TRUE(areas.Rects().empty());

    // Wide bands are passed eight empty groups at a time: changes just past
    // such a stretch, in the short last stretch and in the very last group
    // are all found, into a buffer used again.
    ChangedAreas wide(200, 8, 8, 0); // 25 groups, the last one whole
    wide.Row(0)[8] = 1;
    wide.Row(0)[17] = 1;
    wide.Row(0)[24] = 1;
    std::vector<Rect> rects{{1, 2, 3, 4}};
    wide.Rects(rects);
    EXPECT_EQ(rects, (std::vector<Rect>{{64, 0, 72, 8}, {136, 0, 144, 8}, {192, 0, 200, 8}}));
    wide.Clear();
    wide.Row(7)[7] = 1;
    wide.Rects(rects);
    EXPECT_EQ(rects, (std::vector<Rect>{{56, 0, 64, 8}}));

    // The row conversion flags exactly the groups it converted, the short
    // last one included, at every scale (vector and plain code).
    for (int scale = 1; scale <= 3; ++scale) {
        std::vector<uint16_t> row(70, 0x1234), shadow(row);
        std::vector<uint32_t> out(70 * 3);
        row[3] = row[40] = row[69] = 0xFFFF;
        std::vector<uint8_t> groups(9, 0);
        ASSERT_TRUE(UpdateRow565To8888(row.data(), shadow.data(), 70, out.data(), 70 * 3, 1, scale, 0, false,
                                       groups.data()));
        EXPECT_EQ(groups, (std::vector<uint8_t>{1, 0, 0, 0, 0, 1, 0, 0, 1})) << "scale " << scale;
        std::fill(groups.begin(), groups.end(), 0);
        EXPECT_FALSE(UpdateRow565To8888(row.data(), shadow.data(), 70, out.data(), 70 * 3, 1, scale, 0, false,
                                        groups.data()));
        EXPECT_EQ(std::count(groups.begin(), groups.end(), 1), 0);
    }
}

namespace {

// Whether this run has an X display to show the window on: the test list
// runs these tests a second time on a virtual one, where the display server
// scales the picture.
bool OnX11() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return driver && std::strcmp(driver, "x11") == 0 && std::getenv("DISPLAY");
}

// Whether this run has a Wayland compositor to show the window on (the
// desktop test runs these tests on one), where SDL keeps the framebuffer.
bool OnWayland() {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return driver && std::strcmp(driver, "wayland") == 0 && std::getenv("WAYLAND_DISPLAY");
}

struct NoSink final : EventSink {
    void KeyDown(int&, int) override {}
    void KeyUp(int&, int) override {}
};

// The window on SDL's dummy display (1024 x 768), presenting in software, or
// the real window on an X display.
struct PresentTest : ::testing::Test {
    // The display server's enlarging unless the run asks for another path.
    PresentTest() { setenv("VARNOK_PRESENT", "software", 0); }
    Application app{!OnX11() && !OnWayland()}; // SDL's dummy video driver unless on a display
    std::unique_ptr<Window> window = std::make_unique<Window>("test", 64, 48);

    // A picture whose every pixel has its own colour.
    static std::unique_ptr<Surface> Pattern(int bits) {
        RgbaImage image(64, 48);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                uint8_t* p = image.At(x, y);
                p[0] = static_cast<uint8_t>(x * 4);
                p[1] = static_cast<uint8_t>(y * 5);
                p[2] = static_cast<uint8_t>(200 - x);
                p[3] = 255;
            }
        return Surface::FromImage(image, bits);
    }
    // Checks that the window shows the surface's pixels k times enlarged at
    // the viewport and black around it.
    void ExpectShows(const Surface& back) {
        const TViewport v = window->Viewport();
        const RgbaImage shown = window->Capture();
        const RgbaImage picture = back.ToImage();
        ASSERT_GT(shown.Width, 0);
        for (int y = 0; y < 48; y += 7)
            for (int x = 0; x < 64; x += 5)
                for (int dy : {0, v.Scale - 1})
                    for (int dx : {0, v.Scale - 1}) {
                        const uint8_t* got = shown.At(v.X + x * v.Scale + dx, v.Y + y * v.Scale + dy);
                        const uint8_t* want = picture.At(x, y);
                        // Channels widened from 5 or 6 bits may round one step apart.
                        for (int c = 0; c < 3; ++c)
                            ASSERT_NEAR(got[c], want[c], 1) << x << "," << y << " scale " << v.Scale;
                    }
        if (v.X > 0) {
            const uint8_t* left = shown.At(v.X - 1, v.Y + 5);
            EXPECT_EQ(left[0] + left[1] + left[2], 0);
        }
        if (v.Y + v.Height < shown.Height) {
            const uint8_t* below = shown.At(v.X + 5, v.Y + v.Height);
            EXPECT_EQ(below[0] + below[1] + below[2], 0);
        }
    }
};

} // namespace

TEST_F(PresentTest, PictureIsScaledByWholeFactorsCentredAndUpdated) {
    ASSERT_TRUE(window->SoftwarePresent());
    // The window starts at the largest factor that fits comfortably.
    const TScreenInfo screen = window->Screen();
    EXPECT_EQ(window->Scale(),
              ComfortableScale(screen.UsableWidth, screen.UsableHeight, 64, 48, window->GameTop()));

    auto back = Pattern(16);
    window->Present(*back);
    ExpectShows(*back);

    // One pixel changes: the next frame shows it.
    back->SetPixel(30, 20, back->ColorMatch(RGB(255, 255, 255)));
    window->Present(*back);
    ExpectShows(*back);
    const TViewport v = window->Viewport();
    const RgbaImage shown = window->Capture();
    const uint8_t* changed = shown.At(v.X + 30 * v.Scale, v.Y + 20 * v.Scale);
    EXPECT_EQ(changed[0] + changed[1] + changed[2], 3 * 255);

    // Another size: factor 3 in a 200-wide game area, centred on black.
    window->SetClientSize(200, window->GameTop() + 151);
    window->Present(*back);
    EXPECT_EQ(window->Scale(), 3);
    EXPECT_EQ(window->Viewport().X, 4);
    EXPECT_EQ(window->Viewport().Y, window->GameTop() + 3);
    ExpectShows(*back);

    // Mouse positions map back to picture pixels; the black is not the game's.
    int x = 4, y = window->GameTop() + 3;
    ASSERT_TRUE(window->ToGameArea(x, y));
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    x = 4 + 3 * 10 + 2;
    y = window->GameTop() + 3 + 3 * 5;
    ASSERT_TRUE(window->ToGameArea(x, y));
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 5);
    x = 3;
    y = 40;
    EXPECT_FALSE(window->ToGameArea(x, y));
    x = 20;
    y = window->GameTop() + 1;
    EXPECT_FALSE(window->ToGameArea(x, y));
}

// A frame nothing wrote since the last one is not compared again; another
// back surface is, whatever its count of writes, and so is a written one.
TEST_F(PresentTest, UnwrittenFramesStandAndNewOrWrittenOnesShow) {
    auto first = Pattern(16);
    window->Present(*first);
    ExpectShows(*first);
    window->Present(*first);
    ExpectShows(*first);
    RgbaImage white(64, 48);
    std::fill(white.Pixels.begin(), white.Pixels.end(), uint8_t{255});
    auto second = Surface::FromImage(white, 16);
    ASSERT_EQ(second->Writes(), first->Writes());
    window->Present(*second);
    ExpectShows(*second);
    second->SetPixel(5, 5, second->ColorMatch(RGB(0, 0, 255)));
    window->Present(*second);
    ExpectShows(*second);
    const TViewport v = window->Viewport();
    EXPECT_EQ(window->Capture().At(v.X + 5 * v.Scale, v.Y + 5 * v.Scale)[2], 255);
    EXPECT_EQ(window->Capture().At(v.X + 5 * v.Scale, v.Y + 5 * v.Scale)[0], 0);
}

// With the menu bar drawn above the game area, the rows next to it show the
// picture exactly, every pixel of them: nothing of the bar reaches into the
// game area, at scale 1 and 2, when the picture changes and when it does not.
TEST_F(PresentTest, RowsNextToTheMenuBarShowThePicture) {
    MenuBar bar;
    bar.Add("Game1", "&Game").Add("Start1", "&Start");
    bar.Add("Info1", "&Info").Add("About1", "&About");
    window->SetMenuBar(&bar);
    auto back = Pattern(16);
    for (int scale : {1, 2}) {
        window->SetClientSize(64 * scale, window->GameTop() + 48 * scale);
        for (int frame = 0; frame < 4; ++frame) {
            // The first rows change in some frames and stay in others.
            if (frame % 2) back->SetPixel(frame, 0, back->ColorMatch(RGB(255, 255, 255)));
            window->Present(*back);
            const TViewport v = window->Viewport();
            ASSERT_EQ(v.Scale, scale);
            ASSERT_EQ(v.Y, window->GameTop());
            const RgbaImage shown = window->Capture();
            const RgbaImage picture = back->ToImage();
            ASSERT_GE(shown.Height, v.Y + 3 * scale);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 64; ++x)
                    for (int dy = 0; dy < scale; ++dy)
                        for (int dx = 0; dx < scale; ++dx) {
                            const uint8_t* got = shown.At(v.X + x * scale + dx, v.Y + y * scale + dy);
                            const uint8_t* want = picture.At(x, y);
                            for (int c = 0; c < 3; ++c)
                                ASSERT_NEAR(got[c], want[c], 1)
                                    << "picture " << x << "," << y << " window row " << v.Y + y * scale + dy
                                    << ", scale " << scale << ", frame " << frame;
                        }
        }
    }
}

// On an X display, what the server shows of the window after frames that
// change a few scattered pixels (only the changed parts are sent) is the
// picture, every pixel of it, whichever way the picture is enlarged.
TEST_F(PresentTest, ScatteredChangesReachTheDisplayServer) {
    if (!OnX11()) GTEST_SKIP() << "no X display";
    const auto reader = XScaler::Create(window->NativeHandle(), 64, 48);
    ASSERT_NE(reader, nullptr);
    window->SetClientSize(128, window->GameTop() + 96);
    auto back = Pattern(16);
    std::mt19937 random(7);
    for (int frame = 0; frame < 6; ++frame) {
        // A few pixels anywhere, the picture's corners and last column too.
        for (int i = 0; i < 12; ++i)
            back->SetPixel(static_cast<int>(random() % 64), static_cast<int>(random() % 48),
                           back->ColorMatch(RGB(255, frame * 40, 0)));
        back->SetPixel(63, frame * 9, back->ColorMatch(RGB(0, 255, frame * 40)));
        back->SetPixel(0, 47, back->ColorMatch(RGB(frame * 40, 0, 255)));
        window->Present(*back);
        const TViewport v = window->Viewport();
        ASSERT_EQ(v.Scale, 2);
        const std::vector<uint32_t> shown = reader->Read(v.X, v.Y, v.Width, v.Height);
        ASSERT_EQ(shown.size(), static_cast<size_t>(v.Width) * v.Height);
        const RgbaImage picture = back->ToImage();
        for (int y = 0; y < v.Height; ++y)
            for (int x = 0; x < v.Width; ++x) {
                const uint32_t got = shown[static_cast<size_t>(y) * v.Width + x];
                const uint8_t* want = picture.At(x / 2, y / 2);
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(static_cast<int>((got >> (16 - 8 * c)) & 0xFF), want[c], 1)
                        << "window pixel " << x << "," << y << " frame " << frame;
            }
    }
}

TEST_F(PresentTest, TheDisplayServerScalesWhereItCan) {
    if (!OnX11()) GTEST_SKIP() << "no X display";
    EXPECT_TRUE(window->ServerScales());
    // Frames keep coming the server's way, changes and all.
    auto back = Pattern(16);
    for (int i = 0; i < 3; ++i) {
        back->SetPixel(10 + i, 10, back->ColorMatch(RGB(255, 255, 255)));
        window->Present(*back);
        ExpectShows(*back);
    }
    EXPECT_TRUE(window->ServerScales());
}

// On an X display without a GPU the game by default writes the enlarged
// picture into memory it shares with the server, which copies the changed
// parts; "framebuffer" keeps SDL's own framebuffer.
TEST(PresentPaths, TheDefaultOnAnXDisplaySharesThePictureWithTheServer) {
    if (!OnX11()) GTEST_SKIP() << "no X display";
    // The run's own choice comes back however the test ends.
    struct RestoreChoice {
        const char* was = std::getenv("VARNOK_PRESENT");
        std::string saved = was ? was : "";
        ~RestoreChoice() {
            if (was)
                setenv("VARNOK_PRESENT", saved.c_str(), 1);
            else
                unsetenv("VARNOK_PRESENT");
        }
    } restore;
    for (const char* how : {"", "shared", "framebuffer"}) {
        if (*how)
            setenv("VARNOK_PRESENT", how, 1);
        else
            unsetenv("VARNOK_PRESENT");
        Application app{false};
        Window window("test", 64, 48);
        window.SetClientSize(128, window.GameTop() + 96);
        auto back = PresentTest::Pattern(16);
        // The first frame after a new size goes through SDL; the next ones
        // the shared way, a changed pixel too.
        for (int frame = 0; frame < 3; ++frame) {
            back->SetPixel(40, 30 + frame, back->ColorMatch(RGB(255, 255, 255)));
            window.Present(*back);
        }
        EXPECT_EQ(window.SharesPicture(), std::string(how) != "framebuffer") << how;
        EXPECT_FALSE(window.ServerScales());
        const TViewport v = window.Viewport();
        const RgbaImage shown = window.Capture();
        const RgbaImage picture = back->ToImage();
        ASSERT_EQ(v.Scale, 2);
        ASSERT_GE(shown.Height, v.Y + v.Height) << how;
        for (int y = 0; y < v.Height; ++y)
            for (int x = 0; x < v.Width; ++x)
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(shown.At(v.X + x, v.Y + y)[c], picture.At(x / 2, y / 2)[c], 1)
                        << how << " window pixel " << x << "," << y;
    }
}

TEST_F(PresentTest, PalettedFramesAndFullScreen) {
    auto back = Pattern(8);
    window->Present(*back);
    ExpectShows(*back);

    // Full screen on the desktop's own mode, without menu bar (a virtual X
    // display has no window manager to make a window full screen).
    if (!OnX11()) {
        window->SetMenuVisible(false);
        window->SetFullScreen(true);
        auto deep = Pattern(32);
        window->Present(*deep);
        const int full = std::min(window->Screen().Width / 64, window->Screen().Height / 48);
        // A compositor gives the window its new size in its own time.
        for (int i = 0; i < 250 && window->Viewport().Scale != full; ++i) {
            NoSink sink;
            app.ProcessMessages(sink);
            app.WaitMessage(20);
            window->Present(*deep);
        }
        EXPECT_EQ(window->GameTop(), 0);
        const TViewport v = window->Viewport();
        EXPECT_EQ(v.Scale, full);
        ExpectShows(*deep);
        window->SetFullScreen(false);
        window->SetMenuVisible(true);
    } else {
        auto deep = Pattern(32);
        window->Present(*deep);
        ExpectShows(*deep);
    }

    // The 16-bit path again.
    auto plain = Pattern(16);
    window->Present(*plain);
    ExpectShows(*plain);
}

TEST_F(PresentTest, ToolWindowsStayOverThePictureWhileItChangesAround) {
    auto back = Pattern(16);
    window->Present(*back);
    const TViewport v = window->Viewport();
    // A tool window over the picture's upper left part.
    const int wx = v.X + 4 * v.Scale, wy = v.Y + 4 * v.Scale;
    window->SetToolDrawer([&] {
        ImGui::SetNextWindowPos(ImVec2(static_cast<float>(wx), static_cast<float>(wy)));
        ImGui::SetNextWindowSize(ImVec2(static_cast<float>(20 * v.Scale), static_cast<float>(10 * v.Scale)));
        ImGui::Begin("Tool", nullptr, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoDecoration);
        ImGui::End();
    });
    window->Present(*back);
    const RgbaImage first = window->Capture();
    const uint8_t* tool = first.At(wx + 5 * v.Scale, wy + 5 * v.Scale);
    const std::vector<int> toolColour(tool, tool + 3);

    // The whole picture turns white: around the tool window it shows at
    // once, under it the tool window stays.
    back->Fill(back->ColorMatch(RGB(255, 255, 255)));
    window->Present(*back);
    window->Present(*back);
    const RgbaImage second = window->Capture();
    const uint8_t* under = second.At(wx + 5 * v.Scale, wy + 5 * v.Scale);
    EXPECT_EQ(std::vector<int>(under, under + 3), toolColour);
    const uint8_t* beside = second.At(wx + 30 * v.Scale, wy + 5 * v.Scale);
    EXPECT_EQ(beside[0] + beside[1] + beside[2], 3 * 255);

    // Two pixels change, one beside the tool window and one under it: only
    // the one beside shows.
    back->SetPixel(40, 8, back->ColorMatch(RGB(255, 0, 0)));
    back->SetPixel(9, 9, back->ColorMatch(RGB(255, 0, 0)));
    window->Present(*back);
    window->Present(*back);
    const RgbaImage small = window->Capture();
    const uint8_t* red = small.At(v.X + 40 * v.Scale, v.Y + 8 * v.Scale);
    EXPECT_EQ(std::vector<int>(red, red + 3), (std::vector<int>{255, 0, 0}));
    const uint8_t* stays = small.At(wx + 5 * v.Scale, wy + 5 * v.Scale);
    EXPECT_EQ(std::vector<int>(stays, stays + 3), toolColour);

    // The tool window closes: the picture under it comes back, the pixel
    // changed under it too.
    window->SetToolDrawer(nullptr);
    window->Present(*back);
    window->Present(*back);
    const RgbaImage third = window->Capture();
    const uint8_t* freed = third.At(wx + 5 * v.Scale, wy + 5 * v.Scale);
    EXPECT_EQ(std::vector<int>(freed, freed + 3), (std::vector<int>{255, 0, 0}));
    const uint8_t* white = third.At(wx + 8 * v.Scale, wy + 3 * v.Scale);
    EXPECT_EQ(white[0] + white[1] + white[2], 3 * 255);
}

namespace {
// Writes down the keys the application delivers.
struct KeyLog final : EventSink {
    void KeyDown(int& key, int) override { Events.push_back("+" + std::to_string(key)); }
    void KeyUp(int& key, int) override { Events.push_back("-" + std::to_string(key)); }
    std::vector<std::string> Events;
};

void PushKey(SDL_Keycode sym, SDL_Scancode scancode, bool down, uint32_t windowId) {
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.windowID = windowId;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = scancode;
    SDL_PushEvent(&e);
}
} // namespace

// While a tool window takes the keyboard (a text field being edited) the game
// hears no keys, but it still hears the release of a key it heard go down:
// a Ctrl let go over the internals editor does not leave the player jumping.
TEST(WindowKeys, ToolWindowTakingTheKeyboardStillPassesReleases) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("VARNOK_PRESENT", "software", 1);
    Application app{false};
    Window* window = app.CreateMainWindow("test", 64, 48);
    ASSERT_NE(window, nullptr);
    KeyLog log;
    PushKey(SDLK_LCTRL, SDL_SCANCODE_LCTRL, true, window->Id());
    app.ProcessMessages(log);
    ASSERT_EQ(log.Events, std::vector<std::string>{"+17"});
    EXPECT_TRUE(app.KeyPressed(VK_CONTROL));

    char text[32] = "";
    window->SetToolDrawer([&] {
        ImGui::Begin("Editor");
        if (!ImGui::IsAnyItemActive()) ImGui::SetKeyboardFocusHere();
        ImGui::InputText("Value", text, sizeof text);
        ImGui::End();
    });
    for (int frame = 0; frame < 200 && !window->MenusWantKeyboard(); ++frame)
        window->Refresh();
    ASSERT_TRUE(window->MenusWantKeyboard());

    PushKey(SDLK_a, SDL_SCANCODE_A, true, window->Id());
    PushKey(SDLK_LCTRL, SDL_SCANCODE_LCTRL, false, window->Id());
    PushKey(SDLK_a, SDL_SCANCODE_A, false, window->Id());
    app.ProcessMessages(log);
    EXPECT_EQ(log.Events, (std::vector<std::string>{"+17", "-17"}));
    EXPECT_FALSE(app.KeyPressed(VK_CONTROL));
    EXPECT_EQ(app.ShiftState(), 0);
}
