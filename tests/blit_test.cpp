// Keyed, opaque and blended blits through the surface's own pixel loops,
// checked against a pixel-by-pixel model of what a blit must do.
#include "platform/Blit.h"
#include "platform/Canvas.h"
#include "platform/Surface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace varnok;
using platform::Rect;
using platform::Surface;

namespace {

constexpr uint32_t kKey16 = 0xF81F; // magenta in RGB565

// A source with a ragged shape per 8 x 8 cell: holes of the key colour of
// varying width in each row, so that rows have zero, one or two runs, and
// one row in eight wholly opaque (long runs).
std::unique_ptr<Surface> RaggedSource(int bitCount, int w, int h) {
    auto s = std::make_unique<Surface>(w, h, bitCount);
    const uint32_t key = s->ColorMatch(RGB(255, 0, 255));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int cx = x % 8, cy = y % 8;
            const bool hole = cy != 6 && (cx < cy % 3 || cx == 5 - cy % 4 || (cy == 7 && cx > 1));
            s->SetPixel(x, y, hole ? key : s->ColorMatch(RGB(x * 9 % 250, y * 13 % 250, (x + y) * 5 % 250)));
        }
    s->SetColorKey(key);
    return s;
}

std::unique_ptr<Surface> Backdrop(int bitCount, int w, int h) {
    auto s = std::make_unique<Surface>(w, h, bitCount);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) s->SetPixel(x, y, s->ColorMatch(RGB(20 + x % 7, 200, 30 + y % 11)));
    return s;
}

// What a blit of src's rect to (x, y) must leave in dest: source pixels
// inside both surfaces, key pixels skipped when transparent.
void ModelDraw(std::vector<uint32_t>& dest, int dw, int dh, const Surface& src, const Rect& rect, int x, int y,
               bool transparent) {
    for (int sy = rect.Top; sy < rect.Bottom; ++sy)
        for (int sx = rect.Left; sx < rect.Right; ++sx) {
            if (sx < 0 || sy < 0 || sx >= src.Width() || sy >= src.Height()) continue;
            const int dx = x + sx - rect.Left, dy = y + sy - rect.Top;
            if (dx < 0 || dy < 0 || dx >= dw || dy >= dh) continue;
            const uint32_t p = src.GetPixel(sx, sy);
            if (transparent && src.ColorKey() && p == *src.ColorKey()) continue;
            dest[static_cast<size_t>(dy) * dw + dx] = p;
        }
}

std::vector<uint32_t> Pixels(const Surface& s) {
    std::vector<uint32_t> v;
    for (int y = 0; y < s.Height(); ++y)
        for (int x = 0; x < s.Width(); ++x) v.push_back(s.GetPixel(x, y));
    return v;
}

struct Placement {
    int x, y;
    Rect rect;
};

// Rectangles inside, across every edge of, and partly outside the source;
// positions clipped on every side of the destination and wholly outside.
std::vector<Placement> Placements() {
    std::vector<Placement> out;
    const Rect rects[] = {{0, 0, 8, 8},   {8, 8, 16, 16}, {3, 5, 21, 19}, {0, 0, 24, 24},
                          {-4, -3, 9, 7}, {20, 18, 30, 30}, {16, 0, 24, 24}};
    const int spots[][2] = {{0, 0}, {5, 4}, {-6, 3}, {3, -5}, {14, 9}, {-3, -2}, {18, 12}, {-30, 0}, {40, 2}};
    for (const Rect& r : rects)
        for (const auto& p : spots) out.push_back({p[0], p[1], r});
    return out;
}

} // namespace

TEST(Blit, KeyedAndOpaqueBlitsMatchThePixelModelOnEveryClip) {
    for (int bits : {16, 24, 32}) {
        const auto src = RaggedSource(bits, 24, 24);
        for (bool transparent : {true, false}) {
            auto dest = Backdrop(bits, 20, 16);
            std::vector<uint32_t> model = Pixels(*dest);
            // One destination collects every placement, so a stray write
            // anywhere shows up in a later comparison as well.
            for (const Placement& p : Placements()) {
                dest->Draw(p.x, p.y, *src, p.rect, transparent);
                ModelDraw(model, 20, 16, *src, p.rect, p.x, p.y, transparent);
                ASSERT_EQ(Pixels(*dest), model) << bits << " bits, transparent " << transparent << ", rect "
                                                << p.rect.Left << "," << p.rect.Top << " at " << p.x << "," << p.y;
            }
        }
    }
}

