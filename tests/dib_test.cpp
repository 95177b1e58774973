#include "common/Exception.h"
#include "level/Dib.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace varnok;

namespace {

// The known picture: 5 x 3 pixels (odd width, so rows are padded), colour
// index (x + 2y) mod 4 into red, green, blue, white.
constexpr int kW = 5, kH = 3;
const TColor kColors[4] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(255, 255, 255)};
int IndexAt(int x, int y) {
    return (x + 2 * y) % 4;
}

void U16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void U32(std::string& s, uint32_t v) {
    U16(s, v & 0xFFFF);
    U16(s, v >> 16);
}

std::string InfoHeader(int w, int h, int bpp, uint32_t compression = 0, uint32_t clrUsed = 0) {
    std::string s;
    U32(s, 40);
    U32(s, static_cast<uint32_t>(w));
    U32(s, static_cast<uint32_t>(h));
    U16(s, 1);
    U16(s, static_cast<uint32_t>(bpp));
    U32(s, compression);
    U32(s, 0);
    U32(s, 0);
    U32(s, 0);
    U32(s, clrUsed);
    U32(s, 0);
    return s;
}

std::string Table(int entries, bool core = false) {
    std::string s;
    for (int i = 0; i < entries; ++i) {
        TColor c = kColors[i % 4];
        s.push_back(static_cast<char>(GetBValue(c)));
        s.push_back(static_cast<char>(GetGValue(c)));
        s.push_back(static_cast<char>(GetRValue(c)));
        if (!core) s.push_back(0);
    }
    return s;
}

// Uncompressed rows of the known picture, bottom row first unless topDown;
// pixel(x, y) gives the bytes of one pixel (or, below 8 bits, the index).
std::string Rows(int bpp, bool topDown, const std::function<uint32_t(int, int)>& pixel) {
    std::string s;
    const size_t stride = ((kW * bpp + 31) / 32) * 4;
    for (int r = 0; r < kH; ++r) {
        const int y = topDown ? r : kH - 1 - r;
        std::string row(stride, '\0');
        for (int x = 0; x < kW; ++x) {
            const uint32_t v = pixel(x, y);
            if (bpp < 8) {
                const int bit = x * bpp;
                row[bit / 8] = static_cast<char>(row[bit / 8] | (v << (8 - bpp - bit % 8)));
            } else {
                for (int b = 0; b < bpp / 8; ++b)
                    row[x * bpp / 8 + b] = static_cast<char>(v >> (8 * b));
            }
        }
        s += row;
    }
    return s;
}

uint32_t Bgr(int x, int y) {
    TColor c = kColors[IndexAt(x, y)];
    return GetBValue(c) | GetGValue(c) << 8 | GetRValue(c) << 16;
}

void ExpectKnownPicture(const TDecodedPicture& p, int colors = 4) {
    ASSERT_EQ(p.Image.Width, kW);
    ASSERT_EQ(p.Image.Height, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint8_t* px = p.Image.At(x, y);
            TColor want = kColors[IndexAt(x, y) % colors];
            EXPECT_EQ(RGB(px[0], px[1], px[2]), want) << "at " << x << "," << y;
            EXPECT_EQ(px[3], 255);
        }
}

std::string DibError(const std::string& data) {
    try {
        DecodePackedDib(data);
    } catch (const EInvalidGraphic& e) {
        return e.what();
    }
    return "decoded";
}

} // namespace

TEST(Dib, PalettedDepths) {
    auto index = [](int x, int y) -> uint32_t { return static_cast<uint32_t>(IndexAt(x, y)); };
    auto twoColors = [](int x, int y) -> uint32_t { return static_cast<uint32_t>(IndexAt(x, y) % 2); };

    TDecodedPicture one = DecodePackedDib(InfoHeader(kW, kH, 1) + Table(2) + Rows(1, false, twoColors));
    ExpectKnownPicture(one, 2);
    EXPECT_EQ(one.BitCount, 1);
    EXPECT_EQ(one.Palette.size(), 2u);

    ExpectKnownPicture(DecodePackedDib(InfoHeader(kW, kH, 4) + Table(16) + Rows(4, false, index)));
    TDecodedPicture eight = DecodePackedDib(InfoHeader(kW, kH, 8, 0, 4) + Table(4) + Rows(8, false, index));
    ExpectKnownPicture(eight);
    EXPECT_EQ(eight.Palette, std::vector<TColor>(kColors, kColors + 4));

    // Core header: 16-bit sizes, 3-byte colour entries.
    std::string core;
    U32(core, 12);
    U16(core, kW);
    U16(core, kH);
    U16(core, 1);
    U16(core, 8);
    ExpectKnownPicture(DecodePackedDib(core + Table(256, true) + Rows(8, false, index)));

    // A used-colour count above 256 still reads a table of 256 entries.
    ExpectKnownPicture(DecodePackedDib(InfoHeader(kW, kH, 8, 0, 300) + Table(256) + Rows(8, false, index)));
}

