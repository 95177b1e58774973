#include "common/ComponentStream.h"
#include "common/Exception.h"
#include "level/Dib.h"
#include "level/ImageList.h"
#include "level/ImageListManifest.h"
#include "tests/support/TestSupport.h"
#include "tools/Debug.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace varnok;
using platform::Rect;
using platform::Surface;

namespace {

RgbaImage MakeImage(int w, int h, const std::function<TColor(int, int)>& color) {
    RgbaImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            TColor c = color(x, y);
            uint8_t* p = img.At(x, y);
            p[0] = GetRValue(c), p[1] = GetGValue(c), p[2] = GetBValue(c), p[3] = 255;
        }
    return img;
}

template <typename F> std::string ErrorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.what();
    }
    return "no error";
}

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int v : b)
        s.push_back(static_cast<char>(v));
    return s;
}

// A stream up to the start of the item list, with an empty colour table.
TComponentWriter StreamHead(std::string_view resourceName = "BlitkitPictureCollection") {
    TComponentWriter w;
    w.BeginResource(resourceName);
    w.WriteSignature();
    w.WriteShortString("TPictureCollectionComponent");
    w.WriteShortString("");
    w.WritePropertyName("List.ColorTable");
    w.WriteBinary(std::string(1024, '\0'));
    w.WritePropertyName("List");
    w.WriteCollectionBegin();
    return w;
}

std::string StreamTail(TComponentWriter& w) {
    w.WriteListEnd();
    w.WriteListEnd();
    w.WriteListEnd();
    w.EndResource();
    return w.Data();
}

// A "TDIB" picture block: 8 bits, 2 x 1 pixels, table red and (1, 2, 3).
std::string DibBlock() {
    std::string s = Bytes({4, 'T', 'D', 'I', 'B', 40, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 8, 0});
    s += std::string(16, '\0');
    s += Bytes({2, 0, 0, 0, 0, 0, 0, 0});
    s += Bytes({0, 0, 255, 0, 3, 2, 1, 0});
    s += Bytes({0, 1, 0, 0});
    return s;
}

TColor PixelColor(const Surface& s, int x, int y) {
    return s.PixelToColor(s.GetPixel(x, y));
}

} // namespace

TEST(ImageList, FileRoundTripKeepsEveryPropertyAndPixel) {
    TPictureCollection c;
    TPictureCollectionItem& a = c.Add();
    a.SetName("Coin");
    a.PatternWidth = 32;
    a.PatternHeight = 32;
    a.Picture.Assign(
        MakeImage(96, 32, [](int x, int y) { return x < 48 ? RGB(255, 0, 255) : RGB(x / 8, y / 8, 7); }));
    a.SetTransparentColor(0xFF00FF);
    TPictureCollectionItem& b = c.Add();
    b.PatternWidth = -5;
    b.SystemMemory = true;
    b.Transparent = false;
    b.SetTransparentColor(0x123456);
    TPictureCollectionItem& d = c.Add();
    d.SetName(std::string(300, '\xE4'));
    d.PatternWidth = 200;
    d.PatternHeight = 70000;
    d.SkipWidth = 2;
    d.SkipHeight = -3;
    d.Picture.Assign(MakeImage(40, 30, [](int x, int y) { return RGB(x * 6, y * 8, x + y); }));
    d.SetTransparentColor(0x8000000F);
    c.ColorTable[5] = TRGBQuad{1, 2, 3, 0};
    c.ColorTable[255] = TRGBQuad{9, 8, 7, 0};

    test::TempDir dir;
    c.SaveToFile(dir / "list.dxg");
    TPictureCollection r;
    r.LoadFromFile(dir / "list.dxg");
    ASSERT_EQ(r.Count(), 3);
    EXPECT_EQ(r.ColorTable, c.ColorTable);
    for (int i = 0; i < 3; ++i) {
        const TPictureCollectionItem &x = c[i], &y = r[i];
        EXPECT_EQ(y.Name(), x.Name());
        EXPECT_EQ(y.PatternWidth, x.PatternWidth);
        EXPECT_EQ(y.PatternHeight, x.PatternHeight);
        EXPECT_EQ(y.SkipWidth, x.SkipWidth);
        EXPECT_EQ(y.SkipHeight, x.SkipHeight);
        EXPECT_EQ(y.SystemMemory, x.SystemMemory);
        EXPECT_EQ(y.Transparent, x.Transparent);
        EXPECT_EQ(y.TransparentColor(), x.TransparentColor());
        EXPECT_EQ(y.Picture.GraphicClass(), x.Picture.GraphicClass());
        EXPECT_EQ(y.Picture.Width(), x.Picture.Width());
        EXPECT_EQ(y.Picture.Image().Pixels, x.Picture.Image().Pixels);
    }
    EXPECT_EQ(r[0].Picture.BitCount(), 8);
    EXPECT_EQ(r[2].Picture.BitCount(), 24);
    EXPECT_TRUE(r[1].Picture.Empty());
    // Saving what was read gives the same file.
    EXPECT_EQ(r.SaveToBytes(), test::ReadFileBytes(dir / "list.dxg"));
}

