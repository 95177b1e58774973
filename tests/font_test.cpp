#include "common/Exception.h"
#include "level/ImageList.h"
#include "media/DXFontEx.h"

#include <gtest/gtest.h>

using namespace varnok;
using platform::Surface;

namespace {

// Glyph images of 4 x 4 pixels, 17 to a row: glyph n is the colour
// (n + 1, 100, 50) with a key-coloured (black) right column.
constexpr int kGlyph = 4;
constexpr TColor kBackground = RGB(0, 0, 200);

class FontTest : public ::testing::Test {
  protected:
    void SetUp() override { MakeFontItem(kFontGlyphCount); }

    void MakeFontItem(int glyphs) {
        list.Items.Clear();
        list.SetDXDraw(&display);
        TPictureCollectionItem& item = list.Items.Add();
        item.SetName("FONTsmall");
        const int rows = (glyphs + 16) / 17;
        RgbaImage img(17 * kGlyph, rows * kGlyph);
        for (int n = 0; n < glyphs; ++n)
            for (int y = 0; y < kGlyph; ++y)
                for (int x = 0; x < kGlyph; ++x) {
                    uint8_t* p = img.At(n % 17 * kGlyph + x, n / 17 * kGlyph + y);
                    const bool key = x == kGlyph - 1;
                    p[0] = key ? 0 : static_cast<uint8_t>(n + 1), p[1] = key ? 0 : 100, p[2] = key ? 0 : 50;
                    p[3] = 255;
                }
        item.Picture.Assign(img);
        item.PatternWidth = item.PatternHeight = kGlyph;
        item.SetTransparentColor(clBlack);
        list.Items.Initialize();
        font.SetDXImageList(&list);
        font.SetFont("fontSMALL");
    }

    // The glyph drawn with its top-left corner at (x, y), -1 for none.
    static int GlyphAt(const Surface& s, int x, int y) {
        const TColor c = s.PixelToColor(s.GetPixel(x, y));
        if (c == kBackground) return -1;
        EXPECT_EQ(s.PixelToColor(s.GetPixel(x + kGlyph - 1, y)), kBackground) << "key column at " << x;
        return GetRValue(c) - 1;
    }

    static std::unique_ptr<Surface> Blank(int w, int h) {
        auto s = std::make_unique<Surface>(w, h, 32);
        s->Fill(s->ColorMatch(kBackground));
        return s;
    }

    TFixedDisplay display{32};
    TDXImageList list;
    TDXFontEx font;
};

} // namespace

TEST(FontCharMap, MapsEveryByte) {
    const auto& map = FontCharMap();
    EXPECT_EQ(map[' '], 0);
    EXPECT_EQ(map['0'], 16);
    EXPECT_EQ(map['9'], 25);
    EXPECT_EQ(map['A'], 33);
    EXPECT_EQ(map['a'], 33);
    EXPECT_EQ(map['z'], 58);
    EXPECT_EQ(map['_'], 63);
    EXPECT_EQ(map['>'], 30);
    const uint8_t umlauts[][2] = {{0xC4, 64}, {0xE4, 64}, {0xD6, 65}, {0xF6, 65},
                                  {0xDC, 66}, {0xFC, 66}, {0xDF, 67}};
    for (const auto& u : umlauts)
        EXPECT_EQ(map[u[0]], u[1]) << int(u[0]);
    // Bytes outside the set draw the '>' glyph, not the space.
    for (int c : {0x00, 0x1F, 0x60, 0x7B, 0x7F, 0xE9, 0xFF})
        EXPECT_EQ(map[c], 30) << c;
    int outside = 0;
    for (int c = 0; c < 256; ++c)
        outside += map[c] == 30 && c != '>';
    EXPECT_EQ(outside, 256 - 64 - 26 - 7);
}

TEST_F(FontTest, DrawTextPlacesGlyphsByTheMap) {
    EXPECT_EQ(font.FontIndex(), 0);
    EXPECT_EQ(font.Advance(), kGlyph);
    auto s = Blank(40, 6);
    font.DrawText(*s, 2, "Ab{\xE4", 1);
    EXPECT_EQ(GlyphAt(*s, 2, 1), 33);
    EXPECT_EQ(GlyphAt(*s, 6, 1), 34);
    EXPECT_EQ(GlyphAt(*s, 10, 1), 30);
    EXPECT_EQ(GlyphAt(*s, 14, 1), 64);
    EXPECT_EQ(GlyphAt(*s, 18, 1), -1);

    auto lower = Blank(20, 4), upper = Blank(20, 4);
    font.DrawText(*lower, 0, "abc", 0);
    font.DrawText(*upper, 0, "ABC", 0);
    EXPECT_EQ(lower->ToImage().Pixels, upper->ToImage().Pixels);
}

