#include <algorithm>
#include <cstring>

#include "xml/xml_doc.h"

namespace xml {

namespace {

// Copies the records of segment s that lie below used.
void copyUsed(ElemPos* to, const ElemPos* from, int32_t s, int32_t used, int32_t count) {
    const int32_t n = std::min(count, used - s * ElementIndex::SEGMENT_SIZE);
    if (n > 0) {
        std::memcpy(to, from, std::size_t(n) * sizeof(ElemPos));
    }
}

}  // namespace

void ElementIndex::grow(int32_t n, int32_t used) {
    if (n <= size) {
        return;
    }
    const int32_t last = size > 0 ? (size - 1) >> 16 : 0;
    int32_t target = (n - 1) >> 16;
    if (target > last + 1) {
        target = last + 1;
        n = (last + 2) * SEGMENT_SIZE;
    }
    if (target >= segmentSlots) {
        const int32_t slots = 2 * target + 4;
        auto grown = std::make_unique<std::unique_ptr<ElemPos[]>[]>(std::size_t(slots));
        for (int32_t s = 0; s < segmentSlots; ++s) {
            grown[s] = std::move(segments[s]);
        }
        segments = std::move(grown);
        segmentSlots = slots;
    }
    const int32_t lastCount = size - last * SEGMENT_SIZE;  // records held by segment last
    if (last < target && lastCount < SEGMENT_SIZE) {
        std::unique_ptr<ElemPos[]> full(new ElemPos[SEGMENT_SIZE]);
        if (lastCount > 0) {
            copyUsed(full.get(), segments[last].get(), last, used, lastCount);
        }
        segments[last] = std::move(full);
    }
    std::unique_ptr<ElemPos[]> segment(new ElemPos[std::size_t(n - target * SEGMENT_SIZE)]);
    if (target == last && lastCount > 0) {
        copyUsed(segment.get(), segments[last].get(), last, used, lastCount);
    }
    segments[target] = std::move(segment);
    size = n;
}

void ElementIndex::clear() {
    segments.reset();
    size = 0;
    segmentSlots = 0;
}

}  // namespace xml