// A keyed rectangle without key pixels (an opaque tile) is copied or blended
// as a whole: the same pixels as the same picture without a key, on every
// clip.
TEST(Blit, KeyedRectanglesWithoutKeyPixelsDrawAsPlainOnes) {
    const auto keyed = RaggedSource(16, 24, 24);
    const auto plain = RaggedSource(16, 24, 24);
    plain->SetColorKey(std::nullopt);
    // Rows 6, 14 and 22 of the ragged source hold no key pixels.
    const Rect rects[] = {{0, 6, 24, 7}, {3, 14, 20, 15}, {-4, 22, 9, 23}, {20, 6, 30, 7}};
    const int spots[][2] = {{0, 0}, {5, 4}, {-6, 3}, {3, -5}, {14, 9}, {18, 15}, {-30, 0}};
    for (int alpha : {255, 100}) {
        auto viaKey = Backdrop(16, 20, 16);
        auto viaPlain = Backdrop(16, 20, 16);
        for (const Rect& r : rects)
            for (const auto& at : spots) {
                viaKey->DrawAlpha(at[0], at[1], *keyed, r, true, alpha);
                viaPlain->DrawAlpha(at[0], at[1], *plain, r, false, alpha);
                ASSERT_EQ(Pixels(*viaKey), Pixels(*viaPlain))
                    << "alpha " << alpha << ", rect " << r.Left << "," << r.Top << " at " << at[0] << ","
                    << at[1];
            }
    }
}

TEST(Blit, DrawsSaidToCoverLeaveNothingOfWhatWasBelow) {
    for (int bits : {16, 24, 32}) {
        const auto src = RaggedSource(bits, 24, 24);
        int covering = 0;
        for (bool transparent : {true, false})
            for (const Placement& p : Placements()) {
                auto one = Backdrop(bits, 20, 16), other = Backdrop(bits, 20, 16);
                other->Fill(other->ColorMatch(RGB(1, 2, 3)));
                const bool covers = one->DrawCovers(*src, p.rect, transparent);
                one->Draw(p.x, p.y, *src, p.rect, transparent);
                other->Draw(p.x, p.y, *src, p.rect, transparent);
                // Where the rectangle lands, the two backgrounds no longer show.
                int differ = 0;
                for (int y = std::max(p.y, 0); y < std::min(p.y + p.rect.Height(), 16); ++y)
                    for (int x = std::max(p.x, 0); x < std::min(p.x + p.rect.Width(), 20); ++x)
                        differ += one->GetPixel(x, y) != other->GetPixel(x, y);
                if (covers) {
                    EXPECT_EQ(differ, 0) << bits << " bits, rect " << p.rect.Left << "," << p.rect.Top;
                }
                covering += covers;
            }
        EXPECT_GT(covering, 0);
        Surface dest(20, 16, bits);
        EXPECT_TRUE(dest.DrawCovers(*src, Rect{2, 6, 10, 7}, true));   // row 6 of each cell has no hole
        EXPECT_FALSE(dest.DrawCovers(*src, Rect{2, 5, 10, 7}, true));  // row 5 has
        EXPECT_TRUE(dest.DrawCovers(*src, Rect{2, 5, 10, 7}, false));  // unless the key is ignored
        EXPECT_FALSE(dest.DrawCovers(*src, Rect{-1, 6, 10, 7}, true)); // partly outside the source
        EXPECT_FALSE(dest.DrawCovers(dest, Rect{0, 0, 4, 4}, false));  // a surface onto itself
    }
    // Formats that SDL converts are never counted on.
    const auto paletted = RaggedSource(8, 8, 8);
    Surface dest(8, 8, 16);
    EXPECT_FALSE(dest.DrawCovers(*paletted, Rect{0, 6, 8, 7}, false));
}

TEST(Blit, RunsFollowChangesToTheSourcePixelsAndKey) {
    auto src = RaggedSource(16, 16, 16);
    Surface dest(16, 16, 16);
    const Rect rect{0, 0, 16, 16};
    dest.Draw(0, 0, *src, rect, true); // the runs are found and kept here

    // A key pixel turned opaque and an opaque one turned into the key.
    const uint32_t red = dest.ColorMatch(RGB(255, 0, 0));
    ASSERT_EQ(src->GetPixel(0, 1), kKey16);
    src->SetPixel(0, 1, red);
    src->SetPixel(3, 3, kKey16);
    dest.Fill(0);
    dest.Draw(0, 0, *src, rect, true);
    EXPECT_EQ(dest.GetPixel(0, 1), red);
    EXPECT_EQ(dest.GetPixel(3, 3), 0u);

    // A filled source has no holes left; a new key makes the fill transparent.
    src->FillRect(Rect{0, 0, 16, 16}, red);
    dest.Fill(0);
    dest.Draw(0, 0, *src, rect, true);
    EXPECT_EQ(dest.GetPixel(5, 7), red);
    src->SetColorKey(red);
    dest.Fill(0);
    dest.Draw(0, 0, *src, rect, true);
    EXPECT_EQ(dest.GetPixel(5, 7), 0u);
}

