#include "level/Dib.h"

#include "common/Exception.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <png.h>
#include <unordered_map>

namespace varnok {

const char* const kDibInvalid = "DIB is invalid";

namespace {

[[noreturn]] void Invalid() {
    throw EInvalidGraphic(kDibInvalid);
}

// Little-endian reads that refuse to leave the data.
class Bytes {
  public:
    explicit Bytes(std::string_view d) : d_(d) {}
    size_t Size() const { return d_.size(); }
    bool Has(size_t pos, size_t count) const { return pos <= d_.size() && count <= d_.size() - pos; }
    uint8_t U8(size_t pos) const {
        if (!Has(pos, 1)) Invalid();
        return static_cast<uint8_t>(d_[pos]);
    }
    uint16_t U16(size_t pos) const {
        if (!Has(pos, 2)) Invalid();
        return static_cast<uint16_t>(Raw(pos) | (Raw(pos + 1) << 8));
    }
    uint32_t U32(size_t pos) const {
        if (!Has(pos, 4)) Invalid();
        return static_cast<uint32_t>(Raw(pos)) | (static_cast<uint32_t>(Raw(pos + 1)) << 8) |
               (static_cast<uint32_t>(Raw(pos + 2)) << 16) | (static_cast<uint32_t>(Raw(pos + 3)) << 24);
    }
    int32_t I32(size_t pos) const { return static_cast<int32_t>(U32(pos)); }
    // Unchecked: for loops whose range was checked once.
    uint8_t Raw(size_t pos) const { return static_cast<uint8_t>(d_[pos]); }
    std::string_view Sub(size_t pos, size_t count) const {
        if (!Has(pos, count)) Invalid();
        return d_.substr(pos, count);
    }

  private:
    std::string_view d_;
};

// One channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        max = m >> shift;
    }
    uint8_t Get(uint32_t pixel) const {
        if (max == 0) return 0;
        uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct DibInfo {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t masks[3] = {0, 0, 0};
    std::vector<TColor> palette;
    size_t tableEnd = 0; // where the rows of a packed DIB begin
};

bool IsExtendedHeader(uint32_t size) {
    return size == 52 || size == 56 || size == 108 || size == 124;
}

// Reads header, masks and colour table. iconHalf: the height field counts the
// colour rows and the mask rows of an icon image.
DibInfo ReadDibInfo(const Bytes& b, size_t at, bool extended, bool iconHalf) {
    DibInfo info;
    const uint32_t headerSize = b.U32(at);
    const bool core = headerSize == 12;
    if (!core && headerSize != 40 && !(extended && IsExtendedHeader(headerSize))) Invalid();
    if (!b.Has(at, headerSize)) Invalid();
    int64_t width, height;
    uint32_t clrUsed = 0;
    if (core) {
        width = b.U16(at + 4);
        height = b.U16(at + 6);
        info.bitCount = b.U16(at + 10);
    } else {
        width = b.I32(at + 4);
        height = b.I32(at + 8);
        info.bitCount = b.U16(at + 14);
        info.compression = b.U32(at + 16);
        clrUsed = b.U32(at + 32);
    }
    if (height < 0) {
        info.topDown = true;
        height = -height;
    }
    if (iconHalf) height /= 2;
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide ||
        width * height > kMaxPicturePixels)
        Invalid();
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);

    const int bpp = info.bitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) Invalid();
    if (core && bpp == 16) Invalid();
    switch (info.compression) {
    case kRgb:
        break;
    case kRle8:
        if (bpp != 8) Invalid();
        break;
    case kRle4:
        if (bpp != 4) Invalid();
        break;
    case kBitFields:
        if (bpp != 16 && bpp != 32) Invalid();
        break;
    default:
        Invalid();
    }

    size_t pos = at + headerSize;
    if (info.compression == kBitFields) {
        // The masks follow a plain info header; larger headers hold them inside.
        size_t maskAt = headerSize == 40 ? pos : at + 40;
        for (int i = 0; i < 3; ++i)
            info.masks[i] = b.U32(maskAt + 4 * i);
        if (headerSize == 40) pos += 12;
    } else if (bpp == 16) {
        info.masks[0] = 0x7C00;
        info.masks[1] = 0x03E0;
        info.masks[2] = 0x001F;
    } else if (bpp == 32) {
        info.masks[0] = 0x00FF0000;
        info.masks[1] = 0x0000FF00;
        info.masks[2] = 0x000000FF;
    }

    size_t colors = clrUsed != 0 ? clrUsed : (bpp <= 8 ? (1u << bpp) : 0);
    colors = std::min<size_t>(colors, 256);
    const size_t entry = core ? 3 : 4;
    if (!b.Has(pos, colors * entry)) Invalid();
    info.palette.reserve(colors);
    for (size_t i = 0; i < colors; ++i) {
        size_t e = pos + i * entry;
        info.palette.push_back(RGB(b.Raw(e + 2), b.Raw(e + 1), b.Raw(e)));
    }
    info.tableEnd = pos + colors * entry;
    return info;
}

