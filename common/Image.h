#pragma once
// A plain picture in memory: 8-bit RGBA rows, top row first. Used to move
// pictures between files (PNG, BMP) and surfaces.
#include <cstdint>
#include <string>
#include <vector>

namespace varnok {

struct RgbaImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Pixels; // Width * Height * 4 bytes: R, G, B, A

    RgbaImage() = default;
    RgbaImage(int w, int h) : Width(w), Height(h), Pixels(static_cast<size_t>(w) * h * 4, 0) {}
    uint8_t* At(int x, int y) { return &Pixels[(static_cast<size_t>(y) * Width + x) * 4]; }
    const uint8_t* At(int x, int y) const { return &Pixels[(static_cast<size_t>(y) * Width + x) * 4]; }
};

// The largest picture a file may hold: 16384 pixels a side and 16 million
// pixels (64 MB as RGBA). Larger ones are refused before anything is
// allocated: a few bytes of header may ask for any size.
inline constexpr int kMaxImageSide = 16384;
inline constexpr int64_t kMaxImagePixels = 16 * 1024 * 1024;

// PNG files. Reading accepts every PNG colour type and bit depth (converted to
// RGBA); both raise EFileError with a readable message on failure.
RgbaImage ReadPng(const std::string& path);
// A PNG file already read into memory; name is used in messages.
RgbaImage ReadPngBytes(const std::string& bytes, const std::string& name);
void WritePng(const std::string& path, const RgbaImage& image);

} // namespace varnok
