// The game's bitmap fonts, rendered from a TrueType font with FreeType and
// dressed as game lettering: a vertical colour gradient, a bevel, a dark
// outline and a drop shadow. Each font holds the 68 glyphs the game maps
// characters to, in its order: space to underscore, then Ä, Ö, Ü, ß.
#include "Draw.h"
#include "Fonts.h"
#include "Items.h"

#include "common/Exception.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>

#ifndef ARTGEN_FONT_DIR
#define ARTGEN_FONT_DIR "/usr/share/fonts/truetype/liberation"
#endif

namespace artgen {

namespace {

// The 68 characters (Latin-1 codes) in pattern order.
std::vector<unsigned> GlyphCodes() {
    std::vector<unsigned> codes;
    for (unsigned c = 0x20; c <= 0x5F; ++c) codes.push_back(c);
    for (unsigned c : {0xC4u, 0xD6u, 0xDCu, 0xDFu}) codes.push_back(c);
    return codes;
}

struct FontStyle {
    const char* face;       // file in ARTGEN_FONT_DIR
    int inkWidth;           // widest a glyph may be, outline included (the spaced advance)
    int outline;            // outline thickness in pixels
    int shadow;             // drop shadow offset
    std::vector<Rgba> fill; // gradient from the top of the capitals to the baseline
    Rgba ring;              // inner outline ring (outline 2) or the outline (outline 1)
    Rgba bevelLight, bevelDark;
    bool bevel = true; // lit top edge, shaded lower right edge
    bool mono = false; // hinted one-bit glyphs: crisp at small sizes
};

FontStyle Style(const std::string& name) {
    if (name == "large")
        return {"LiberationSansNarrow-Bold.ttf", 24, 2, 2,
                {C("gold.4"), C("gold.3"), C("gold.3"), C("orange.3"), C("orange.2")},
                C("fire.0"), C("white.4"), C("orange.1")};
    if (name == "small")
        return {"LiberationSansNarrow-Bold.ttf", 17, 1, 1,
                {C("white.4"), C("white.3"), C("ice.3"), C("ice.2")}, Outline(), C("white.4"), C("ice.1")};
    if (name == "copyright")
        return {"LiberationSans-Bold.ttf", 11, 1, 0, {C("white.4"), C("white.4"), C("white.3")}, Outline(),
                C("white.4"), C("silver.2"), false, true};
    throw varnok::EConvertError("no font style '" + name + "'");
}

class Face {
public:
    explicit Face(const std::string& file) {
        if (FT_Init_FreeType(&lib_)) throw varnok::EConvertError("FreeType cannot start");
        if (FT_New_Face(lib_, file.c_str(), 0, &face_)) {
            FT_Done_FreeType(lib_);
            throw varnok::EFileError("Cannot load font " + file + " (install fonts-liberation)");
        }
    }
    ~Face() {
        FT_Done_Face(face_);
        FT_Done_FreeType(lib_);
    }
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    struct Glyph {
        int left = 0, top = 0, w = 0, h = 0;
        std::vector<uint8_t> cov;
        uint8_t At(int x, int y) const {
            return x >= 0 && y >= 0 && x < w && y < h ? cov[static_cast<size_t>(y) * w + x] : 0;
        }
    };

    // Renders a character at a pixel size, squeezed horizontally by `squeeze`.
    Glyph Render(unsigned code, int px, double squeeze, bool mono = false) {
        FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(px));
        FT_Matrix m{static_cast<FT_Fixed>(squeeze * 65536), 0, 0, 0x10000};
        FT_Set_Transform(face_, &m, nullptr);
        FT_Int32 flags = FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME : FT_LOAD_TARGET_NORMAL);
        if (FT_Load_Char(face_, code, flags))
            throw varnok::EConvertError("font has no glyph for character " + std::to_string(code));
        const FT_Bitmap& b = face_->glyph->bitmap;
        Glyph g;
        g.left = face_->glyph->bitmap_left;
        g.top = face_->glyph->bitmap_top;
        g.w = static_cast<int>(b.width);
        g.h = static_cast<int>(b.rows);
        g.cov.resize(static_cast<size_t>(g.w) * g.h);
        for (int y = 0; y < g.h; ++y)
            for (int x = 0; x < g.w; ++x)
                g.cov[static_cast<size_t>(y) * g.w + x] =
                    b.pixel_mode == FT_PIXEL_MODE_MONO ? ((b.buffer[y * b.pitch + x / 8] >> (7 - x % 8)) & 1) * 255
                                                       : b.buffer[y * b.pitch + x];
        return g;
    }