TEST(ImageList, WriterLayoutAndOmissions) {
    TPictureCollection c;
    c.Add(); // no name, no picture, no skips, black key
    const std::string bytes = c.SaveToBytes();
    std::string expect = Bytes({0xFF, 10, 0}) + "BLITKITPICTURECOLLECTION" + Bytes({0, 0x30, 0x10});
    const uint32_t size = static_cast<uint32_t>(bytes.size() - expect.size() - 4);
    expect += Bytes({static_cast<int>(size & 0xFF), static_cast<int>(size >> 8), 0, 0});
    expect += "TPF0" + Bytes({27}) + "TPictureCollectionComponent" + Bytes({0});
    expect += Bytes({15}) + "List.ColorTable" + Bytes({10, 0, 4, 0, 0}) + std::string(1024, '\0');
    expect += Bytes({4}) + "List" + Bytes({14, 1});
    expect += Bytes({13}) + "PatternHeight" + Bytes({2, 0});
    expect += Bytes({12}) + "PatternWidth" + Bytes({2, 0});
    expect += Bytes({12}) + "SystemMemory" + Bytes({8});
    expect += Bytes({11}) + "Transparent" + Bytes({9});
    expect += Bytes({16}) + "TransparentColor" + Bytes({7, 7}) + "clBlack";
    expect += Bytes({0, 0, 0, 0});
    EXPECT_EQ(bytes, expect);

    // Skips are written when set, an unnamed colour as the smallest integer.
    c[0].SkipWidth = 300;
    c[0].SetTransparentColor(0x123456);
    const std::string more = c.SaveToBytes();
    EXPECT_NE(more.find(Bytes({9}) + "SkipWidth" + Bytes({3, 0x2C, 0x01})), std::string::npos);
    EXPECT_EQ(more.find("SkipHeight"), std::string::npos);
    EXPECT_NE(more.find("TransparentColor" + Bytes({4, 0x56, 0x34, 0x12, 0})), std::string::npos);
}

