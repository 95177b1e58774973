#include "Output.h"

#include "common/Exception.h"

#include <fstream>
#include <map>

namespace artgen {

namespace {

const Rgba kKey{255, 0, 255, 255};

void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

Rgba Keyed(Rgba c) { return c.a ? c : kKey; }

// File header and info header for a bottom-up BMP.
std::string Headers(int w, int h, int bits, uint32_t colours, uint32_t rowBytes) {
    uint32_t offset = 14 + 40 + colours * 4;
    uint32_t size = offset + rowBytes * static_cast<uint32_t>(h);
    std::string s = "BM";
    Put32(s, size);
    Put32(s, 0);
    Put32(s, offset);
    Put32(s, 40);
    Put32(s, static_cast<uint32_t>(w));
    Put32(s, static_cast<uint32_t>(h));
    Put16(s, 1);
    Put16(s, static_cast<uint32_t>(bits));
    Put32(s, 0);
    Put32(s, rowBytes * static_cast<uint32_t>(h));
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, colours);
    Put32(s, 0);
    return s;
}

} // namespace

std::string EncodeBmp24(const Canvas& c) {
    uint32_t rowBytes = (static_cast<uint32_t>(c.Width()) * 3 + 3) & ~3u;
    std::string s = Headers(c.Width(), c.Height(), 24, 0, rowBytes);
    for (int y = c.Height() - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < c.Width(); ++x) {
            Rgba p = Keyed(c.Get(x, y));
            row += static_cast<char>(p.b);
            row += static_cast<char>(p.g);
            row += static_cast<char>(p.r);
        }
        row.resize(rowBytes, '\0');
        s += row;
    }
    return s;
}

std::string EncodeBmp8(const Canvas& c) {
    std::map<uint32_t, int> index;
    std::vector<Rgba> colours;
    auto key = [](Rgba p) { return (uint32_t{p.r} << 16) | (uint32_t{p.g} << 8) | p.b; };
    for (int y = 0; y < c.Height(); ++y)
        for (int x = 0; x < c.Width(); ++x) {
            Rgba p = Keyed(c.Get(x, y));
            if (index.emplace(key(p), static_cast<int>(colours.size())).second) colours.push_back(p);
        }
    if (colours.size() > 256)
        throw varnok::EConvertError("picture has " + std::to_string(colours.size()) +
                                    " colours, an 8-bit picture holds 256");
    uint32_t rowBytes = (static_cast<uint32_t>(c.Width()) + 3) & ~3u;
    std::string s = Headers(c.Width(), c.Height(), 8, 256, rowBytes);
    for (size_t i = 0; i < 256; ++i) {
        Rgba p = i < colours.size() ? colours[i] : Rgba{};
        s += static_cast<char>(p.b);
        s += static_cast<char>(p.g);
        s += static_cast<char>(p.r);
        s += '\0';
    }
    for (int y = c.Height() - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < c.Width(); ++x) row += static_cast<char>(index[key(Keyed(c.Get(x, y)))]);
        row.resize(rowBytes, '\0');
        s += row;
    }
    return s;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw varnok::EFileError("Cannot write " + path);
}

void SavePng(const std::string& path, const Canvas& c) {
    varnok::RgbaImage img = c.ToImage();
    for (int y = 0; y < img.Height; ++y)
        for (int x = 0; x < img.Width; ++x) {
            uint8_t* p = img.At(x, y);
            if (p[3] == 0) p[0] = 255, p[1] = 0, p[2] = 255;
        }
    varnok::WritePng(path, img);
}

Canvas PreviewSheet(const Canvas& pic, int pw, int ph, int scale) {
    Canvas out(pic.Width() * scale, pic.Height() * scale);
    for (int y = 0; y < out.Height(); ++y)
        for (int x = 0; x < out.Width(); ++x) {
            Rgba p = pic.Get(x / scale, y / scale);
            bool grid = pw > 0 && ph > 0 && ((x / scale) % pw == 0 && x % scale == 0) ;
            grid = grid || (ph > 0 && (y / scale) % ph == 0 && y % scale == 0);
            if (p.a) out.Set(x, y, p);
            else if (grid) out.Set(x, y, {200, 60, 200, 255});
            else out.Set(x, y, ((x / 8 + y / 8) % 2) ? Rgba{96, 104, 120, 255} : Rgba{120, 128, 144, 255});
        }
    return out;
}

} // namespace artgen