size_t RowStride(int width, int bpp) {
    return ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
}

void PutColor(RgbaImage& img, int x, int y, TColor c) {
    uint8_t* p = img.At(x, y);
    p[0] = GetRValue(c);
    p[1] = GetGValue(c);
    p[2] = GetBValue(c);
    p[3] = 255;
}

TColor PaletteColor(const DibInfo& info, unsigned index) {
    return index < info.palette.size() ? info.palette[index] : clBlack;
}

// Uncompressed rows (compression 0 or 3). Returns the position after them.
size_t DecodeRows(const Bytes& b, size_t pos, const DibInfo& info, RgbaImage& img) {
    const size_t stride = RowStride(info.width, info.bitCount);
    const size_t total = stride * static_cast<size_t>(info.height);
    if (!b.Has(pos, total)) Invalid();
    const Channel red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]);
    for (int row = 0; row < info.height; ++row) {
        const size_t r = pos + static_cast<size_t>(row) * stride;
        const int y = info.topDown ? row : info.height - 1 - row;
        for (int x = 0; x < info.width; ++x) {
            switch (info.bitCount) {
            case 1:
                PutColor(img, x, y, PaletteColor(info, (b.Raw(r + x / 8) >> (7 - x % 8)) & 1));
                break;
            case 4:
                PutColor(img, x, y, PaletteColor(info, (b.Raw(r + x / 2) >> (x % 2 ? 0 : 4)) & 15));
                break;
            case 8:
                PutColor(img, x, y, PaletteColor(info, b.Raw(r + x)));
                break;
            case 16: {
                uint32_t v = b.Raw(r + 2 * x) | (b.Raw(r + 2 * x + 1) << 8);
                PutColor(img, x, y, RGB(red.Get(v), green.Get(v), blue.Get(v)));
                break;
            }
            case 24: {
                size_t p = r + 3 * static_cast<size_t>(x);
                PutColor(img, x, y, RGB(b.Raw(p + 2), b.Raw(p + 1), b.Raw(p)));
                break;
            }
            default: {
                size_t p = r + 4 * static_cast<size_t>(x);
                uint32_t v = b.Raw(p) | (b.Raw(p + 1) << 8) | (b.Raw(p + 2) << 16) |
                             (static_cast<uint32_t>(b.Raw(p + 3)) << 24);
                PutColor(img, x, y, RGB(red.Get(v), green.Get(v), blue.Get(v)));
                break;
            }
            }
        }
    }
    return pos + total;
}