    // Horizontal advance of the glyph last rendered, in pixels.
    int Advance() const { return static_cast<int>(face_->glyph->advance.x >> 6); }

private:
    FT_Library lib_ = nullptr;
    FT_Face face_ = nullptr;
};

std::vector<Canvas> Font(const ItemSpec& s) {
    const FontStyle st = Style(s.Arg);
    Face face(std::string(ARTGEN_FONT_DIR) + "/" + st.face);
    const std::vector<unsigned> codes = GlyphCodes();
    if (s.Frames != static_cast<int>(codes.size()))
        throw varnok::EConvertError("a font has " + std::to_string(codes.size()) + " glyphs");
    const int pad = st.outline;
    // The largest size at which every glyph, with outline and shadow, fits the cell height.
    int px = s.Height;
    int ascent = 0;
    for (; px > 4; --px) {
        int up = 0, down = 0;
        for (unsigned c : codes) {
            Face::Glyph g = face.Render(c, px, 1.0, st.mono);
            if (g.w == 0) continue;
            up = std::max(up, g.top);
            down = std::max(down, g.h - g.top);
        }
        if (up + down + 2 * pad + st.shadow <= s.Height) {
            ascent = up;
            break;
        }
    }
    const int baseline = pad + ascent;
    const int capTop = baseline - face.Render('H', px, 1.0, st.mono).top;
    std::vector<Canvas> frames;
    for (unsigned code : codes) {
        Canvas f(s.Width, s.Height);
        Face::Glyph g = face.Render(code, px, 1.0, st.mono);
        // Squeeze glyphs that would not fit the advance.
        for (double sq = 0.96; g.w + 2 * pad > st.inkWidth && sq > 0.4; sq -= 0.04)
            g = face.Render(code, px, sq, st.mono);
        if (g.w == 0) {
            frames.push_back(f);
            continue;
        }
        const int ox = (st.inkWidth - g.w) / 2, oy = baseline - g.top;
        Mask core(s.Width, s.Height), soft(s.Width, s.Height);
        for (int y = 0; y < g.h; ++y)
            for (int x = 0; x < g.w; ++x) {
                uint8_t a = g.At(x, y);
                if (a >= 110) core.Set(ox + x, oy + y);
                if (a >= 40) soft.Set(ox + x, oy + y);
            }
        Mask body = soft;
        Mask outer = body.Dilated(pad);
        // Shadow first, then outline rings, then the lettering itself.
        if (st.shadow) f.FillMask(outer, C("night.0"), st.shadow, st.shadow);
        f.FillMask(outer, Outline());
        if (pad >= 2) f.FillMask(body.Dilated(1), st.ring);
        const int span = std::max(1, baseline - capTop);
        for (int y = 0; y < s.Height; ++y)
            for (int x = 0; x < s.Width; ++x) {
                if (!body.Get(x, y)) continue;
                double t = std::clamp((y - capTop + 0.5) / span, 0.0, 0.999);
                Rgba col = st.fill[static_cast<size_t>(t * st.fill.size())];
                if (st.bevel) {
                    if (!body.Get(x, y - 1)) col = Mix(col, st.bevelLight, 0.7);
                    else if (!body.Get(x, y + 1) || !body.Get(x + 1, y)) col = Mix(col, st.bevelDark, 0.5);
                }
                // Edge pixels the glyph only partly covers blend into the outline.
                uint8_t a = g.At(x - ox, y - oy);
                if (!core.Get(x, y)) col = Mix(pad >= 2 ? st.ring : Outline(), col, st.bevel ? a / 200.0 : a / 110.0);
                f.Set(x, y, col);
            }
        frames.push_back(f);
    }
    return frames;
}

} // namespace

Mask TextMask(const std::string& text, const std::string& faceFile, int px, int margin) {
    Face face(std::string(ARTGEN_FONT_DIR) + "/" + faceFile);
    struct Placed {
        Face::Glyph g;
        int x;
    };
    std::vector<Placed> glyphs;
    int pen = 0, up = 0, down = 0;
    for (unsigned char ch : text) {
        Face::Glyph g = face.Render(ch, px, 1.0);
        glyphs.push_back({g, pen + g.left});
        pen += face.Advance();
        up = std::max(up, g.top);
        down = std::max(down, g.h - g.top);
    }
    Mask m(pen + 2 * margin, up + down + 2 * margin);
    for (const Placed& p : glyphs)
        for (int y = 0; y < p.g.h; ++y)
            for (int x = 0; x < p.g.w; ++x)
                if (p.g.At(x, y) >= 128) m.Set(margin + p.x + x, margin + up - p.g.top + y);
    return m;
}

void AddFontGenerators(GeneratorTable& t) { t["font"] = Font; }

} // namespace artgen
