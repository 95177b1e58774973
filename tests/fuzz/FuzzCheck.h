#pragma once
// The fuzz targets' own assertion and their memory bound.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>

namespace varnok::fuzz {

// A broken invariant ends the run with a message, which the fuzzer reports as
// a crash with the input that caused it.
inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

// The folder for the files a target writes: memory-backed where the system
// has one, so writing and syncing a file costs no disk time.
inline std::string ScratchFolder() {
    static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/";
    return folder;
}

// The largest single allocation one input may make by default
// (FuzzAllocation.cpp): larger ones throw std::bad_alloc. The readers accept pictures and maps far
// larger than this, which a few bytes of input can ask for; filling them
// would cost the fuzzer its speed and hundreds of megabytes while teaching it
// nothing the small ones do not.
inline constexpr size_t kAllocationCap = size_t{256} << 10;

// Sets the allocation cap for the lifetime of the object (only while one
// input is tried: the fuzzer's own buffers are not bound).
class CappedAllocations {
  public:
    explicit CappedAllocations(size_t cap);
    ~CappedAllocations();
    CappedAllocations(const CappedAllocations&) = delete;
    CappedAllocations& operator=(const CappedAllocations&) = delete;
};

// Runs one input's work under the cap. An input whose reading would allocate
// more than the cap is skipped: reports false.
template <typename Work> bool RunCapped(Work work, size_t cap = kAllocationCap) {
    CappedAllocations capped(cap);
    try {
        work();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace varnok::fuzz