// Run-length encoded rows (8 or 4 bits). Pixels the runs never reach keep
// colour 0; a run or a jump that leaves the picture is an error.
void DecodeRle(const Bytes& b, size_t pos, const DibInfo& info, RgbaImage& img) {
    const bool four = info.compression == kRle4;
    const TColor background = PaletteColor(info, 0);
    for (int y = 0; y < img.Height; ++y)
        for (int x = 0; x < img.Width; ++x)
            PutColor(img, x, y, background);
    const size_t end = b.Size();
    int64_t x = 0, row = 0;
    auto put = [&](unsigned index) {
        const int y = info.topDown ? static_cast<int>(row) : info.height - 1 - static_cast<int>(row);
        PutColor(img, static_cast<int>(x), y, PaletteColor(info, index));
        ++x;
    };
    auto checkRun = [&](int64_t count) {
        if (row >= info.height || x + count > info.width) Invalid();
    };
    while (pos < end) {
        if (pos + 1 >= end) Invalid();
        const uint8_t count = b.Raw(pos), value = b.Raw(pos + 1);
        pos += 2;
        if (count > 0) {
            checkRun(count);
            for (int i = 0; i < count; ++i)
                put(four ? ((i % 2 == 0) ? value >> 4 : value & 15) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++row;
        } else if (value == 1) { // end of picture
            return;
        } else if (value == 2) { // jump
            const int64_t dx = b.U8(pos), dy = b.U8(pos + 1);
            pos += 2;
            x += dx;
            row += dy;
            if (x > info.width || row > info.height) Invalid();
        } else { // absolute run
            const size_t bytes = four ? (value + 1) / 2 : value;
            if (!b.Has(pos, bytes)) Invalid();
            checkRun(value);
            for (int i = 0; i < value; ++i) {
                const uint8_t byte = b.Raw(pos + (four ? i / 2 : i));
                put(four ? ((i % 2 == 0) ? byte >> 4 : byte & 15) : byte);
            }
            pos += bytes + (bytes & 1);
        }
    }
}

TDecodedPicture DecodeDibAt(const Bytes& b, size_t headerAt, size_t pixelsAt, bool extended) {
    DibInfo info = ReadDibInfo(b, headerAt, extended, false);
    if (pixelsAt == std::string_view::npos) pixelsAt = info.tableEnd;
    // Uncompressed rows must all be there before the picture is allocated: a
    // header alone may ask for 64 MB. Runs may describe any picture.
    const bool runs = info.compression == kRle8 || info.compression == kRle4;
    if (!runs && !b.Has(pixelsAt, RowStride(info.width, info.bitCount) * static_cast<size_t>(info.height)))
        Invalid();
    TDecodedPicture result;
    result.Image = RgbaImage(info.width, info.height);
    result.BitCount = info.bitCount;
    if (info.compression == kRle8 || info.compression == kRle4)
        DecodeRle(b, pixelsAt, info, result.Image);
    else
        DecodeRows(b, pixelsAt, info, result.Image);
    result.Palette = std::move(info.palette);
    return result;
}

bool IsPng(std::string_view d) {
    return d.size() >= 8 && d.substr(0, 8) == "\x89PNG\r\n\x1A\n";
}

TDecodedPicture DecodePngBytes(std::string_view d) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, d.data(), d.size())) Invalid();
    if (image.width == 0 || image.height == 0 || image.width > kMaxPictureSide ||
        image.height > kMaxPictureSide ||
        static_cast<int64_t>(image.width) * image.height > kMaxPicturePixels) {
        png_image_free(&image);
        Invalid();
    }
    image.format = PNG_FORMAT_RGBA;
    TDecodedPicture result;
    result.Image = RgbaImage(static_cast<int>(image.width), static_cast<int>(image.height));
    result.BitCount = 32;
    if (!png_image_finish_read(&image, nullptr, result.Image.Pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        Invalid();
    }
    return result;
}

// An icon's colour image followed by its 1-bit mask (set bits are transparent).
TDecodedPicture DecodeIconImage(const Bytes& b, size_t at) {
    DibInfo info = ReadDibInfo(b, at, false, true);
    if (info.compression != kRgb && info.compression != kBitFields) Invalid();
    if (!b.Has(info.tableEnd, RowStride(info.width, info.bitCount) * static_cast<size_t>(info.height)))
        Invalid();
    TDecodedPicture result;
    result.Image = RgbaImage(info.width, info.height);
    result.BitCount = info.bitCount;
    const size_t maskAt = DecodeRows(b, info.tableEnd, info, result.Image);

    bool ownAlpha = false;
    if (info.bitCount == 32) {
        const size_t stride = RowStride(info.width, 32);
        for (int row = 0; row < info.height; ++row) {
            const int y = info.topDown ? row : info.height - 1 - row;
            for (int x = 0; x < info.width; ++x) {
                const uint8_t a = b.Raw(info.tableEnd + row * stride + 4 * static_cast<size_t>(x) + 3);
                result.Image.At(x, y)[3] = a;
                ownAlpha = ownAlpha || a != 0;
            }
        }
    }
    if (!ownAlpha) {
        for (int y = 0; y < info.height; ++y)
            for (int x = 0; x < info.width; ++x)
                result.Image.At(x, y)[3] = 255;
        const size_t stride = RowStride(info.width, 1);
        // A missing mask leaves the picture opaque.
        if (b.Has(maskAt, stride * info.height)) {
            for (int row = 0; row < info.height; ++row) {
                const int y = info.topDown ? row : info.height - 1 - row;
                for (int x = 0; x < info.width; ++x)
                    if ((b.Raw(maskAt + row * stride + x / 8) >> (7 - x % 8)) & 1)
                        result.Image.At(x, y)[3] = 0;
            }
        }
    }
    result.Palette = std::move(info.palette);
    return result;
}

} // namespace

TDecodedPicture DecodePackedDib(std::string_view data) {
    Bytes b(data);
    return DecodeDibAt(b, 0, std::string_view::npos, false);
}