TEST(Dib, TrueColourDepthsAndMasks) {
    ExpectKnownPicture(DecodePackedDib(InfoHeader(kW, kH, 24) + Rows(24, false, Bgr)));
    ExpectKnownPicture(DecodePackedDib(InfoHeader(kW, kH, 32) + Rows(32, false, Bgr)));
    // 16 bits without masks: 5-5-5.
    auto rgb555 = [](int x, int y) -> uint32_t {
        TColor c = kColors[IndexAt(x, y)];
        return (GetRValue(c) >> 3) << 10 | (GetGValue(c) >> 3) << 5 | GetBValue(c) >> 3;
    };
    ExpectKnownPicture(DecodePackedDib(InfoHeader(kW, kH, 16) + Rows(16, false, rgb555)));
    // 16 bits with 5-6-5 masks.
    auto rgb565 = [](int x, int y) -> uint32_t {
        TColor c = kColors[IndexAt(x, y)];
        return (GetRValue(c) >> 3) << 11 | (GetGValue(c) >> 2) << 5 | GetBValue(c) >> 3;
    };
    std::string masks565;
    U32(masks565, 0xF800);
    U32(masks565, 0x07E0);
    U32(masks565, 0x001F);
    ExpectKnownPicture(DecodePackedDib(InfoHeader(kW, kH, 16, 3) + masks565 + Rows(16, false, rgb565)));
    // 32 bits with red in the low byte.
    auto rgbx = [](int x, int y) -> uint32_t {
        TColor c = kColors[IndexAt(x, y)];
        return GetRValue(c) | GetGValue(c) << 8 | GetBValue(c) << 16;
    };
    std::string masks32;
    U32(masks32, 0x0000FF);
    U32(masks32, 0x00FF00);
    U32(masks32, 0xFF0000);
    ExpectKnownPicture(DecodePackedDib(InfoHeader(kW, kH, 32, 3) + masks32 + Rows(32, false, rgbx)));
}

TEST(Dib, NegativeHeightIsTopDown) {
    ExpectKnownPicture(DecodePackedDib(InfoHeader(kW, -kH, 24) + Rows(24, true, Bgr)));
}

TEST(Dib, RunLengthEncoded) {
    // Rows bottom-up: y=2 is 0,1,2,3,0 (indices), y=1 is 2,3,0,1,2, y=0 is 0,1,2,3,0.
    std::string rle8 = InfoHeader(kW, kH, 8, 1, 4) + Table(4);
    rle8 += std::string("\x00\x05\x00\x01\x02\x03\x00\x00", 8);          // absolute run of 5, padded
    rle8 += std::string("\x00\x00", 2);                                  // end of line
    rle8 += std::string("\x01\x02\x01\x03\x01\x00\x01\x01\x01\x02", 10); // encoded runs of 1
    rle8 += std::string("\x00\x00", 2);
    rle8 +=
        std::string("\x00\x03\x00\x01\x02\x00\x02\x03\x00\x00\x00\x01", 12); // absolute 0,1,2; two 3s; end
    TDecodedPicture p = DecodePackedDib(rle8);
    ASSERT_EQ(p.Image.Width, kW);
    // The top row ends 3,3 where the known picture has 3,0.
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            TColor want = kColors[IndexAt(x, y)];
            if (y == 0 && x == 4) want = kColors[3];
            const uint8_t* px = p.Image.At(x, y);
            EXPECT_EQ(RGB(px[0], px[1], px[2]), want) << x << "," << y;
        }

    // 4 bits: runs alternate the two nibbles; a jump leaves colour 0 behind.
    std::string rle4 = InfoHeader(4, 2, 4, 2) + Table(16);
    rle4 += std::string("\x04\x12", 2);                 // 1,2,1,2 on the bottom row
    rle4 += std::string("\x00\x00\x00\x02\x01\x00", 6); // end of line; jump one right
    rle4 += std::string("\x00\x03\x30\x10\x00\x01", 6); // absolute 3,0,1; end
    TDecodedPicture q = DecodePackedDib(rle4);
    const int want4[2][4] = {{0, 3, 0, 1}, {1, 2, 1, 2}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const uint8_t* px = q.Image.At(x, y);
            EXPECT_EQ(RGB(px[0], px[1], px[2]), kColors[want4[y][x]]) << x << "," << y;
        }
}