TEST(ImageList, ReaderAcceptsEveryEncoding) {
    TComponentWriter w = StreamHead("");
    // Item 1: an integer before the item, properties in another order, wide
    // integer types, the long text type, an identifier in other letter case.
    w.WriteInteger(1000);
    w.WriteListBegin();
    w.WritePropertyName("TransparentColor");
    w.WriteIdent("CLFUCHSIA");
    w.WritePropertyName("PatternWidth");
    w.WriteValueType(TValueType::vaInt32);
    w.WriteUInt32(2);
    w.WritePropertyName("Name");
    w.WriteValueType(TValueType::vaLString);
    w.WriteUInt32(3);
    w.Write("Gem", 3);
    w.WritePropertyName("Picture.Data");
    w.WriteBinary(DibBlock());
    w.WriteListEnd();
    // Item 2: a picture class not known here, and an empty picture block.
    w.WriteListBegin();
    w.WritePropertyName("Picture.Data");
    w.WriteBinary(Bytes({10}) + "TJpegImage" + "whatever");
    w.WriteListEnd();
    w.WriteListBegin();
    w.WritePropertyName("Picture.Data");
    w.WriteBinary("");
    w.WriteListEnd();
    TPictureCollection c;
    c.LoadFromBytes(StreamTail(w));
    ASSERT_EQ(c.Count(), 3);
    EXPECT_EQ(c[0].Name(), "Gem");
    EXPECT_EQ(c[0].PatternWidth, 2);
    EXPECT_EQ(c[0].TransparentColor(), 0xFF00FFu);
    EXPECT_EQ(c[0].Picture.GraphicClass(), "TDIB");
    EXPECT_EQ(c[0].Picture.Image().At(1, 0)[0], 1);
    EXPECT_TRUE(c[1].Picture.Empty());
    EXPECT_TRUE(c[2].Picture.Empty());
    EXPECT_TRUE(c[1].Transparent); // the default
}

TEST(ImageList, MalformedFilesGiveTheDocumentedErrors) {
    auto load = [](const std::string& bytes) {
        return ErrorOf([&] {
            TPictureCollection c;
            c.LoadFromBytes(bytes);
        });
    };
    TPictureCollection good;
    good.Add().Picture.Assign(MakeImage(3, 2, [](int x, int) { return RGB(x, 0, 0); }));
    const std::string valid = good.SaveToBytes();

    std::string badMarker = valid;
    badMarker[0] = '\xFE';
    EXPECT_EQ(load(badMarker), "Ung\xFCltiges Stream-Format");
    std::string badSignature = valid;
    badSignature[badSignature.find("TPF0") + 3] = '1';
    EXPECT_EQ(load(badSignature), "Ung\xFCltiges Stream-Format");

    TComponentWriter shortTable;
    shortTable.BeginResource("X");
    shortTable.WriteSignature();
    shortTable.WriteShortString("T");
    shortTable.WriteShortString("");
    shortTable.WritePropertyName("List.ColorTable");
    shortTable.WriteBinary(std::string(1023, '\0'));
    EXPECT_EQ(load(shortTable.Data()), "Stream-Lesefehler");

    TComponentWriter unknown = StreamHead();
    unknown.WriteListBegin();
    unknown.WritePropertyName("Bogus");
    unknown.WriteInteger(1);
    EXPECT_EQ(load(StreamTail(unknown)), "Eigenschaft Bogus existiert nicht");

    TComponentWriter wrongType = StreamHead();
    wrongType.WriteListBegin();
    wrongType.WritePropertyName("Transparent");
    wrongType.WriteInteger(1);
    EXPECT_EQ(load(StreamTail(wrongType)), "Ung\xFCltiger Eigenschaftswert");

    TComponentWriter badDib = StreamHead();
    badDib.WriteListBegin();
    badDib.WritePropertyName("Picture.Data");
    std::string block = DibBlock();
    block[5] = 20; // header size
    badDib.WriteBinary(block);
    badDib.WriteListEnd();
    EXPECT_EQ(load(StreamTail(badDib)), "DIB is invalid");

    // Every truncation fails cleanly and leaves the list empty.
    TPictureCollection c;
    for (size_t n = 0; n < valid.size(); ++n) {
        c.Add().SetName("old");
        EXPECT_THROW(c.LoadFromBytes(std::string_view(valid).substr(0, n)), Exception) << n;
        EXPECT_EQ(c.Count(), 0);
    }
    std::mt19937 rng(7);
    std::string noise(1 << 20, '\0');
    for (char& ch : noise)
        ch = static_cast<char>(rng());
    noise[0] = '\xFF', noise[1] = 10, noise[2] = 0;
    EXPECT_THROW(c.LoadFromBytes(noise), Exception);
    EXPECT_THROW(c.LoadFromFile("/nonexistent/list.dxg"), EFileError);
}

