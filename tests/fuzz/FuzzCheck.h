#pragma once
// The fuzz targets' own assertion: a broken invariant ends the run with a
// message, which the fuzzer reports as a crash with the input that caused it.
#include <cstdio>
#include <cstdlib>

namespace varnok::fuzz {

inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

} // namespace varnok::fuzz