TEST_F(FontTest, SpacingAndAdvance) {
    auto s = Blank(60, 4);
    font.DrawTextSpaced(*s, 0, "AB", 16, 0);
    EXPECT_EQ(font.Advance(), 16);
    EXPECT_EQ(GlyphAt(*s, 16, 0), 34);
    font.DrawTextSpaced(*s, 0, "", 9, 0); // nothing drawn, advance kept
    EXPECT_EQ(font.Advance(), 16);
    font.DrawText(*s, 0, "", 0);
    EXPECT_EQ(font.Advance(), 16);
    font.DrawText(*s, 40, "C", 0);
    EXPECT_EQ(font.Advance(), kGlyph);
}

TEST_F(FontTest, SelectionByNameAndIndex) {
    font.SetFont("missing");
    EXPECT_EQ(font.FontIndex(), -1);
    EXPECT_THROW(font.SetFontIndex(1), EListError);
    font.SetFontIndex(0);
    EXPECT_EQ(font.Font(), "FONTsmall");
    EXPECT_EQ(font.Advance(), kGlyph);
    // Without an image list nothing is drawn and nothing is looked up.
    TDXFontEx unbound;
    unbound.SetFont("FONTsmall");
    EXPECT_EQ(unbound.FontIndex(), -1);
    auto s = Blank(8, 4);
    unbound.DrawText(*s, 0, "A", 0);
    EXPECT_EQ(GlyphAt(*s, 0, 0), -1);
}

TEST_F(FontTest, GlyphsBeyondTheItemDrawNothingButAdvance) {
    MakeFontItem(40); // up to 'G'
    auto s = Blank(20, 4);
    font.DrawText(*s, 0, "ZA", 0);
    EXPECT_EQ(GlyphAt(*s, 0, 0), -1);
    EXPECT_EQ(GlyphAt(*s, 4, 0), 33);
}

TEST_F(FontTest, AlphaDrawing) {
    for (int alpha : {0, 127, 255}) {
        auto s = Blank(10, 4);
        font.DrawTextAlpha(*s, 0, alpha, "A", 0);
        const TColor c = s->PixelToColor(s->GetPixel(0, 0));
        EXPECT_NEAR(GetGValue(c), 100 * alpha / 255, 2) << alpha;
        EXPECT_NEAR(GetBValue(c), 50 + (200 - 50) * (255 - alpha) / 255, 2) << alpha;
        EXPECT_EQ(s->PixelToColor(s->GetPixel(3, 0)), kBackground) << "key pixel at alpha " << alpha;
    }
}

TEST_F(FontTest, WrappingFollowsTheLineRule) {
    // Width 24 with spacing 4: at most 6 characters a line.
    auto s = Blank(24, 16);
    font.DrawTextWrapped(*s, 0, "AA BB CC", 5, 4, 0);
    // " AA BB" fills the first line; "CC" is centred on the second.
    const int first[] = {0, 33, 33, 0, 34, 34};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(GlyphAt(*s, 4 * i, 0), first[i]) << i;
    EXPECT_EQ(GlyphAt(*s, 4, 5), -1);
    EXPECT_EQ(GlyphAt(*s, 8, 5), 35);
    EXPECT_EQ(GlyphAt(*s, 12, 5), 35);
    EXPECT_EQ(GlyphAt(*s, 16, 5), -1);

    // Word length plus line length must stay below the limit.
    auto u = Blank(24, 16);
    font.DrawTextWrapped(*u, 0, "AA BBB", 5, 4, 0);
    EXPECT_EQ(GlyphAt(*u, 6, 0), 0);
    EXPECT_EQ(GlyphAt(*u, 10, 0), 33);
    EXPECT_EQ(GlyphAt(*u, 18, 0), -1);
    for (int x : {6, 10, 14})
        EXPECT_EQ(GlyphAt(*u, x, 5), 34) << x;

    // A word too long for an empty line first flushes that line, moving down.
    auto t = Blank(24, 16);
    font.DrawTextWrapped(*t, 0, "ABCDEFG X", 5, 4, 0);
    for (int x = 0; x < 24; x += 4)
        EXPECT_EQ(GlyphAt(*t, x, 0), -1);
    EXPECT_EQ(GlyphAt(*t, 2, 5), 34); // "ABCDEFG" from x = 12 - 14
    EXPECT_EQ(GlyphAt(*t, 10, 10), 56);
}