TEST(ImageList, MetafilesAreSkippedButKept) {
    TComponentWriter w = StreamHead();
    w.WriteListBegin();
    w.WritePropertyName("Name");
    w.WriteString("Logo");
    w.WritePropertyName("Picture.Data");
    w.WriteBinary(Bytes({9}) + "TMetafile" + "\x01\x02\x03");
    w.WriteListEnd();
    const std::string bytes = StreamTail(w);
    DebugLog().SetEcho(false);
    DebugLog().Clear();
    TPictureCollection c;
    c.LoadFromBytes(bytes);
    DebugLog().SetEcho(true);
    ASSERT_EQ(DebugLog().Lines().size(), 1u);
    EXPECT_NE(DebugLog().Lines()[0].find("Logo"), std::string::npos);
    EXPECT_EQ(c[0].Picture.GraphicClass(), "TMetafile");
    EXPECT_EQ(c[0].PatternCount(), 0);
    EXPECT_NE(c.SaveToBytes().find("TMetafile\x01\x02\x03"), std::string::npos);
}

TEST(ImageList, NameIndexFindsTheItemNamedLast) {
    EXPECT_EQ(TPictureCollection::NameHash("Coin"), (4 * 16 + 'i' + 'c') % 256);
    EXPECT_EQ(TPictureCollection::NameHash("AB"), 2 * 16 + 'a' + 'a');
    EXPECT_EQ(TPictureCollection::NameHash("x"), 16);
    EXPECT_EQ(TPictureCollection::NameHash(""), 0);

    TPictureCollection c;
    c.Add().SetName("Coin");
    c.Add().SetName("Other");
    c.Add().SetName("coin");
    EXPECT_EQ(c.Find("COIN").Index(), 2);
    EXPECT_EQ(c.IndexOf("missing"), -1);
    EXPECT_EQ(ErrorOf([&] { c.Find("missing"); }), "Image 'missing' not found");
    c[0].SetName("Coin"); // named again: now the later one
    EXPECT_EQ(c.IndexOf("coin"), 0);
    c[0].SetName("Gem");
    EXPECT_EQ(c.IndexOf("coin"), 2);
    c.Delete(0);
    EXPECT_EQ(c.IndexOf("coin"), 1);
    EXPECT_EQ(c.IndexOf("gem"), -1);
    EXPECT_THROW(c.Items(2), EListError);
    c[0].SetName("");
    EXPECT_EQ(c.IndexOf(""), -1);
}

TEST(ImageList, PatternCountingAndRects) {
    TPictureCollection c;
    TPictureCollectionItem& item = c.Add();
    item.Picture.Assign(MakeImage(96, 32, [](int x, int) { return RGB(x, 0, 0); }));
    struct Case {
        int pw, ph, sw, sh, count;
    };
    const Case cases[] = {
        {32, 32, 0, 0, 3}, {32, 32, 2, 0, 2},  {0, 0, 0, 0, 1},     {0, 16, 0, 0, 2},
        {32, 16, 2, 0, 4}, {100, 32, 0, 0, 0}, {32, 32, -32, 0, 0},
    };
    TFixedDisplay display(16);
    for (const Case& k : cases) {
        item.PatternWidth = k.pw, item.PatternHeight = k.ph, item.SkipWidth = k.sw, item.SkipHeight = k.sh;
        c.SetDisplay(nullptr);
        EXPECT_EQ(item.PatternCount(), k.count) << k.pw << " " << k.sw << " before restore";
        c.SetDisplay(&display);
        c.Initialize();
        EXPECT_EQ(item.PatternCount(), k.count) << k.pw << " " << k.sw << " restored";
    }
    // The stored-value count adds the last pattern when the gap is missing.
    c.SetDisplay(nullptr);
    item.Picture.Assign(MakeImage(100, 32, [](int x, int) { return RGB(x, 0, 0); }));
    item.PatternWidth = 32, item.PatternHeight = 32, item.SkipWidth = 2, item.SkipHeight = 0;
    EXPECT_EQ(item.PatternCount(), 3);
    EXPECT_EQ(item.PatternRects(1), (Rect{34, 0, 66, 32}));
    EXPECT_EQ(item.PatternRects(3), Rect{});
    EXPECT_EQ(item.PatternRects(-1), Rect{});
}

