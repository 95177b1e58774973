// The allocation cap of the fuzz targets: the global operator new throws
// std::bad_alloc for a single request above the cap while a
// CappedAllocations object lives. Memory still comes from malloc, so the
// sanitizers see every allocation and every free.
#include "tests/fuzz/FuzzCheck.h"

#include <cstdlib>
#include <new>

namespace varnok::fuzz {
namespace {
size_t gCap = 0; // 0: no cap
}

CappedAllocations::CappedAllocations(size_t cap) {
    gCap = cap;
}
CappedAllocations::~CappedAllocations() {
    gCap = 0;
}

} // namespace varnok::fuzz

void* operator new(size_t size) {
    if (varnok::fuzz::gCap != 0 && size > varnok::fuzz::gCap) throw std::bad_alloc();
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}
