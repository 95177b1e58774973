#pragma once
// Picture decoders for the graphics stored in image-list files: packed DIBs,
// whole BMP files and icons, plus a BMP writer. Every decoder treats its input
// as hostile: sizes, counts, offsets and run lengths are checked against the
// data, and anything that does not fit raises EInvalidGraphic "DIB is invalid".
#include "common/Color.h"
#include "common/Image.h"

#include <string>
#include <string_view>
#include <vector>

namespace varnok {

extern const char* const kDibInvalid; // "DIB is invalid"

// Pictures above these sizes are refused rather than allocated.
inline constexpr int kMaxPictureSide = kMaxImageSide;
inline constexpr int64_t kMaxPicturePixels = kMaxImagePixels;

struct TDecodedPicture {
    RgbaImage Image;             // top row first; alpha 255 except for icon masks
    int BitCount = 0;            // bits per pixel of the source
    std::vector<TColor> Palette; // the source's colour table (0x00BBGGRR), if any
};

// A packed DIB: header, colour masks, colour table, pixel rows. The header
// size must be 12 (core) or 40 (info).
TDecodedPicture DecodePackedDib(std::string_view data);
// A whole BMP file ("BM" file header first). Besides core and info headers the
// larger info headers of later BMP versions (52, 56, 108, 124 bytes) are read.
TDecodedPicture DecodeBmpFile(std::string_view data);
// An icon file image: its largest picture (ties: the most bits per pixel),
// with the icon's mask as alpha 0.
TDecodedPicture DecodeIcon(std::string_view data);

// A BMP file for a picture: 8 bits per pixel with a colour table when the
// picture has at most 256 colours, else 24 bits. Alpha is not stored.
std::string EncodeBmpFile(const RgbaImage& image);

} // namespace varnok
