// File readers against headers that ask for more than the data holds: each
// refuses the request with a clear error before allocating for it.
#include "common/Exception.h"
#include "common/Image.h"
#include "level/Dib.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

void PutLe32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// An info header of width x height at the given depth, with a full colour
// table for paletted depths and no pixel rows at all.
std::string DibHeaderOnly(int32_t width, int32_t height, uint16_t bits) {
    std::string dib(40, '\0');
    PutLe32(dib, 0, 40);
    PutLe32(dib, 4, static_cast<uint32_t>(width));
    PutLe32(dib, 8, static_cast<uint32_t>(height));
    dib[12] = 1;
    dib[14] = static_cast<char>(bits);
    if (bits <= 8) dib.append(4u << bits, '\0');
    return dib;
}

// How many MB the peak memory of a child process grew while it ran action
// (run in a child so that the test's own earlier peaks do not hide it).
int PeakGrowthMb(const std::function<void()>& action) {
    const pid_t pid = fork();
    if (pid == 0) {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        try {
            action();
        } catch (...) {
        }
        getrusage(RUSAGE_SELF, &after);
        _exit(static_cast<int>(std::min<long>(250, (after.ru_maxrss - before.ru_maxrss) / 1024)));
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
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

// A DIB header of 4096 x 4096 pixels with no rows used to cost 64 MB before
// the missing rows were found; packed, in a BMP file and in an icon.
TEST(DibReader, MissingRowsAreFoundBeforeThePictureIsAllocated) {
    const std::string packed = DibHeaderOnly(4096, 4096, 8);
    std::string bmp = "BM" + std::string(12, '\0') + packed;
    PutLe32(bmp, 2, static_cast<uint32_t>(bmp.size()));
    PutLe32(bmp, 10, static_cast<uint32_t>(bmp.size()));
    std::string icon = std::string("\0\0\1\0\1\0", 6) + std::string(16, '\0');
    const std::string iconImage = DibHeaderOnly(4096, 2 * 4096, 32);
    PutLe32(icon, 6 + 8, static_cast<uint32_t>(iconImage.size()));
    PutLe32(icon, 6 + 12, static_cast<uint32_t>(icon.size()));
    icon += iconImage;

    EXPECT_THROW(DecodePackedDib(packed), EInvalidGraphic);
    EXPECT_THROW(DecodeBmpFile(bmp), EInvalidGraphic);
    EXPECT_THROW(DecodeIcon(icon), EInvalidGraphic);
    EXPECT_LT(PeakGrowthMb([&] { DecodePackedDib(packed); }), 16);
    EXPECT_LT(PeakGrowthMb([&] { DecodeBmpFile(bmp); }), 16);
    EXPECT_LT(PeakGrowthMb([&] { DecodeIcon(icon); }), 16);

    // With its rows a header is a picture, and the measure sees its 16 MB.
    const std::string whole = DibHeaderOnly(2048, 2048, 8) + std::string(size_t{2048} * 2048, '\0');
    EXPECT_GE(PeakGrowthMb([&] { DecodePackedDib(whole); }), 12);
}
