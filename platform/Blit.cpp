#include "platform/Blit.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VARNOK_AVX2_COPY 1
#endif

namespace varnok::platform::blit {

namespace {

// Copies n bytes with a few unaligned fixed-size moves instead of a call: the
// runs of tiles and figures are short (up to a few dozen pixels), where a
// library call or a string instruction costs more than the copy itself.
// Source and destination never overlap.
[[gnu::always_inline]] inline void CopyBytes(uint8_t* d, const uint8_t* s, size_t n) {
    if (n > 64) {
        // Whole 64-byte blocks, then the last 64 bytes (overlapping what the
        // blocks copied) so that no shorter tail is needed.
        const uint8_t* const sEnd = s + n;
        uint8_t* const dEnd = d + n;
        for (; n > 64; d += 64, s += 64, n -= 64) std::memcpy(d, s, 64);
        std::memcpy(dEnd - 64, sEnd - 64, 64);
    } else if (n >= 32) { // two moves, the second overlapping the first
        std::memcpy(d, s, 32);
        std::memcpy(d + n - 32, s + n - 32, 32);
    } else if (n >= 16) {
        std::memcpy(d, s, 16);
        std::memcpy(d + n - 16, s + n - 16, 16);
    } else if (n >= 8) {
        std::memcpy(d, s, 8);
        std::memcpy(d + n - 8, s + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(d, s, 4);
        std::memcpy(d + n - 4, s + n - 4, 4);
    } else {
        for (size_t i = 0; i < n; ++i) d[i] = s[i];
    }
}

// Alpha 0..255 as a factor of 256ths, so that 255 reproduces the source.
inline int Factor(int alpha) { return alpha + (alpha >> 7); }

inline uint16_t BlendPixel(uint16_t d, uint16_t s, int f) {
    const int dr = d >> 11, dg = (d >> 5) & 63, db = d & 31;
    const int sr = s >> 11, sg = (s >> 5) & 63, sb = s & 31;
    const int r = dr + (((sr - dr) * f + 128) >> 8);
    const int g = dg + (((sg - dg) * f + 128) >> 8);
    const int b = db + (((sb - db) * f + 128) >> 8);
    return static_cast<uint16_t>(r << 11 | g << 5 | b);
}

#if defined(__SSE2__)
// Eight pixels with the same arithmetic as BlendPixel: the channel
// differences times the factor stay within 16 signed bits.
inline __m128i Blend8(__m128i s, __m128i d, __m128i factor) {
    const __m128i half = _mm_set1_epi16(128);
    const __m128i m6 = _mm_set1_epi16(63), m5 = _mm_set1_epi16(31);
    const __m128i sr = _mm_srli_epi16(s, 11), dr = _mm_srli_epi16(d, 11);
    const __m128i sg = _mm_and_si128(_mm_srli_epi16(s, 5), m6), dg = _mm_and_si128(_mm_srli_epi16(d, 5), m6);
    const __m128i sb = _mm_and_si128(s, m5), db = _mm_and_si128(d, m5);
    auto mix = [&](__m128i from, __m128i to) {
        return _mm_add_epi16(to, _mm_srai_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(from, to), factor), half), 8));
    };
    const __m128i r = mix(sr, dr), g = mix(sg, dg), b = mix(sb, db);
    return _mm_or_si128(_mm_or_si128(_mm_slli_epi16(r, 11), _mm_slli_epi16(g, 5)), b);
}

