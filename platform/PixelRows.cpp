#include "platform/PixelRows.h"

#include <algorithm>
#include <cstring>
#include <immintrin.h>

namespace varnok::platform {

namespace {

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

constexpr int kMaxVectorScale = 16;

// For scale k, the k lane orders that spread 8 pixels over 8 * k outputs:
// output lane t of vector m shows pixel (8m + t) / k.
struct SpreadOrders {
    alignas(32) int32_t lanes[kMaxVectorScale + 1][kMaxVectorScale][8];
    SpreadOrders() {
        for (int k = 1; k <= kMaxVectorScale; ++k)
            for (int m = 0; m < k; ++m)
                for (int t = 0; t < 8; ++t)
                    lanes[k][m][t] = (8 * m + t) / k;
    }
};
const SpreadOrders kSpread;

// Eight pixels converted and scaled, each output vector stored straight into
// every one of the rows (no second pass reading the first row back).
struct Expander {
    __m256i mask5, mask6, alpha;
    __m256i order[kMaxVectorScale];
    int scale;

    __attribute__((target("avx2"))) Expander(int k, uint32_t a)
        : mask5(_mm256_set1_epi32(31)), mask6(_mm256_set1_epi32(63)), alpha(_mm256_set1_epi32(a)), scale(k) {
        for (int m = 0; m < k; ++m)
            order[m] = _mm256_load_si256(reinterpret_cast<const __m256i*>(kSpread.lanes[k][m]));
    }

    __attribute__((target("avx2"), always_inline)) inline void Eight(__m128i pixels, uint32_t* out,
                                                                     ptrdiff_t outPitch, int rows) const {
        const __m256i c = _mm256_cvtepu16_epi32(pixels);
        const __m256i r = _mm256_and_si256(_mm256_srli_epi32(c, 11), mask5);
        const __m256i g = _mm256_and_si256(_mm256_srli_epi32(c, 5), mask6);
        const __m256i b = _mm256_and_si256(c, mask5);
        const __m256i r8 = _mm256_or_si256(_mm256_slli_epi32(r, 3), _mm256_srli_epi32(r, 2));
        const __m256i g8 = _mm256_or_si256(_mm256_slli_epi32(g, 2), _mm256_srli_epi32(g, 4));
        const __m256i b8 = _mm256_or_si256(_mm256_slli_epi32(b, 3), _mm256_srli_epi32(b, 2));
        const __m256i p = _mm256_or_si256(_mm256_or_si256(alpha, _mm256_slli_epi32(r8, 16)),
                                          _mm256_or_si256(_mm256_slli_epi32(g8, 8), b8));
        if (scale == 1) {
            for (int row = 0; row < rows; ++row)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + row * outPitch), p);
            return;
        }
        for (int m = 0; m < scale; ++m) {
            const __m256i v = _mm256_permutevar8x32_epi32(p, order[m]);
            for (int row = 0; row < rows; ++row)
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + row * outPitch + 8 * m), v);
        }
    }
};

// Converts whole groups of eight pixels; returns how many pixels it did.
__attribute__((target("avx2"))) int ExpandAvx2(const uint16_t* in, int count, uint32_t* out,
                                               ptrdiff_t outPitch, int rows, int scale, uint32_t alpha) {
    if (scale < 1 || scale > kMaxVectorScale) return 0;
    const Expander expand(scale, alpha);
    int i = 0;
    for (; i + 8 <= count; i += 8)
        expand.Eight(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i)),
                     out + static_cast<ptrdiff_t>(i) * scale, outPitch, rows);
    return i;
}

// count pixels converted into rows rows, outPitch pixels apart.
void ExpandRows(const uint16_t* in, int count, uint32_t* out, ptrdiff_t outPitch, int rows, int scale,
                uint32_t alpha) {
    const int done = HasAvx2() ? ExpandAvx2(in, count, out, outPitch, rows, scale, alpha) : 0;
    if (done == count) return;
    // The rest (or everything without the vector instructions): one row
    // converted, then copied into the others.
    uint32_t* o = out + static_cast<ptrdiff_t>(done) * scale;
    ExpandRow565To8888Plain(in + done, count - done, o, scale, alpha);
    for (int r = 1; r < rows; ++r)
        std::memcpy(o + r * outPitch, o, static_cast<size_t>(count - done) * scale * sizeof(uint32_t));
}