TEST(Blit, ManyDifferentRectanglesFromOneSourceStayCorrect) {
    // More rectangles than the run cache keeps before it starts over.
    const auto src = RaggedSource(16, 128, 128);
    auto dest = Backdrop(16, 24, 24);
    std::vector<uint32_t> model = Pixels(*dest);
    for (int i = 0; i < 9000; ++i) {
        const int left = i % 97, top = (i / 97) % 101, w = 1 + i % 23, h = 1 + i % 17;
        const Rect rect{left, top, left + w, top + h};
        const int x = i % 29 - 6, y = i % 31 - 7;
        dest->Draw(x, y, *src, rect, true);
        ModelDraw(model, 24, 24, *src, rect, x, y, true);
        if (i % 500 == 0 || i > 8990) {
            ASSERT_EQ(Pixels(*dest), model) << "rectangle " << i;
        }
    }
}

TEST(Blit, LargeCheckeredRectanglesPastTheRunLimitStayCorrect) {
    // Every other pixel transparent: half a million runs per whole
    // rectangle, so a few rectangles pass the point where the runs start over.
    RgbaImage image(1000, 1000);
    for (int y = 0; y < image.Height; ++y)
        for (int x = 0; x < image.Width; ++x) {
            uint8_t* p = image.At(x, y);
            const bool hole = (x + y) % 2 == 0;
            p[0] = hole ? 255 : static_cast<uint8_t>(x);
            p[1] = hole ? 0 : static_cast<uint8_t>(y);
            p[2] = hole ? 255 : 40;
            p[3] = 255;
        }
    const auto src = Surface::FromImage(image, 16);
    src->SetColorKey(kKey16);
    auto dest = Backdrop(16, 24, 24);
    std::vector<uint32_t> model = Pixels(*dest);
    const Rect rects[] = {{0, 0, 1000, 1000}, {1, 0, 1000, 1000}, {0, 1, 1000, 1000}, {2, 0, 1000, 1000},
                          {0, 2, 1000, 1000}, {1, 1, 1000, 1000}, {0, 0, 1000, 1000}};
    int shift = 0;
    for (const Rect& rect : rects) {
        const int x = -(rect.Left * 7 + shift), y = -(rect.Top * 5 + shift);
        dest->Draw(x, y, *src, rect, true);
        ModelDraw(model, 24, 24, *src, rect, x, y, true);
        ASSERT_EQ(Pixels(*dest), model) << "rectangle at " << rect.Left << "," << rect.Top;
        shift += 3;
    }
}

TEST(Blit, BlendedRowsAreCloseToTheExactMixAndAgreeAtEveryLength) {
    // Every length from 1 to 40 pixels: the eight-at-a-time path with its
    // overlapping tail must give what one pixel at a time gives.
    std::vector<uint16_t> src(40), base(40);
    for (int i = 0; i < 40; ++i) {
        src[i] = static_cast<uint16_t>((i * 2731 + 17) & 0xFFFF);
        base[i] = static_cast<uint16_t>((i * 40503 + 999) & 0xFFFF);
    }
    for (int alpha : {0, 1, 64, 127, 128, 200, 254, 255}) {
        for (int n = 1; n <= 40; ++n) {
            std::vector<uint16_t> row(base), single(base);
            platform::blit::BlendRow565(row.data(), src.data(), n, alpha);
            for (int i = 0; i < n; ++i) platform::blit::BlendRow565(&single[i], &src[i], 1, alpha);
            ASSERT_EQ(row, single) << "alpha " << alpha << ", " << n << " pixels";
        }
        std::vector<uint16_t> row(base);
        platform::blit::BlendRow565(row.data(), src.data(), 40, alpha);
        for (int i = 0; i < 40; ++i) {
            const int shifts[] = {11, 5, 0}, masks[] = {31, 63, 31};
            for (int c = 0; c < 3; ++c) {
                const double s = (src[i] >> shifts[c]) & masks[c], d = (base[i] >> shifts[c]) & masks[c];
                const double exact = d + (s - d) * alpha / 255.0;
                EXPECT_LE(std::abs(((row[i] >> shifts[c]) & masks[c]) - exact), 1.0)
                    << "alpha " << alpha << " pixel " << i << " channel " << c;
            }
        }
        if (alpha == 255) {
            EXPECT_EQ(row, src);
        }
        if (alpha == 0) {
            EXPECT_EQ(row, base);
        }
    }
}