inline __m128i Load8(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store8(uint16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
#endif

void BlendRowFactor(uint16_t* dst, const uint16_t* src, int n, int f) {
#if defined(__SSE2__)
    if (n >= 8) {
        // The last eight pixels are blended from the untouched destination
        // first and stored last, so a row of any length >= 8 needs no
        // pixel-by-pixel tail (the overlap gets the same values twice).
        const __m128i factor = _mm_set1_epi16(static_cast<short>(f));
        const __m128i last = Blend8(Load8(src + n - 8), Load8(dst + n - 8), factor);
        for (int i = 0; i + 8 <= n; i += 8) Store8(dst + i, Blend8(Load8(src + i), Load8(dst + i), factor));
        Store8(dst + n - 8, last);
        return;
    }
#endif
    for (int i = 0; i < n; ++i) dst[i] = BlendPixel(dst[i], src[i], f);
}

} // namespace

std::span<const Run> RunCache::Find(const uint8_t* pixels, int pitch, int bytesPerPixel, uint32_t key, int left,
                                    int top, int width, int height) {
    const uint64_t rect = (static_cast<uint64_t>(left) << 48 | static_cast<uint64_t>(top) << 32 |
                           static_cast<uint64_t>(width) << 16 | static_cast<uint64_t>(height)) + 1;
    auto probe = [&](uint64_t r) {
        const size_t mask = slots_.size() - 1;
        size_t i = static_cast<size_t>((r * 0x9E3779B97F4A7C15ull) >> 40) & mask;
        while (slots_[i].rect != 0 && slots_[i].rect != r) i = (i + 1) & mask;
        return i;
    };
    if (slots_.empty()) slots_.resize(64);
    size_t i = probe(rect);
    if (slots_[i].rect == rect)
        return {runs_.data() + slots_[i].first, slots_[i].count};

    // New rectangle: keep the table at most half full; past a few thousand
    // rectangles or a million runs (12 MB) start over rather than grow
    // without end.
    constexpr size_t kMaxRuns = size_t{1} << 20;
    if ((used_ + 1) * 2 > slots_.size() || runs_.size() > kMaxRuns) {
        if (slots_.size() >= 8192 || runs_.size() > kMaxRuns) {
            Clear();
            slots_.resize(64);
        } else {
            std::vector<Slot> old(slots_.size() * 2);
            old.swap(slots_);
            for (const Slot& s : old)
                if (s.rect != 0) slots_[probe(s.rect)] = s;
        }
        i = probe(rect);
    }
    Slot& slot = slots_[i];
    slot.rect = rect;
    slot.first = static_cast<uint32_t>(runs_.size());
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<ptrdiff_t>(top + y) * pitch;
        int x = left;
        const int right = left + width;
        while (x < right) {
            while (x < right && ReadPixel(row + x * bytesPerPixel, bytesPerPixel) == key) ++x;
            const int start = x;
            while (x < right && ReadPixel(row + x * bytesPerPixel, bytesPerPixel) != key) ++x;
            if (x > start)
                runs_.push_back(Run{static_cast<uint32_t>((top + y) * static_cast<int64_t>(pitch) + start * bytesPerPixel),
                                    static_cast<uint16_t>(y), static_cast<uint16_t>(start - left),
                                    static_cast<uint16_t>(x - start)});
        }
    }
    slot.count = static_cast<uint32_t>(runs_.size() - slot.first);
    ++used_;
    return {runs_.data() + slot.first, slot.count};
}

void RunCache::Clear() {
    slots_.clear();
    runs_.clear();
    used_ = 0;
}

namespace {

// Calls fn(destination, run, pixelsSkipped, pixelCount) for the visible part
// of each run. Most blits are not clipped at all and take the short loop.
template <int Bpp, typename Fn>
inline void ForVisibleRuns(const Target& target, int width, int height, std::span<const Run> runs, Fn&& fn) {
    const Target t = target; // locals stay in registers across the stores
    if (t.clipLeft == 0 && t.clipTop == 0 && t.clipRight == width && t.clipBottom == height) {
        uint8_t* const origin = t.pixels + static_cast<ptrdiff_t>(t.y) * t.pitch + static_cast<ptrdiff_t>(t.x) * Bpp;
        for (const Run& run : runs)
            fn(origin + static_cast<ptrdiff_t>(run.y) * t.pitch + run.x * Bpp, run, 0, static_cast<int>(run.length));
        return;
    }
    for (const Run& run : runs) {
        if (run.y < t.clipTop || run.y >= t.clipBottom) continue;
        const int a = std::max<int>(run.x, t.clipLeft);
        const int b = std::min<int>(run.x + run.length, t.clipRight);
        if (b <= a) continue;
        fn(t.pixels + static_cast<ptrdiff_t>(t.y + run.y) * t.pitch + static_cast<ptrdiff_t>(t.x + a) * Bpp, run,
           a - run.x, b - a);
    }
}

#if VARNOK_AVX2_COPY
// Unclipped runs with 32-byte moves where the processor has them: half the
// stores of the 16-byte copy for the typical run of 16 to 32 pixels. Runs of
// 32 bytes and more are copied in 32-byte blocks, the last block overlapping
// the one before instead of a shorter tail.
__attribute__((target("avx2"))) void CopyUnclippedAvx2(uint8_t* origin, ptrdiff_t pitch, const uint8_t* srcPixels,
                                                        const Run* run, const Run* end, int bpp) {
    auto move32 = [](uint8_t* d, const uint8_t* s) __attribute__((target("avx2"))) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s)));
    };
    for (; run != end; ++run) {
        uint8_t* d = origin + static_cast<ptrdiff_t>(run->y) * pitch + run->x * bpp;
        const uint8_t* s = srcPixels + run->srcOffset;
        size_t n = static_cast<size_t>(run->length) * bpp;
        if (n < 32) {
            CopyBytes(d, s, n);
            continue;
        }
        uint8_t* const dLast = d + n - 32;
        const uint8_t* const sLast = s + n - 32;
        for (; n > 32; d += 32, s += 32, n -= 32) move32(d, s);
        move32(dLast, sLast);
    }
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