// The row compared and converted in groups of eight pixels: eight pixels at
// scale 2 are one 64-byte line of a 32-bit window row, so a thin change (a
// raindrop) costs one line per window row. Used without the vector
// instructions, for scales beyond them, and for the last pixels of a row.
bool UpdateRowPlain(const uint16_t* row, uint16_t* shadow, int count, uint32_t* out, ptrdiff_t outPitch,
                    int rows, int scale, uint32_t alpha, bool force, uint8_t* changedGroups) {
    constexpr int kGroup = 8;
    bool any = false;
    int runStart = -1;
    auto flush = [&](int end) {
        const int n = end - runStart;
        std::memcpy(shadow + runStart, row + runStart, static_cast<size_t>(n) * 2);
        ExpandRows(row + runStart, n, out + static_cast<ptrdiff_t>(runStart) * scale, outPitch, rows, scale,
                   alpha);
        if (changedGroups) std::memset(changedGroups + runStart / kGroup, 1, static_cast<size_t>((n + kGroup - 1) / kGroup));
        any = true;
        runStart = -1;
    };
    for (int i = 0; i < count; i += kGroup) {
        const int n = count - i < kGroup ? count - i : kGroup;
        if (!force && std::memcmp(row + i, shadow + i, static_cast<size_t>(n) * 2) == 0) {
            if (runStart >= 0) flush(i);
        } else if (runStart < 0) {
            runStart = i;
        }
    }
    if (runStart >= 0) flush(count);
    return any;
}

// The same with the vector instructions, in one pass: sixteen pixels compared
// at once, and each differing group of eight converted on the spot.
__attribute__((target("avx2"))) bool UpdateRowAvx2(const uint16_t* row, uint16_t* shadow, int count,
                                                   uint32_t* out, ptrdiff_t outPitch, int rows, int scale,
                                                   uint32_t alpha, bool force, uint8_t* changedGroups) {
    const Expander expand(scale, alpha);
    bool any = false;
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i now = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i));
        const __m256i shown = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shadow + i));
        const auto same = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(now, shown)));
        if (same == 0xFFFFFFFFu && !force) continue;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(shadow + i), now);
        any = true;
        uint32_t* o = out + static_cast<ptrdiff_t>(i) * scale;
        if (force || (same & 0xFFFFu) != 0xFFFFu) {
            expand.Eight(_mm256_castsi256_si128(now), o, outPitch, rows);
            if (changedGroups) changedGroups[i / 8] = 1;
        }
        if (force || (same >> 16) != 0xFFFFu) {
            expand.Eight(_mm256_extracti128_si256(now, 1), o + 8 * scale, outPitch, rows);
            if (changedGroups) changedGroups[i / 8 + 1] = 1;
        }
    }
    if (i < count)
        any |= UpdateRowPlain(row + i, shadow + i, count - i, out + static_cast<ptrdiff_t>(i) * scale,
                              outPitch, rows, scale, alpha, force, changedGroups ? changedGroups + i / 8 : nullptr);
    return any;
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
    ExpandRows(in, count, out, 0, 1, scale, alpha);
}

bool UpdateRow565To8888(const uint16_t* row, uint16_t* shadow, int count, uint32_t* out, ptrdiff_t outPitch,
                        int rows, int scale, uint32_t alpha, bool force, uint8_t* changedGroups) {
    if (HasAvx2() && scale >= 1 && scale <= kMaxVectorScale)
        return UpdateRowAvx2(row, shadow, count, out, outPitch, rows, scale, alpha, force, changedGroups);
    return UpdateRowPlain(row, shadow, count, out, outPitch, rows, scale, alpha, force, changedGroups);
}

ChangedAreas::ChangedAreas(int width, int height, int bandRows, int joinGroups)
    : width_(std::max(width, 0)), height_(std::max(height, 0)), bandRows_(std::max(bandRows, 1)),
      joinGroups_(std::max(joinGroups, 0)), groups_((width_ + 7) / 8) {
    const int bands = (height_ + bandRows_ - 1) / bandRows_;
    // One spare entry: a row converted to its last pixel may flag one group
    // past a width that is not a multiple of eight.
    flags_.assign(static_cast<size_t>(bands) * static_cast<size_t>(groups_) + 1, 0);
}

void ChangedAreas::Clear() {
    std::fill(flags_.begin(), flags_.end(), 0);
}

std::vector<Rect> ChangedAreas::Rects() const {
    std::vector<Rect> rects;
    Rects(rects);
    return rects;
}

void ChangedAreas::Rects(std::vector<Rect>& rects) const {
    rects.clear();
    for (int top = 0, band = 0; top < height_; top += bandRows_, ++band) {
        const uint8_t* f = flags_.data() + static_cast<size_t>(band) * static_cast<size_t>(groups_);
        const int bottom = std::min(top + bandRows_, height_);
        int start = -1, end = -1; // the current run of groups, end exclusive
        for (int g = 0; g < groups_; ++g) {
            // Most of a band is unchanged: eight groups at a time pass.
            if (g + 8 <= groups_) {
                uint64_t eight;
                std::memcpy(&eight, f + g, sizeof eight);
                if (eight == 0) {
                    g += 7;
                    continue;
                }
            }
            if (!f[g]) continue;
            if (start >= 0 && g - end > joinGroups_) {
                rects.push_back({start * 8, top, std::min(end * 8, width_), bottom});
                start = -1;
            }
            if (start < 0) start = g;
            end = g + 1;
        }
        if (start >= 0) rects.push_back({start * 8, top, std::min(end * 8, width_), bottom});
    }
}

} // namespace varnok::platform
