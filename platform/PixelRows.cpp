#include "platform/PixelRows.h"

#include <cstring>
#include <immintrin.h>

namespace varnok::platform {

namespace {

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Eight pixels at a time; returns how many pixels it converted.
__attribute__((target("avx2"))) int ExpandAvx2(const uint16_t* in, int count, uint32_t* out, int scale,
                                               uint32_t alpha) {
    if (scale != 1 && scale != 2) return 0;
    const __m256i mask5 = _mm256_set1_epi32(31), mask6 = _mm256_set1_epi32(63), a = _mm256_set1_epi32(alpha);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i c = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)));
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(c, 11), mask5);
        const __m256i g = _mm256_and_si256(_mm256_srli_epi32(c, 5), mask6);
        const __m256i b = _mm256_and_si256(c, mask5);
        const __m256i r8 = _mm256_or_si256(_mm256_slli_epi32(r, 3), _mm256_srli_epi32(r, 2));
        const __m256i g8 = _mm256_or_si256(_mm256_slli_epi32(g, 2), _mm256_srli_epi32(g, 4));
        const __m256i b8 = _mm256_or_si256(_mm256_slli_epi32(b, 3), _mm256_srli_epi32(b, 2));
        const __m256i p = _mm256_or_si256(_mm256_or_si256(a, _mm256_slli_epi32(r8, 16)),
                                          _mm256_or_si256(_mm256_slli_epi32(g8, 8), b8));
        if (scale == 1) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), p);
        } else {
            // p0 p0 p1 p1 | p4 p4 p5 p5 and p2 p2 p3 p3 | p6 p6 p7 p7, put in order.
            const __m256i lo = _mm256_unpacklo_epi32(p, p), hi = _mm256_unpackhi_epi32(p, p);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i),
                                _mm256_permute2x128_si256(lo, hi, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 2 * i + 8),
                                _mm256_permute2x128_si256(lo, hi, 0x31));
        }
    }
    return i;
}

} // namespace

void ExpandRow565To8888Plain(const uint16_t* in, int count, uint32_t* out, int scale, uint32_t alpha) {
    for (int i = 0; i < count; ++i) {
        const uint32_t p = Rgb565To8888(in[i], alpha);
        for (int j = 0; j < scale; ++j)
            *out++ = p;
    }
}

void ExpandRow565To8888(const uint16_t* in, int count, uint32_t* out, int scale, uint32_t alpha) {
    const int done = HasAvx2() ? ExpandAvx2(in, count, out, scale, alpha) : 0;
    ExpandRow565To8888Plain(in + done, count - done, out + static_cast<ptrdiff_t>(done) * scale, scale,
                            alpha);
}

namespace {

// Whether the 16 pixels at a and b differ.
bool PieceDiffersPlain(const uint16_t* a, const uint16_t* b) {
    return std::memcmp(a, b, 32) != 0;
}

__attribute__((target("avx2"))) bool PieceDiffersAvx2(const uint16_t* a, const uint16_t* b) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    return !_mm256_testz_si256(_mm256_xor_si256(x, y), _mm256_xor_si256(x, y));
}

template <bool (*Differs)(const uint16_t*, const uint16_t*)>
bool UpdateRow(const uint16_t* row, uint16_t* shadow, int count, uint32_t* out, ptrdiff_t outPitch, int rows,
               int scale, uint32_t alpha, bool force) {
    constexpr int kPiece = 16;
    bool any = false;
    int runStart = -1;
    auto flush = [&](int end) {
        const int n = end - runStart;
        std::memcpy(shadow + runStart, row + runStart, static_cast<size_t>(n) * 2);
        uint32_t* o = out + static_cast<ptrdiff_t>(runStart) * scale;
        ExpandRow565To8888(row + runStart, n, o, scale, alpha);
        for (int r = 1; r < rows; ++r)
            std::memcpy(o + r * outPitch, o, static_cast<size_t>(n) * scale * sizeof(uint32_t));
        any = true;
        runStart = -1;
    };
    for (int i = 0; i < count; i += kPiece) {
        const int n = count - i < kPiece ? count - i : kPiece;
        const bool differs =
            force || (n == kPiece ? Differs(row + i, shadow + i)
                                  : std::memcmp(row + i, shadow + i, static_cast<size_t>(n) * 2) != 0);
        if (!differs) {
            if (runStart >= 0) flush(i);
        } else if (runStart < 0) {
            runStart = i;
        }
    }
    if (runStart >= 0) flush(count);
    return any;
}

} // namespace

bool UpdateRow565To8888(const uint16_t* row, uint16_t* shadow, int count, uint32_t* out, ptrdiff_t outPitch,
                        int rows, int scale, uint32_t alpha, bool force) {
    if (HasAvx2())
        return UpdateRow<PieceDiffersAvx2>(row, shadow, count, out, outPitch, rows, scale, alpha, force);
    return UpdateRow<PieceDiffersPlain>(row, shadow, count, out, outPitch, rows, scale, alpha, force);
}

} // namespace varnok::platform
