// Counts the bytes the test program holds from operator new, to measure the
// peak a piece of code reaches: this test binary replaces the global
// operator new and delete (allocation_counter.cpp).
#pragma once

#include <cstddef>

namespace patch_test {

// The bytes held now, and the most held since the last resetPeak().
std::size_t heldBytes();
std::size_t peakBytes();
void resetPeak();

// The peak that run() adds to what was held before it.
template <class F>
std::size_t peakOf(F&& run) {
    const std::size_t before = heldBytes();
    resetPeak();
    run();
    return peakBytes() - before;
}

}  // namespace patch_test
