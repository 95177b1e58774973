#include "levelsource/MapPictures.h"

#include <algorithm>
#include <cstring>

namespace varnok::levelc {

namespace {

struct Rgba {
    uint8_t r, g, b, a;
};

// Glyphs of 3 x 5 pixels for the labels: hex digits and a few signs.
const char* Glyph(char c) {
    switch (c) {
    case '0':
        return "111101101101111";
    case '1':
        return "010110010010111";
    case '2':
        return "111001111100111";
    case '3':
        return "111001111001111";
    case '4':
        return "101101111001001";
    case '5':
        return "111100111001111";
    case '6':
        return "111100111101111";
    case '7':
        return "111001010010010";
    case '8':
        return "111101111101111";
    case '9':
        return "111101111001111";
    case 'A':
        return "111101111101101";
    case 'B':
        return "110101110101110";
    case 'C':
        return "111100100100111";
    case 'D':
        return "110101101101110";
    case 'E':
        return "111100111100111";
    case 'F':
        return "111100111100100";
    case 'x':
        return "000101010101000";
    case '?':
        return "111001011000010";
    default:
        return "000000000000000";
    }
}

void Put(RgbaImage& img, int x, int y, Rgba c) {
    if (x < 0 || y < 0 || x >= img.Width || y >= img.Height) return;
    uint8_t* p = img.At(x, y);
    if (c.a == 255 || p[3] == 0) {
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = c.a;
        return;
    }
    // Over what is there.
    const int a = c.a;
    p[0] = static_cast<uint8_t>((c.r * a + p[0] * (255 - a)) / 255);
    p[1] = static_cast<uint8_t>((c.g * a + p[1] * (255 - a)) / 255);
    p[2] = static_cast<uint8_t>((c.b * a + p[2] * (255 - a)) / 255);
    p[3] = static_cast<uint8_t>(std::max<int>(p[3], a));
}

void FillRect(RgbaImage& img, int x, int y, int w, int h, Rgba c) {
    for (int yy = y; yy < y + h; ++yy)
        for (int xx = x; xx < x + w; ++xx)
            Put(img, xx, yy, c);
}

// A label on a dark box, its top-left corner at x, y.
void Label(RgbaImage& img, int x, int y, const std::string& text, Rgba ink) {
    const int w = static_cast<int>(text.size()) * 4 + 1;
    FillRect(img, x, y, w, 7, Rgba{0, 0, 0, 200});
    for (size_t i = 0; i < text.size(); ++i) {
        const char* g = Glyph(text[i]);
        for (int gy = 0; gy < 5; ++gy)
            for (int gx = 0; gx < 3; ++gx)
                if (g[gy * 3 + gx] == '1') Put(img, x + 1 + static_cast<int>(i) * 4 + gx, y + 1 + gy, ink);
    }
}

void Line(RgbaImage& img, int x0, int y0, int x1, int y1, int thick, Rgba c) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= steps; ++i) {
        const int x = steps ? x0 + (x1 - x0) * i / steps : x0;
        const int y = steps ? y0 + (y1 - y0) * i / steps : y0;
        FillRect(img, x - thick / 2, y - thick / 2, thick, thick, c);
    }
}

// Copies a picture into the cell at (cx, cy) of the atlas, shrunk to fit
// when larger, standing on the cell's bottom and centred across it.
void PlaceInCell(RgbaImage& atlas, int cx, int cy, int cw, int ch, const RgbaImage& pic) {
    if (pic.Width <= 0 || pic.Height <= 0) return;
    const double scale =
        std::min({1.0, static_cast<double>(cw) / pic.Width, static_cast<double>(ch) / pic.Height});
    const int w = std::max(1, static_cast<int>(pic.Width * scale)),
              h = std::max(1, static_cast<int>(pic.Height * scale));
    const int ox = cx * cw + (cw - w) / 2, oy = cy * ch + ch - h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* s = pic.At(std::min(pic.Width - 1, static_cast<int>(x / scale)),
                                      std::min(pic.Height - 1, static_cast<int>(y / scale)));
            if (s[3] == 0) continue;
            uint8_t* d = atlas.At(ox + x, oy + y);
            std::memcpy(d, s, 4);
        }
}

} // namespace

RgbaImage KeyedPicture(const RgbaImage& picture, const std::array<int, 3>& key) {
    RgbaImage out = picture;
    for (int y = 0; y < out.Height; ++y)
        for (int x = 0; x < out.Width; ++x) {
            uint8_t* p = out.At(x, y);
            if (p[0] == key[0] && p[1] == key[1] && p[2] == key[2]) p[0] = p[1] = p[2] = p[3] = 0;
        }
    return out;
}

RgbaImage TilesPicture(const RgbaImage& sheet, const LevelSource& level, MapPictureFiles& files) {
    const int cw = level.cellW, ch = level.cellH;
    const int columns = std::max(1, sheet.Width / cw), sheetRows = sheet.Height / ch;
    const int sheetTiles = columns * sheetRows;
    const int extra = static_cast<int>(level.sequences.size()) + 1; // the sequences and a clear tile
    const int rows = sheetRows + (extra + columns - 1) / columns;
    RgbaImage out(columns * cw, rows * ch);
    for (int y = 0; y < sheetRows * ch; ++y)
        std::memcpy(out.At(0, y), sheet.At(0, y),
                    static_cast<size_t>(std::min(sheet.Width, columns * cw)) * 4);
    auto copyTile = [&](int from, int to) {
        const int fx = from % columns * cw, fy = from / columns * ch, tx = to % columns * cw,
                  ty = to / columns * ch;
        for (int y = 0; y < ch; ++y)
            std::memcpy(out.At(tx, ty + y), out.At(fx, fy + y), static_cast<size_t>(cw) * 4);
    };
    for (size_t k = 0; k < level.sequences.size(); ++k) {
        const std::vector<int16_t>& frames = level.sequences[k].frames;
        if (!frames.empty() && frames[0] > 0 && frames[0] <= sheetTiles)
            copyTile(frames[0] - 1, sheetTiles + static_cast<int>(k));
    }
    files.tilesColumns = columns;
    files.tilesRows = rows;
    files.sheetTiles = sheetTiles;
    return out;
}