TEST(ImageList, ColourKeyDrawingOnSixteenBits) {
    TFixedDisplay display(16);
    TPictureCollection c;
    c.SetDisplay(&display);
    TPictureCollectionItem& item = c.Add();
    // Key, green, and a colour whose nearest 5-6-5 value is the key's.
    const TColor colors[] = {RGB(255, 0, 255), RGB(0, 255, 0), RGB(254, 1, 253)};
    item.Picture.Assign(MakeImage(3, 1, [&](int x, int) { return colors[x]; }));
    item.SetTransparentColor(0xFF00FF);
    c.Initialize();
    Surface dest(3, 1, 16);
    const uint32_t blue = dest.ColorMatch(clBlue);
    auto drawn = [&]() {
        dest.Fill(blue);
        item.Draw(dest, 0, 0, 0);
        return std::vector<uint32_t>{dest.GetPixel(0, 0), dest.GetPixel(1, 0), dest.GetPixel(2, 0)};
    };
    EXPECT_EQ(drawn(), (std::vector<uint32_t>{blue, dest.ColorMatch(clLime), blue}));
    item.Transparent = false;
    EXPECT_EQ(drawn()[0], dest.ColorMatch(clFuchsia));
    item.Transparent = true;
    item.SetTransparentColor(0x00FF00); // re-keyed
    EXPECT_EQ(drawn(), (std::vector<uint32_t>{dest.ColorMatch(clFuchsia), blue, dest.ColorMatch(colors[2])}));

    // Out-of-range patterns draw nothing.
    dest.Fill(blue);
    item.Draw(dest, 0, 0, -1);
    item.Draw(dest, 0, 0, item.PatternCount());
    EXPECT_EQ(dest.GetPixel(0, 0), blue);
}

TEST(ImageList, SurfaceLayoutsDrawTheSamePixels) {
    // 1 x 1 patterns of a 600 x 8 picture are too many for one surface each:
    // they share blocks of 512 pixels, or the one surface of SystemMemory.
    constexpr int W = 600, H = 8;
    TFixedDisplay display(16);
    TPictureCollection c;
    c.SetDisplay(&display);
    TPictureCollectionItem& item = c.Add();
    item.Picture.Assign(MakeImage(W, H, [](int x, int y) { return RGB(x % 256, y * 30, x / 256 * 100); }));
    item.PatternWidth = item.PatternHeight = 1;
    item.Transparent = false;
    const auto whole = Surface::FromImage(item.Picture.Image(), 16);
    Surface dest(2, 1, 16);
    for (bool systemMemory : {false, true}) {
        item.SystemMemory = systemMemory;
        c.Initialize();
        ASSERT_EQ(item.PatternCount(), W * H);
        EXPECT_EQ(item.SurfaceCount(), systemMemory ? 1u : 2u);
        for (int pattern : {0, 511, 512, 599, W + 513, W * H - 1}) {
            item.Draw(dest, 1, 0, pattern);
            EXPECT_EQ(PixelColor(dest, 1, 0), PixelColor(*whole, pattern % W, pattern / W))
                << pattern << " system memory " << systemMemory;
        }
    }
    // Few patterns: one surface each.
    item.SystemMemory = false;
    item.PatternWidth = 300;
    item.PatternHeight = 4;
    c.Initialize();
    EXPECT_EQ(item.SurfaceCount(), 4u);
    item.Draw(dest, 0, 0, 3);
    EXPECT_EQ(PixelColor(dest, 0, 0), PixelColor(*whole, 300, 4));
}

