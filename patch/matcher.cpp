#include "patch/matcher.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "patch/format.h"

namespace patch {
namespace {

constexpr std::size_t kMinMatch = 4;
constexpr std::size_t kSelfHashBytes = 6;
constexpr int kBaseProbes = 48;
constexpr int kSelfProbes = 16;
constexpr std::size_t kMaxBack = 256;
constexpr long kMinGain = 1;
// A match this long ends the search: a cheaper address would save little.
constexpr std::size_t kLongEnough = 256;

// The count of equal bytes at a and b, at most limit.
std::size_t commonLength(const std::uint8_t* a, const std::uint8_t* b, std::size_t limit) {
    std::size_t n = 0;
    while (n + 8 <= limit) {
        std::uint64_t x, y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            const std::uint64_t diff = x ^ y;
            const int bits = std::endian::native == std::endian::little ? std::countr_zero(diff) : std::countl_zero(diff);
            return n + std::size_t(bits / 8);
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

}  // namespace

Matcher::Matcher(const std::uint8_t* base, std::uint64_t baseSize, const HashChains* baseIndex)
    : base_(base), baseSize_(baseSize), baseIndex_(baseIndex) {}

// A copy from source (sourceBefore bytes readable before it), matching the
// window at `at`, extended back no further than `from`.
void Matcher::consider(Match& best, std::size_t at, std::size_t from, std::uint64_t address,
                       const std::uint8_t* source, std::size_t sourceBefore, std::size_t limit) const {
    const std::uint8_t* here = window_ + at;
    const std::size_t forward = commonLength(here, source, limit);
    if (forward < kMinMatch && forward + std::min(at - from, sourceBefore) < kMinMatch) return;
    std::size_t back = 0;
    const std::size_t maxBack = std::min({at - from, sourceBefore, kMaxBack});
    while (back < maxBack && here[-1 - long(back)] == source[-1 - long(back)]) ++back;
    const std::size_t length = forward + back;
    if (length < kMinMatch) return;
    if (length + 8 < best.length) return;
    const long gain = long(length) - long(out_->copyCost(length, address - back));
    if (gain > best.gain || (gain == best.gain && length > best.length)) {
        best.start = at - back;
        best.length = length;
        best.address = address - back;
        best.run = false;
        best.gain = gain;
    }
}

Matcher::Match Matcher::best(std::size_t at, std::size_t from) const {
    Match best;
    const std::size_t left = size_ - at;
    if (left < kMinMatch) return best;
    const std::uint8_t* here = window_ + at;
    const std::uint64_t target = windowAt_ + at;

    // A run of one byte.
    std::size_t run = 1;
    while (run < left && here[run] == here[0]) ++run;
    if (run >= kMinMatch) {
        best.start = at;
        best.length = run;
        best.address = here[0];
        best.run = true;
        best.gain = long(run) - long(2 + varintLength(run));
    }

    // The base at the displacements of the latest copies.
    for (const std::int64_t d : displacements_) {
        const std::int64_t offset = std::int64_t(target) + d;
        if (offset < 0 || std::uint64_t(offset) + kMinMatch > baseSize_) continue;
        const auto o = std::uint64_t(offset);
        consider(best, at, from, o, base_ + o, std::size_t(std::min<std::uint64_t>(o, kMaxBack)),
                 std::size_t(std::min<std::uint64_t>(left, baseSize_ - o)));
    }

    if (left >= HashChains::kKeyBytes) {
        if (baseIndex_ != nullptr) {
            const std::uint64_t key = baseIndex_->key(here);
            int probes = kBaseProbes;
            for (std::uint32_t slot = baseIndex_->first(key); slot != 0 && probes-- > 0 && best.length < kLongEnough;
                 slot = baseIndex_->next(slot - 1)) {
                const std::uint64_t o = std::uint64_t(slot - 1) * baseIndex_->stride();
                consider(best, at, from, o, base_ + o, std::size_t(std::min<std::uint64_t>(o, kMaxBack)),
                         std::size_t(std::min<std::uint64_t>(left, baseSize_ - o)));
            }
        }
        const std::uint64_t key = self_->key(here);
        int probes = kSelfProbes;
        for (std::uint32_t slot = self_->first(key); slot != 0 && probes-- > 0 && best.length < kLongEnough;
             slot = self_->next(slot - 1)) {
            const std::size_t s = slot - 1;
            consider(best, at, from, baseSize_ + s, window_ + s, s, left);
        }
    }
    return best;
}

void Matcher::addSelf(std::size_t upTo) {
    const std::size_t end = std::min(upTo, size_ >= HashChains::kKeyBytes ? size_ - HashChains::kKeyBytes + 1 : 0);
    for (; added_ < end; ++added_) self_->add(added_, self_->key(window_ + added_));
}

void Matcher::noteCopy(const Match& m) {
    if (m.address >= baseSize_) return;
    const std::int64_t d = std::int64_t(m.address) - std::int64_t(windowAt_ + m.start);
    auto same = std::find(displacements_.begin(), displacements_.end(), d);
    if (same == displacements_.end()) same = displacements_.end() - 1;
    std::rotate(displacements_.begin(), same, same + 1);
    displacements_[0] = d;
}

void Matcher::encodeWindow(const std::uint8_t* window, std::size_t size, std::uint64_t windowAt, WindowEncoder& out) {
    window_ = window;
    size_ = size;
    windowAt_ = windowAt;
    out_ = &out;
    added_ = 0;
    if (self_ == nullptr || self_->count() < size) {
        self_.reset();
        self_ = std::make_unique<HashChains>(std::max<std::size_t>(size, 1), 1, kSelfHashBytes);
    } else {
        self_->clear();
    }
    out.begin(baseSize_);

    std::size_t from = 0;  // the first byte not yet encoded
    std::size_t at = 0;
    Match current = best(at, from);
    while (at < size) {
        if (current.gain < kMinGain) {
            addSelf(++at);
            current = best(at, from);
            continue;
        }
        // One position later may start a better match.
        addSelf(at + 1);
        const Match next = best(at + 1, from);
        if (next.gain > current.gain) {
            ++at;
            current = next;
            continue;
        }
        out.add(window_ + from, current.start - from);
        if (current.run) {
            out.run(std::uint8_t(current.address), current.length);
        } else {
            out.copy(current.length, current.address);
            noteCopy(current);
        }
        from = at = current.start + current.length;
        addSelf(at);
        current = best(at, from);
    }
    out.add(window_ + from, size - from);
}

}  // namespace patch