template <int Bpp>
void CopyRunsOf(const Target& t, int width, int height, const uint8_t* srcPixels, std::span<const Run> runs) {
#if VARNOK_AVX2_COPY
    if (HasAvx2() && t.clipLeft == 0 && t.clipTop == 0 && t.clipRight == width && t.clipBottom == height) {
        CopyUnclippedAvx2(t.pixels + static_cast<ptrdiff_t>(t.y) * t.pitch + static_cast<ptrdiff_t>(t.x) * Bpp, t.pitch,
                          srcPixels, runs.data(), runs.data() + runs.size(), Bpp);
        return;
    }
#endif
    ForVisibleRuns<Bpp>(t, width, height, runs, [srcPixels](uint8_t* d, const Run& run, int skip, int n) {
        CopyBytes(d, srcPixels + run.srcOffset + static_cast<size_t>(skip) * Bpp, static_cast<size_t>(n) * Bpp);
    });
}

} // namespace

void CopyRuns(const Target& t, int width, int height, const uint8_t* srcPixels, int bytesPerPixel,
              std::span<const Run> runs) {
    switch (bytesPerPixel) {
    case 1: CopyRunsOf<1>(t, width, height, srcPixels, runs); break;
    case 2: CopyRunsOf<2>(t, width, height, srcPixels, runs); break;
    case 3: CopyRunsOf<3>(t, width, height, srcPixels, runs); break;
    default: CopyRunsOf<4>(t, width, height, srcPixels, runs); break;
    }
}

void CopyRect(const Target& t, const uint8_t* srcTopLeft, int srcPitch, int bytesPerPixel) {
    const size_t bytes = static_cast<size_t>(t.clipRight - t.clipLeft) * bytesPerPixel;
    const uint8_t* s = srcTopLeft + static_cast<ptrdiff_t>(t.clipTop) * srcPitch + t.clipLeft * bytesPerPixel;
    uint8_t* d = t.pixels + static_cast<ptrdiff_t>(t.y + t.clipTop) * t.pitch +
                 static_cast<ptrdiff_t>(t.x + t.clipLeft) * bytesPerPixel;
    for (int y = t.clipTop; y < t.clipBottom; ++y, s += srcPitch, d += t.pitch) {
        if (bytes > 256) std::memcpy(d, s, bytes);
        else CopyBytes(d, s, bytes);
    }
}

void BlendRuns565(const Target& t, int width, int height, const uint8_t* srcPixels, std::span<const Run> runs,
                  int alpha) {
    const int f = Factor(std::clamp(alpha, 0, 255));
    ForVisibleRuns<2>(t, width, height, runs, [&](uint8_t* d, const Run& run, int skip, int n) {
        BlendRowFactor(reinterpret_cast<uint16_t*>(d),
                       reinterpret_cast<const uint16_t*>(srcPixels + run.srcOffset) + skip, n, f);
    });
}

void BlendRect565(const Target& t, const uint8_t* srcTopLeft, int srcPitch, int alpha) {
    const int f = Factor(std::clamp(alpha, 0, 255));
    const uint8_t* s = srcTopLeft + static_cast<ptrdiff_t>(t.clipTop) * srcPitch + t.clipLeft * 2;
    uint8_t* d = t.pixels + static_cast<ptrdiff_t>(t.y + t.clipTop) * t.pitch + static_cast<ptrdiff_t>(t.x + t.clipLeft) * 2;
    for (int y = t.clipTop; y < t.clipBottom; ++y, s += srcPitch, d += t.pitch)
        BlendRowFactor(reinterpret_cast<uint16_t*>(d), reinterpret_cast<const uint16_t*>(s), t.clipRight - t.clipLeft, f);
}

void BlendRow565(uint16_t* dst, const uint16_t* src, int n, int alpha) {
    BlendRowFactor(dst, src, n, Factor(std::clamp(alpha, 0, 255)));
}

} // namespace varnok::platform::blit
