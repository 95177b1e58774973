// File readers against headers that ask for more than the data holds: each
// refuses the request with a clear error before allocating for it.
#include "common/Exception.h"
#include "common/Image.h"
#include "tests/support/TestSupport.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

using namespace varnok;
using namespace varnok::test;

namespace {

uint32_t Crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string BigEndian32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// A PNG file of a real picture whose header then claims width x height; the
// header's checksum is made to fit, so only the size is wrong.
std::string PngClaiming(uint32_t width, uint32_t height) {
    TempDir dir;
    WritePng(dir / "one.png", RgbaImage(1, 1));
    std::string png = ReadFileBytes(dir / "one.png");
    // Signature (8), IHDR length (4), "IHDR" (4), width, height at 16 and 20.
    png.replace(16, 4, BigEndian32(width));
    png.replace(20, 4, BigEndian32(height));
    png.replace(29, 4, BigEndian32(Crc32(png.substr(12, 17))));
    return png;
}

std::string ErrorOf(const std::string& png) {
    try {
        ReadPngBytes(png, "big.png");
    } catch (const EFileError& e) {
        return e.what();
    }
    return "";
}

} // namespace

// 8192 x 8192 is within 16384 a side but 64 million pixels: a 70-byte file
// used to ask for 256 MB before finding that the pixels are missing.
TEST(PngReader, RefusesPicturesAboveTheBoundFromTheHeaderAlone) {
    EXPECT_EQ(ErrorOf(PngClaiming(1, 1)), "");
    EXPECT_EQ(ErrorOf(PngClaiming(8192, 8192)), "PNG file big.png has an unsupported size");
    EXPECT_EQ(ErrorOf(PngClaiming(16385, 1)), "PNG file big.png has an unsupported size");
    // At the bound the picture is allowed; here its rows are missing.
    EXPECT_NE(ErrorOf(PngClaiming(4096, 4096)).find("Cannot decode PNG file big.png"), std::string::npos);
}