RgbaImage BoundsPicture(int cw, int ch) {
    RgbaImage out(16 * cw, 16 * ch);
    const Rgba wall{230, 40, 40, 255}, floorOnly{250, 220, 40, 255}, slope{40, 200, 240, 255};
    const int t = std::max(2, std::min(cw, ch) / 8);
    for (int code = 1; code < 256; ++code) {
        const int x0 = code % 16 * cw, y0 = code / 16 * ch;
        if ((code & 15) == 15 && !(code & 0x80)) FillRect(out, x0, y0, cw, ch, Rgba{230, 40, 40, 40});
        if (code & 0x80) {
            // A slope: flag 1 clear rises to the right, set rises to the left.
            FillRect(out, x0, y0, cw, ch, Rgba{40, 200, 240, 40});
            if (code & 1)
                Line(out, x0, y0 + t / 2, x0 + cw - 1, y0 + ch - 1 - t / 2, t, slope);
            else
                Line(out, x0, y0 + ch - 1 - t / 2, x0 + cw - 1, y0 + t / 2, t, slope);
        } else {
            const bool oneWay = (code & 15) == 1;
            if (code & 1) FillRect(out, x0, y0, cw, t, oneWay ? floorOnly : wall);
            if (code & 2) FillRect(out, x0, y0, t, ch, wall);
            if (code & 4) FillRect(out, x0, y0 + ch - t, cw, t, wall);
            if (code & 8) FillRect(out, x0 + cw - t, y0, t, ch, wall);
        }
        // Bits the icons above do not show are written out.
        if (code & 0x70) {
            const char* hex = "0123456789ABCDEF";
            Label(out, x0 + t + 1, y0 + t + 1, std::string{hex[code >> 4], hex[code & 15]},
                  Rgba{255, 255, 255, 255});
        }
    }
    return out;
}

RgbaImage ActorsPicture(int cw, int ch, const std::function<std::optional<RgbaImage>(int tag)>& picture) {
    RgbaImage out(16 * cw, 16 * ch);
    const char* hex = "0123456789ABCDEF";
    for (int tag = 1; tag < 256; ++tag) {
        const int cx = tag % 16, cy = tag / 16, x0 = cx * cw, y0 = cy * ch;
        std::optional<RgbaImage> pic = picture ? picture(tag) : std::nullopt;
        if (pic && pic->Width > 0) {
            PlaceInCell(out, cx, cy, cw, ch, *pic);
        } else if (tag >= 0x20 && tag <= 0x2F) {
            // A cell a switch changes: a dashed frame in the switch's colour.
            for (int i = 0; i < cw; i += 4) {
                FillRect(out, x0 + i, y0, 2, 2, Rgba{255, 160, 0, 255});
                FillRect(out, x0 + i, y0 + ch - 2, 2, 2, Rgba{255, 160, 0, 255});
            }
            for (int i = 0; i < ch; i += 4) {
                FillRect(out, x0, y0 + i, 2, 2, Rgba{255, 160, 0, 255});
                FillRect(out, x0 + cw - 2, y0 + i, 2, 2, Rgba{255, 160, 0, 255});
            }
        } else if (tag >= 0xF5 && tag <= 0xFD) {
            // Auto-move path cells: an arrow the way the path leads.
            FillRect(out, x0 + 2, y0 + 2, cw - 4, ch - 4, Rgba{120, 60, 200, 90});
            const int mx = x0 + cw / 2, my = y0 + ch / 2, r = std::min(cw, ch) / 2 - 4;
            const Rgba ink{255, 255, 255, 255};
            int dx = 0, dy = 0;
            switch (tag) {
            case 0xF5:
            case 0xFA:
                dx = 1;
                break;
            case 0xF6:
            case 0xFB:
                dx = -1;
                break;
            case 0xF7:
            case 0xFC:
                dy = -1;
                break;
            case 0xF8:
            case 0xFD:
                dy = 1;
                break;
            default:
                break;
            }
            if (dx || dy) {
                Line(out, mx - dx * r, my - dy * r, mx + dx * r, my + dy * r, 2, ink);
                Line(out, mx + dx * r, my + dy * r, mx + dx * r / 2 - dy * r / 2,
                     my + dy * r / 2 - dx * r / 2, 2, ink);
                Line(out, mx + dx * r, my + dy * r, mx + dx * r / 2 + dy * r / 2,
                     my + dy * r / 2 + dx * r / 2, 2, ink);
            } else {
                FillRect(out, mx - 3, my - 3, 6, 6, ink); // path-on: keep going
            }
        } else {
            FillRect(out, x0 + 1, y0 + 1, cw - 2, ch - 2, Rgba{128, 128, 128, 160});
            Label(out, x0 + 2, y0 + 2, "?", Rgba{255, 255, 255, 255});
        }
        Label(out, x0 + cw - 9, y0 + ch - 7, std::string{hex[tag >> 4], hex[tag & 15]},
              Rgba{255, 255, 255, 255});
    }
    return out;
}

} // namespace varnok::levelc