TEST(ImageList, AlphaAndStretchedDrawing) {
    TFixedDisplay display(16);
    TPictureCollection c;
    c.SetDisplay(&display);
    TPictureCollectionItem& item = c.Add();
    item.Picture.Assign(MakeImage(2, 1, [](int x, int) { return x == 0 ? clWhite : clBlack; }));
    item.SetTransparentColor(clBlack);
    c.Initialize();
    Surface dest(2, 1, 16);
    for (int alpha : {0, 127, 255}) {
        dest.Fill(dest.ColorMatch(RGB(0, 0, 200)));
        item.DrawAlpha(dest, Rect{0, 0, 2, 1}, 0, alpha);
        const TColor mixed = PixelColor(dest, 0, 0);
        const int expectRed = alpha * 255 / 255;
        const int expectBlue = 200 + (255 - 200) * alpha / 255;
        // 16-bit pixels are mixed per 5- or 6-bit channel: one step of 8.
        EXPECT_NEAR(GetRValue(mixed), expectRed, 8) << alpha;
        EXPECT_NEAR(GetBValue(mixed), expectBlue, 8) << alpha;
        EXPECT_NEAR(GetBValue(PixelColor(dest, 1, 0)), 200, 4) << "key pixel skipped at " << alpha;
    }
    Surface big(4, 2, 16);
    big.Fill(big.ColorMatch(clBlue));
    item.StretchDraw(big, Rect{0, 0, 4, 2}, 0);
    EXPECT_EQ(PixelColor(big, 1, 1), clWhite);
    EXPECT_EQ(PixelColor(big, 2, 0), clBlue);
}

TEST(ImageList, InitialisingNeedsAReadyDisplay) {
    TFixedDisplay display(16, false);
    TPictureCollection c;
    c.SetDisplay(&display);
    TPictureCollectionItem& item = c.Add();
    item.Picture.Assign(MakeImage(1, 1, [](int, int) { return clRed; }));
    item.SetTransparentColor(clBlack);
    EXPECT_EQ(ErrorOf([&] { c.Initialize(); }), "TPictureCollection cannot be initialized");
    c.LoadFromBytes(c.SaveToBytes());
    EXPECT_FALSE(c[0].Initialized());
    Surface dest(1, 1, 16);
    c[0].Draw(dest, 0, 0, 0);
    EXPECT_EQ(dest.GetPixel(0, 0), 0u);
    display.SetInitialized(true);
    c.LoadFromBytes(c.SaveToBytes()); // restored on loading once the display is ready
    c[0].Draw(dest, 0, 0, 0);
    EXPECT_EQ(PixelColor(dest, 0, 0), clRed);
}

TEST(ImageList, ColorTableFromPalettes) {
    TPictureCollection c;
    c.Add(); // no picture
    // A 24-bit picture has no palette; an 8-bit one brings its colours.
    c.Add().Picture.Assign(MakeImage(20, 20, [](int x, int y) { return RGB(x * 10, y * 10, 1); }));
    c.Add().Picture.Assign(MakeImage(3, 1, [](int x, int) {
        return x == 0 ? RGB(255, 0, 0) : x == 1 ? RGB(10, 20, 30) : RGB(40, 50, 60);
    }));
    c.Add().Picture.LoadFromBlock(DibBlock());
    c.MakeColorTable();
    EXPECT_EQ(c.ColorTable[0], (TRGBQuad{0, 0, 0, 0}));
    EXPECT_EQ(c.ColorTable[1], (TRGBQuad{0, 0, 128, 0}));
    EXPECT_EQ(c.ColorTable[7], (TRGBQuad{192, 192, 192, 0}));
    EXPECT_EQ(c.ColorTable[249], (TRGBQuad{0, 0, 255, 0}));
    EXPECT_EQ(c.ColorTable[253], (TRGBQuad{255, 0, 255, 0}));
    EXPECT_EQ(c.ColorTable[8], (TRGBQuad{30, 20, 10, 0}));
    EXPECT_EQ(c.ColorTable[9], (TRGBQuad{60, 50, 40, 0}));
    EXPECT_EQ(c.ColorTable[10], (TRGBQuad{3, 2, 1, 0})); // from the DIB; its red is present
    EXPECT_EQ(c.ColorTable[11], TRGBQuad{});
}