TDecodedPicture DecodeBmpFile(std::string_view data) {
    Bytes b(data);
    if (b.Size() < 14 || data.substr(0, 2) != "BM") Invalid();
    const uint32_t offBits = b.U32(10);
    const uint32_t headerSize = b.U32(14);
    size_t pixelsAt = std::string_view::npos;
    if (static_cast<uint64_t>(offBits) >= 14ull + headerSize && offBits <= b.Size()) pixelsAt = offBits;
    return DecodeDibAt(b, 14, pixelsAt, true);
}

TDecodedPicture DecodeIcon(std::string_view data) {
    Bytes b(data);
    const uint16_t reserved = b.U16(0), type = b.U16(2), count = b.U16(4);
    if (reserved != 0 || (type != 1 && type != 2) || count == 0) Invalid();
    if (!b.Has(6, 16u * count)) Invalid();
    int best = -1;
    int64_t bestArea = -1;
    int bestBits = -1;
    for (int i = 0; i < count; ++i) {
        const size_t e = 6 + 16 * static_cast<size_t>(i);
        const int w = b.Raw(e) == 0 ? 256 : b.Raw(e);
        const int h = b.Raw(e + 1) == 0 ? 256 : b.Raw(e + 1);
        const int bits = b.U16(e + 6);
        const int64_t area = static_cast<int64_t>(w) * h;
        if (area > bestArea || (area == bestArea && bits > bestBits)) {
            best = i;
            bestArea = area;
            bestBits = bits;
        }
    }
    const size_t e = 6 + 16 * static_cast<size_t>(best);
    const uint32_t size = b.U32(e + 8), offset = b.U32(e + 12);
    std::string_view image = b.Sub(offset, size);
    if (IsPng(image)) return DecodePngBytes(image);
    return DecodeIconImage(Bytes(image), 0);
}

std::string EncodeBmpFile(const RgbaImage& image) {
    if (image.Width <= 0 || image.Height <= 0 ||
        image.Pixels.size() != static_cast<size_t>(image.Width) * image.Height * 4)
        throw EInvalidGraphic(kDibInvalid);
    // Colours in order of first appearance, up to one more than fits a table.
    std::unordered_map<uint32_t, uint8_t> index;
    std::vector<uint32_t> colors;
    for (int y = 0; y < image.Height && colors.size() <= 256; ++y)
        for (int x = 0; x < image.Width; ++x) {
            const uint8_t* p = image.At(x, y);
            const uint32_t c = RGB(p[0], p[1], p[2]);
            if (index.count(c)) continue;
            if (colors.size() == 256) {
                colors.push_back(c);
                break;
            }
            index[c] = static_cast<uint8_t>(colors.size());
            colors.push_back(c);
        }
    const bool paletted = colors.size() <= 256;
    const int bpp = paletted ? 8 : 24;
    const size_t stride = RowStride(image.Width, bpp);
    const size_t tableBytes = paletted ? colors.size() * 4 : 0;
    const size_t offBits = 14 + 40 + tableBytes;
    const size_t fileSize = offBits + stride * image.Height;

    std::string out;
    out.reserve(fileSize);
    auto u16 = [&](uint32_t v) {
        out.push_back(static_cast<char>(v & 0xFF));
        out.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    auto u32 = [&](uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    out += "BM";
    u32(static_cast<uint32_t>(fileSize));
    u32(0);
    u32(static_cast<uint32_t>(offBits));
    u32(40);
    u32(static_cast<uint32_t>(image.Width));
    u32(static_cast<uint32_t>(image.Height));
    u16(1);
    u16(static_cast<uint32_t>(bpp));
    u32(kRgb);
    u32(static_cast<uint32_t>(stride * image.Height));
    u32(2835); // 72 dpi
    u32(2835);
    u32(paletted ? static_cast<uint32_t>(colors.size()) : 0);
    u32(0);
    if (paletted)
        for (uint32_t c : colors) {
            out.push_back(static_cast<char>(GetBValue(c)));
            out.push_back(static_cast<char>(GetGValue(c)));
            out.push_back(static_cast<char>(GetRValue(c)));
            out.push_back(0);
        }
    for (int row = 0; row < image.Height; ++row) {
        const int y = image.Height - 1 - row;
        const size_t rowStart = out.size();
        for (int x = 0; x < image.Width; ++x) {
            const uint8_t* p = image.At(x, y);
            if (paletted) {
                out.push_back(static_cast<char>(index[RGB(p[0], p[1], p[2])]));
            } else {
                out.push_back(static_cast<char>(p[2]));
                out.push_back(static_cast<char>(p[1]));
                out.push_back(static_cast<char>(p[0]));
            }
        }
        out.append(stride - (out.size() - rowStart), '\0');
    }
    return out;
}

} // namespace varnok
