#include "unit/patch/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Room before each block for its size, kept at the strictest alignment.
constexpr std::size_t kPrefix = alignof(std::max_align_t);

std::atomic<std::size_t> gHeld{0};
std::atomic<std::size_t> gPeak{0};

void* take(std::size_t size) {
    void* block = std::malloc(size + kPrefix);
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    const std::size_t held = gHeld += size;
    for (std::size_t peak = gPeak; held > peak && !gPeak.compare_exchange_weak(peak, held);) {
    }
    return static_cast<char*>(block) + kPrefix;
}

void give(void* pointer) noexcept {
    if (pointer == nullptr) return;
    void* block = static_cast<char*>(pointer) - kPrefix;
    gHeld -= *static_cast<std::size_t*>(block);
    std::free(block);
}

}  // namespace

namespace patch_test {

std::size_t heldBytes() { return gHeld; }
std::size_t peakBytes() { return gPeak; }
void resetPeak() { gPeak = gHeld.load(); }

}  // namespace patch_test

void* operator new(std::size_t size) { return take(size); }
void* operator new[](std::size_t size) { return take(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return take(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* pointer) noexcept { give(pointer); }
void operator delete[](void* pointer) noexcept { give(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { give(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { give(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { give(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { give(pointer); }