TEST(Dib, MalformedDataIsInvalid) {
    const std::string bad[] = {
        "",
        InfoHeader(kW, kH, 8).substr(0, 20),                                 // truncated header
        std::string("\x14\0\0\0", 4) + std::string(40, '\0'),                // header size 20
        InfoHeader(kW, kH, 7) + Table(128) + std::string(64, '\0'),          // 7 bits per pixel
        InfoHeader(kW, kH, 8, 4) + Table(256) + std::string(64, '\0'),       // compression 4
        InfoHeader(kW, kH, 4, 1) + Table(16) + std::string(64, '\0'),        // RLE8 with 4 bits
        InfoHeader(kW, kH, 24, 3) + std::string(64, '\0'),                   // masks with 24 bits
        InfoHeader(kW, kH, 8) + Table(100),                                  // colour table cut short
        InfoHeader(kW, kH, 24) + std::string(47, '\0'),                      // one byte of rows missing
        InfoHeader(0, kH, 24),                                               // no width
        InfoHeader(100000, 1, 24) + std::string(300000, '\0'),               // absurd width
        InfoHeader(8192, 8192, 1),                                           // too many pixels
        InfoHeader(kW, INT32_MIN, 24),                                       // height that cannot be negated
        InfoHeader(kW, kH, 8, 1, 4) + Table(4) + std::string("\x06\x01", 2), // run past the row
        InfoHeader(kW, kH, 8, 1, 4) + Table(4) + std::string("\x00\x06", 2) + std::string(6, '\1'),
        InfoHeader(kW, kH, 8, 1, 4) + Table(4) + std::string("\x00\x02\x06\x00", 4), // jump outside
        InfoHeader(kW, kH, 8, 1, 4) + Table(4) + std::string("\x00\x00\x00\x00\x00\x00\x01\x01", 8),
        InfoHeader(kW, kH, 8, 1, 4) + Table(4) + std::string("\x00\x05\x01", 3), // absolute run cut short
        InfoHeader(kW, kH, 8, 1, 4) + Table(4) + std::string("\x02", 1),         // half a pair
    };
    for (const std::string& d : bad)
        EXPECT_EQ(DibError(d), kDibInvalid) << d.size();
}

TEST(Dib, BmpFilesRoundTrip) {
    // Few colours: 8 bits with a table of the colours used.
    RgbaImage small(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            TColor c = kColors[IndexAt(x, y)];
            uint8_t* p = small.At(x, y);
            p[0] = GetRValue(c), p[1] = GetGValue(c), p[2] = GetBValue(c), p[3] = 255;
        }
    std::string bmp = EncodeBmpFile(small);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    TDecodedPicture p = DecodeBmpFile(bmp);
    EXPECT_EQ(p.BitCount, 8);
    EXPECT_EQ(p.Palette.size(), 4u);
    ExpectKnownPicture(p);

    // Many colours: 24 bits, every pixel kept.
    RgbaImage many(20, 15);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x) {
            uint8_t* px = many.At(x, y);
            px[0] = static_cast<uint8_t>(x * 12), px[1] = static_cast<uint8_t>(y * 17),
            px[2] = static_cast<uint8_t>(x ^ y), px[3] = 255;
        }
    TDecodedPicture q = DecodeBmpFile(EncodeBmpFile(many));
    EXPECT_EQ(q.BitCount, 24);
    EXPECT_EQ(q.Image.Pixels, many.Pixels);

    EXPECT_THROW(DecodeBmpFile("BA" + bmp.substr(2)), EInvalidGraphic);
    EXPECT_THROW(DecodeBmpFile(bmp.substr(0, bmp.size() - 1)), EInvalidGraphic);
}

TEST(Dib, IconTakesLargestImageWithMask) {
    // A 2 x 2 image of 24 bits and a 4 x 2 one of 24 bits with its left column masked.
    auto image = [](int w, int h, TColor c, bool maskLeft) {
        std::string s = InfoHeader(w, 2 * h, 24);
        const size_t stride = ((w * 24 + 31) / 32) * 4;
        for (int r = 0; r < h; ++r) {
            std::string row(stride, '\0');
            for (int x = 0; x < w; ++x) {
                row[3 * x] = static_cast<char>(GetBValue(c));
                row[3 * x + 1] = static_cast<char>(GetGValue(c));
                row[3 * x + 2] = static_cast<char>(GetRValue(c));
            }
            s += row;
        }
        for (int r = 0; r < h; ++r)
            s += std::string(maskLeft ? "\x80\0\0\0" : "\0\0\0\0", 4);
        return s;
    };
    const std::string small = image(2, 2, RGB(255, 0, 0), false), big = image(4, 2, RGB(0, 0, 255), true);
    std::string ico;
    U16(ico, 0);
    U16(ico, 1);
    U16(ico, 2);
    auto entry = [&](int w, int h, const std::string& img, uint32_t offset) {
        ico.push_back(static_cast<char>(w));
        ico.push_back(static_cast<char>(h));
        ico += std::string("\0\0", 2);
        U16(ico, 1);
        U16(ico, 24);
        U32(ico, static_cast<uint32_t>(img.size()));
        U32(ico, offset);
    };
    entry(2, 2, small, 6 + 32);
    entry(4, 2, big, static_cast<uint32_t>(6 + 32 + small.size()));
    ico += small + big;
    TDecodedPicture p = DecodeIcon(ico);
    ASSERT_EQ(p.Image.Width, 4);
    ASSERT_EQ(p.Image.Height, 2);
    EXPECT_EQ(p.Image.At(0, 1)[3], 0);
    EXPECT_EQ(p.Image.At(1, 1)[3], 255);
    EXPECT_EQ(p.Image.At(1, 1)[2], 255);

    EXPECT_THROW(DecodeIcon(ico.substr(0, 30)), EInvalidGraphic);              // directory cut short
    EXPECT_THROW(DecodeIcon(ico.substr(0, ico.size() - 40)), EInvalidGraphic); // image cut short
}