TEST(Blit, BlendedBlitsTouchOnlyOpaqueVisiblePixels) {
    const auto src = RaggedSource(16, 24, 24);
    for (const Placement& p : Placements()) {
        auto dest = Backdrop(16, 20, 16);
        const std::vector<uint32_t> before = Pixels(*dest);
        // The source pixel landing on each destination pixel, or none.
        constexpr uint32_t kNone = 0xFFFFFFFF;
        std::vector<uint32_t> landing(before.size(), kNone);
        ModelDraw(landing, 20, 16, *src, p.rect, p.x, p.y, true);
        dest->DrawAlpha(p.x, p.y, *src, p.rect, true, 128);
        const std::vector<uint32_t> after = Pixels(*dest);
        for (size_t i = 0; i < after.size(); ++i) {
            if (landing[i] == kNone) {
                ASSERT_EQ(after[i], before[i]) << "pixel " << i << " changed outside the shape";
            } else if (landing[i] != before[i]) {
                ASSERT_NE(after[i], before[i]) << "pixel " << i << " not blended";
            }
        }
    }
}

// Filling the whole surface or a rectangle that reaches past its edges
// writes exactly the pixels inside, at every depth.
TEST(Blit, FillsCoverTheirRectangleCutToTheSurface) {
    for (int bits : {8, 16, 32}) {
        auto s = Backdrop(bits, 37, 21);
        const auto backdrop = Backdrop(bits, 37, 21);
        const uint32_t red = s->ColorMatch(RGB(255, 0, 0));
        s->FillRect(Rect{-5, 15, 9, 30}, red); // x 0..8, y 15..20 on the surface
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x) {
                const bool inside = x < 9 && y >= 15;
                ASSERT_EQ(s->GetPixel(x, y), inside ? red : backdrop->GetPixel(x, y))
                    << bits << ": " << x << "," << y;
            }
        s->FillRect(Rect{40, 0, 50, 10}, red); // wholly outside: nothing
        EXPECT_EQ(s->GetPixel(36, 0), backdrop->GetPixel(36, 0));
        const uint32_t blue = s->ColorMatch(RGB(0, 0, 255));
        s->Fill(blue);
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x)
                ASSERT_EQ(s->GetPixel(x, y), blue) << bits;
    }
}

// Whoever shows a surface leaves it alone while its count of writes stays:
// every kind of write counts, reading does not, and no two surfaces share a
// serial (a new back surface is compared even with as many writes).
TEST(Blit, EveryWriteIsCountedAndEverySurfaceHasASerialOfItsOwn) {
    Surface a(16, 16, 16), b(16, 16, 16), source(4, 4, 16);
    EXPECT_NE(a.Serial(), b.Serial());
    EXPECT_NE(a.Serial(), source.Serial());
    source.SetColorKey(0);
    auto counted = [&](const char* what, auto write) {
        const uint64_t before = a.Writes();
        write();
        EXPECT_GT(a.Writes(), before) << what;
    };
    counted("SetPixel", [&] { a.SetPixel(1, 1, 5); });
    counted("Fill", [&] { a.Fill(7); });
    counted("FillRect", [&] { a.FillRect({0, 0, 2, 2}, 9); });
    counted("Draw", [&] { a.Draw(3, 3, source, source.ClientRect(), false); });
    counted("keyed Draw", [&] { a.Draw(-2, 3, source, source.ClientRect(), true); });
    counted("DrawAlpha", [&] { a.DrawAlpha(3, 3, source, source.ClientRect(), true, 100); });
    counted("StretchDraw", [&] { a.StretchDraw({0, 0, 8, 8}, source, source.ClientRect(), false); });
    counted("Canvas", [&] {
        a.GetCanvas().BrushColor = RGB(1, 2, 3);
        a.GetCanvas().FillRect(0, 0, 3, 3);
    });
    counted("pixels written through the handle", [&] { a.PixelsChanged(); });
    const uint64_t before = a.Writes();
    (void)a.GetPixel(1, 1);
    (void)a.ToImage();
    a.Draw(100, 100, source, source.ClientRect(), false); // wholly outside
    b.Fill(3);
    EXPECT_EQ(a.Writes(), before);
}