TEST(ImageListManifest, ExtractThenBuildGivesTheSameItems) {
    TPictureCollection c;
    TPictureCollectionItem& a = c.Add();
    a.SetName("Font \xC4/1");
    a.PatternWidth = 16, a.PatternHeight = 20, a.SkipWidth = 1, a.SkipHeight = -2;
    a.Picture.Assign(MakeImage(50, 40, [](int x, int y) { return RGB(x * 5, y * 6, 3); }));
    a.SetTransparentColor(0x8000000F);
    TPictureCollectionItem& b = c.Add();
    b.Transparent = false, b.SystemMemory = true;
    b.SetTransparentColor(0x00ABCDEF);
    c.Add().Picture.LoadFromBlock(DibBlock());

    test::TempDir dir;
    const std::string manifest = ExtractImageList(c, dir / "x");
    TPictureCollection r;
    LoadImageListManifest(manifest, r);
    ASSERT_EQ(r.Count(), c.Count());
    for (int i = 0; i < c.Count(); ++i) {
        EXPECT_EQ(r[i].Name(), c[i].Name());
        EXPECT_EQ(r[i].PatternWidth, c[i].PatternWidth);
        EXPECT_EQ(r[i].PatternHeight, c[i].PatternHeight);
        EXPECT_EQ(r[i].SkipWidth, c[i].SkipWidth);
        EXPECT_EQ(r[i].SkipHeight, c[i].SkipHeight);
        EXPECT_EQ(r[i].Transparent, c[i].Transparent);
        EXPECT_EQ(r[i].SystemMemory, c[i].SystemMemory);
        EXPECT_EQ(r[i].TransparentColor(), c[i].TransparentColor());
        EXPECT_EQ(r[i].Picture.Image().Pixels, c[i].Picture.Image().Pixels) << i;
    }
}

TEST(ImageListManifest, PngTransparencyAndErrors) {
    test::TempDir dir;
    RgbaImage img = MakeImage(2, 1, [](int, int) { return clRed; });
    img.At(1, 0)[3] = 0;
    WritePng(dir / "a.png", img);
    TPictureCollection c;
    ParseImageListManifest("; comment\n[A]\r\ncolor = clLime\npicture = a.png\n", dir.Path().string(), c);
    ASSERT_EQ(c.Count(), 1);
    EXPECT_EQ(c[0].TransparentColor(), 0x00FF00u);
    EXPECT_EQ(c[0].Picture.Image().At(1, 0)[1], 255); // the key colour, whatever the line order

    const std::pair<const char*, const char*> bad[] = {
        {"pattern = 1 2\n", "line 1: a property before the first [NAME]"},
        {"[A]\npattern = 1\n", "line 2: expected two numbers, got '1'"},
        {"[A]\n\nskip = 1 x\n", "line 3: 'x' is not a number"},
        {"[A]\ncolor = clNothing\n", "line 2: 'clNothing' is neither a colour name nor a number"},
        {"[A]\nsize = 1\n", "line 2: unknown key 'size'"},
        {"[A\n", "line 1: an item line is [NAME]"},
        {"[A]\ntransparent = maybe\n", "line 2: expected yes or no, got 'maybe'"},
    };
    for (const auto& entry : bad) {
        TPictureCollection d;
        EXPECT_EQ(ErrorOf([&] { ParseImageListManifest(entry.first, dir.Path().string(), d); }),
                  entry.second);
    }
    TPictureCollection d;
    EXPECT_NE(ErrorOf([&] {
                  ParseImageListManifest("[A]\npicture = none.png\n", dir.Path().string(), d);
              }).find("line 2: cannot open picture"),
              std::string::npos);
    test::WriteFileBytes(dir / "bad.bmp", "BM not really");
    EXPECT_NE(ErrorOf([&] {
                  ParseImageListManifest("[A]\npicture = bad.bmp\n", dir.Path().string(), d);
              }).find("DIB is invalid"),
              std::string::npos);
}
