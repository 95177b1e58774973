// Decodes arbitrary bytes as a PNG file, both as the picture reader does and
// as the icon reader does with a PNG inside an icon. Every input must decode
// to a whole RGBA picture or fail with the readers' exceptions. Pictures above
// the fuzz allocation cap are skipped.
#include "common/Exception.h"
#include "common/Image.h"
#include "level/Dib.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>

using namespace varnok;

namespace {

using fuzz::Check;

void CheckImage(const RgbaImage& image) {
    Check(image.Width > 0 && image.Height > 0, "a decoded picture has pixels");
    Check(image.Pixels.size() == static_cast<size_t>(image.Width) * image.Height * 4, "pixel buffer size");
}

// An icon file whose one picture is the PNG.
std::string IconHolding(const std::string& png) {
    std::string icon = std::string("\0\0\1\0\1\0", 6) + std::string(16, '\0');
    const auto put32 = [&icon](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            icon[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    icon[6 + 4] = 1;
    icon[6 + 6] = 32;
    put32(6 + 8, static_cast<uint32_t>(png.size()));
    put32(6 + 12, static_cast<uint32_t>(icon.size()));
    return icon + png;
}

void TryReader(const std::string& bytes) {
    try {
        CheckImage(ReadPngBytes(bytes, "fuzz.png"));
    } catch (const EFileError& e) {
        Check(std::string(e.what()).find("fuzz.png") != std::string::npos, "the message names the file");
    }
}

void TryIcon(const std::string& bytes) {
    try {
        const TDecodedPicture picture = DecodeIcon(IconHolding(bytes));
        CheckImage(picture.Image);
    } catch (const EInvalidGraphic& e) {
        Check(std::string(e.what()) == kDibInvalid, "the documented message");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fuzz::RunCapped([&] { TryReader(bytes); });
    fuzz::RunCapped([&] { TryIcon(bytes); });
    return 0;
}
