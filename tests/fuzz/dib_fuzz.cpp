// Decodes arbitrary bytes as a packed DIB, a BMP file and an icon. Every input
// must decode or fail with "DIB is invalid"; a decoded picture must survive
// the BMP writer unchanged. Pictures above the fuzz allocation cap are skipped.
//
// scripts/fuzz.sh builds and runs it with its seeds.
#include "common/Exception.h"
#include "level/Dib.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace varnok;

namespace {

using fuzz::Check;

void CheckPicture(const TDecodedPicture& p) {
    Check(p.Image.Width > 0 && p.Image.Height > 0, "a decoded picture has pixels");
    Check(p.Image.Pixels.size() == static_cast<size_t>(p.Image.Width) * p.Image.Height * 4,
          "pixel buffer size");
    Check(p.Palette.size() <= 256, "at most 256 colours");
    // Small pictures only: the writer's round trip is slow on large ones.
    if (static_cast<int64_t>(p.Image.Width) * p.Image.Height > 65536) return;
    TDecodedPicture again = DecodeBmpFile(EncodeBmpFile(p.Image));
    Check(again.Image.Width == p.Image.Width && again.Image.Height == p.Image.Height, "same size");
    for (size_t i = 0; i < p.Image.Pixels.size(); i += 4)
        for (size_t c = 0; c < 3; ++c)
            Check(again.Image.Pixels[i + c] == p.Image.Pixels[i + c], "same colours");
}

template <typename Decode> void Try(Decode decode, std::string_view bytes) {
    TDecodedPicture picture;
    try {
        picture = decode(bytes);
    } catch (const EInvalidGraphic& e) {
        Check(std::string(e.what()) == kDibInvalid, "the documented message");
        return;
    }
    CheckPicture(picture);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] { Try(DecodePackedDib, bytes); });
    fuzz::RunCapped([&] { Try(DecodeBmpFile, bytes); });
    fuzz::RunCapped([&] { Try(DecodeIcon, bytes); });
    return 0;
}
