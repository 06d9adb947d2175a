// The memory the codec takes, counted at operator new, against the bounds
// its headers state: the decoder on windows larger than it holds, with
// offsets beyond 4 GiB; the encoder on a base large enough to be indexed
// with a stride.
#include <gtest/gtest.h>

#include <cstring>

#include "patch/decoder.h"
#include "patch/encoder.h"
#include "patch/format.h"
#include "unit/patch/allocation_counter.h"
#include "unit/patch/patch_bytes.h"

namespace {

using namespace patch_test;

constexpr std::uint64_t kMiB = 1 << 20;
constexpr std::uint64_t kGiB = kMiB << 10;

// A base of any size whose bytes are a function of their offset.
class PatternBase final : public patch::Reader {
public:
    explicit PatternBase(std::uint64_t size) : size_(size) {}
    static std::uint8_t at(std::uint64_t offset) { return std::uint8_t((offset * 0x9E3779B1u) >> 24 ^ (offset >> 32)); }
    std::uint64_t size() const override { return size_; }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override {
        auto* to = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < size; ++i) to[i] = at(offset + i);
        return offset + size <= size_;
    }

private:
    std::uint64_t size_;
};

std::uint32_t adler(const Bytes& bytes) {
    std::uint32_t a = 1, b = 0;
    for (const std::uint8_t c : bytes) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

Bytes repeat(std::size_t size, std::uint8_t value) { return Bytes(size, value); }

TEST(Memory, DecoderStaysWithinItsBoundOnWindowsLargerThanItHolds) {
    const std::uint64_t segmentAt = 4 * kGiB + kGiB / 2;
    PatternBase base(5 * kGiB);
    Bytes segment(kMiB);
    base.readAt(segmentAt, segment.data(), segment.size());
    const Bytes added = noise(1000, 3);

    // One window of 18 MiB: from the base beyond 4 GiB, a run, a copy from
    // its start (long written by then), and a copy that repeats its own last
    // three bytes.
    Window large;
    large.indicator = 1;
    large.segmentLength = kMiB;
    large.segmentAt = segmentAt;
    large.targetLength = kMiB + 10 * kMiB + kMiB + 1000 + 5 * kMiB;
    large.data = Bytes{0x11} + added;
    large.inst = Bytes{19} + varint(kMiB) + Bytes{0} + varint(10 * kMiB) + Bytes{19} + varint(kMiB) + Bytes{1} +
                 varint(1000) + Bytes{35} + varint(5 * kMiB);
    large.addr = varint(0) + varint(kMiB) + varint(3);
    Bytes expected = segment + repeat(10 * kMiB, 0x11) + segment + added;
    for (std::size_t i = 0; i < 5 * kMiB; ++i) expected.push_back(expected[expected.size() - 3]);

    // Then 2 MiB from the target written before, checked, and a small window.
    Window again;
    again.indicator = 2 | 4;
    again.segmentLength = 2 * kMiB;
    again.segmentAt = kMiB / 2;
    again.targetLength = 2 * kMiB;
    again.inst = Bytes{19} + varint(2 * kMiB);
    again.addr = varint(0);
    const Bytes copied(expected.begin() + long(kMiB / 2), expected.begin() + long(kMiB / 2 + 2 * kMiB));
    again.checksum = adler(copied);
    expected = expected + copied;
    Window small;
    small.targetLength = 100;
    small.data = bytes("0123456789");
    small.inst = Bytes{11, 19, 90};
    small.addr = varint(0);
    for (int i = 0; i < 10; ++i) expected = expected + bytes("0123456789");

    const Bytes patchBytes = header() + window(large) + window(again) + window(small);
    patch::MemoryReader patchReader(patchBytes);
    patch::MemoryWriter target;
    target.bytes().reserve(expected.size());
    patch::DecodeStatus status = patch::DecodeStatus::kDamaged;
    const std::size_t peak = peakOf([&] { status = patch::decode(patchReader, &base, target); });
    ASSERT_EQ(int(status), int(patch::DecodeStatus::kOk));
    EXPECT_TRUE(target.bytes() == expected);
    EXPECT_LE(peak, patch::kDecoderMemoryBound);
    EXPECT_GE(peak, patch::kWindowBytes);  // the measure sees the window's buffer
}

// Takes a target of 4 GiB of one byte and then some bytes it keeps, so that
// offsets beyond 32 bits can be written and read back without 4 GiB of memory.
class RunThenTail final : public patch::TargetWriter {
public:
    RunThenTail(std::uint64_t runLength, std::uint8_t value) : runLength_(runLength), fill_(64 << 10, value) {
        tail_.reserve(1 << 10);
    }
    bool write(const void* data, std::size_t size) override {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        while (size > 0 && written_ < runLength_) {
            const auto n = std::size_t(std::min<std::uint64_t>({size, fill_.size(), runLength_ - written_}));
            if (std::memcmp(bytes, fill_.data(), n) != 0) return false;
            bytes += n;
            size -= n;
            written_ += n;
        }
        tail_.insert(tail_.end(), bytes, bytes + size);
        written_ += size;
        return true;
    }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override {
        auto* to = static_cast<std::uint8_t*>(out);
        for (std::size_t i = 0; i < size; ++i, ++offset) {
            if (offset >= written_) return false;
            to[i] = offset < runLength_ ? fill_[0] : tail_[std::size_t(offset - runLength_)];
        }
        return true;
    }
    std::uint64_t written() const { return written_; }
    const Bytes& tail() const { return tail_; }

private:
    std::uint64_t runLength_;
    Bytes fill_;
    Bytes tail_;
    std::uint64_t written_ = 0;
};

TEST(Memory, DecoderWritesAndReadsBackBeyondFourGiB) {
    Window run;
    run.targetLength = 4 * kGiB + 16;
    run.data = Bytes{'Z'} + bytes("0123456789abcdef");
    run.inst = Bytes{0} + varint(4 * kGiB) + Bytes{17};
    Window back;
    back.indicator = 2;
    back.segmentLength = 24;
    back.segmentAt = 4 * kGiB - 8;
    back.targetLength = 24;
    back.inst = Bytes{19, 24};
    back.addr = varint(0);
    const Bytes patchBytes = header() + window(run) + window(back);
    patch::MemoryReader patchReader(patchBytes);
    RunThenTail target(4 * kGiB, 'Z');
    patch::DecodeStatus status = patch::DecodeStatus::kDamaged;
    const std::size_t peak = peakOf([&] { status = patch::decode(patchReader, nullptr, target); });
    ASSERT_EQ(int(status), int(patch::DecodeStatus::kOk));
    EXPECT_EQ(target.written(), 4 * kGiB + 40);
    EXPECT_TRUE(target.tail() == bytes("0123456789abcdefZZZZZZZZ0123456789abcdef"));
    EXPECT_LE(peak, patch::kDecoderMemoryBound);
}

TEST(Memory, EncoderStaysWithinItsBound) {
    // Over 16 MiB, so that the base is indexed with a stride, and three windows.
    const Bytes base = noise(20 * kMiB, 11);
    Bytes changed(base.begin(), base.begin() + long(3 * kMiB));
    changed = changed + noise(1000, 12) + Bytes(base.begin() + long(3 * kMiB), base.begin() + long(12 * kMiB)) +
              Bytes(base.begin() + long(12 * kMiB + 5000), base.end());
    patch::MemoryReader baseReader(base), targetReader(changed);
    patch::MemoryWriter patchBytes;
    patchBytes.bytes().reserve(kMiB);
    patch::EncodeStatus status = patch::EncodeStatus::kOutOfMemory;
    const std::size_t peak = peakOf([&] { status = patch::encode(&baseReader, targetReader, patchBytes); });
    ASSERT_EQ(int(status), int(patch::EncodeStatus::kOk));
    EXPECT_LE(peak, patch::encoderMemoryBound(base.size()));
    EXPECT_LT(patchBytes.bytes().size(), 2000u);

    patch::MemoryReader patchReader(patchBytes.bytes());
    patch::MemoryWriter decoded;
    ASSERT_EQ(int(patch::decode(patchReader, &baseReader, decoded)), int(patch::DecodeStatus::kOk));
    EXPECT_TRUE(decoded.bytes() == changed);
}

}  // namespace
