// The decoder on hand-made patches: every kind of instruction, code and
// address mode of the default table, both kinds of segment, xdelta3's
// extensions, and every fault it must refuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "patch/decoder.h"
#include "patch/io.h"
#include "unit/patch/patch_bytes.h"

namespace {

using namespace patch_test;
using patch::DecodeStatus;

std::string name(DecodeStatus s) {
    switch (s) {
        case DecodeStatus::kOk: return "ok";
        case DecodeStatus::kDamaged: return "damaged";
        case DecodeStatus::kBaseReadFailed: return "base read failed";
        case DecodeStatus::kPatchReadFailed: return "patch read failed";
        case DecodeStatus::kWriteFailed: return "write failed";
        case DecodeStatus::kOutOfMemory: return "out of memory";
    }
    return "?";
}

struct Decoded {
    DecodeStatus status;
    Bytes target;
};

Decoded decode(const Bytes& patchBytes, const Bytes* base) {
    patch::MemoryReader patchReader(patchBytes);
    static const Bytes kEmpty;
    patch::MemoryReader baseReader(base != nullptr ? *base : kEmpty);
    patch::MemoryWriter target;
    const DecodeStatus status = patch::decode(patchReader, base != nullptr ? &baseReader : nullptr, target);
    return {status, target.bytes()};
}

const Bytes kBase = bytes("0123456789abcdefghij");
const Bytes kNoise = noise(800, 7);

Bytes slice(const Bytes& b, std::size_t at, std::size_t n) { return Bytes(b.begin() + long(at), b.begin() + long(at + n)); }

// Codes of the default table (codes are bytes; ints() fits those below 128).
constexpr std::uint8_t add(int size) { return std::uint8_t(1 + size); }  // size 0: it follows
constexpr std::uint8_t copy(int mode, int size) { return std::uint8_t(19 + 16 * mode + (size == 0 ? 0 : size - 3)); }
constexpr std::uint8_t addCopy(int mode, int a, int c) {
    return std::uint8_t(mode < 6 ? 163 + 12 * mode + 3 * (a - 1) + (c - 4) : 235 + 4 * (mode - 6) + (a - 1));
}
constexpr std::uint8_t copyAdd(int mode) { return std::uint8_t(247 + mode); }

struct Case {
    const char* what;
    const Bytes* base;
    Bytes patch;
    DecodeStatus status;
    Bytes target;
};

Window source(std::uint64_t length, std::uint64_t at, std::uint64_t target) {
    Window w;
    w.indicator = 1;
    w.segmentLength = length;
    w.segmentAt = at;
    w.targetLength = target;
    return w;
}

Window plain(std::uint64_t target, Bytes data, Bytes inst, Bytes addr = {}) {
    Window w;
    w.targetLength = target;
    w.data = std::move(data);
    w.inst = std::move(inst);
    w.addr = std::move(addr);
    return w;
}

Window with(Window w, Bytes data, Bytes inst, Bytes addr) {
    w.data = std::move(data);
    w.inst = std::move(inst);
    w.addr = std::move(addr);
    return w;
}

std::vector<Case> validCases() {
    Window checksummed = plain(3, bytes("abc"), ints({add(3)}));
    checksummed.indicator = 4;
    checksummed.checksum = 0x024D0127;  // Adler-32 of "abc"
    Window fromTarget = with(source(5, 6, 5), {}, ints({copy(0, 5)}), ints({0}));
    fromTarget.indicator = 2;
    const Bytes abc = window(plain(3, bytes("abc"), ints({add(3)})));
    return {
        {"ADD with its size in the code", nullptr, header() + abc, DecodeStatus::kOk, bytes("abc")},
        {"ADD with its size after the code", nullptr,
         header() + window(plain(20, bytes("abcdefghijklmnopqrst"), ints({add(0), 20}))), DecodeStatus::kOk,
         bytes("abcdefghijklmnopqrst")},
        {"RUN", nullptr, header() + window(plain(5, bytes("z"), ints({0, 5}))), DecodeStatus::kOk, bytes("zzzzz")},
        {"instructions of size 0 make nothing", nullptr,
         header() + window(plain(3, bytes("abc"), ints({add(0), 0, add(0), 0, add(3)}))), DecodeStatus::kOk, bytes("abc")},
        {"COPY from the base, mode self, size in the code", &kBase,
         header() + window(with(source(20, 0, 4), {}, ints({copy(0, 4)}), ints({3}))), DecodeStatus::kOk,
         bytes("3456")},
        {"COPY with its size after the code, from a segment inside the base", &kBase,
         header() + window(with(source(10, 5, 7), {}, ints({copy(0, 0), 7}), ints({2}))), DecodeStatus::kOk,
         bytes("789abcd")},
        {"COPY in mode here", &kBase,
         header() + window(with(source(20, 0, 8), bytes("wxyz"), ints({add(4), copy(1, 4)}), ints({24 - 10}))),
         DecodeStatus::kOk, bytes("wxyzabcd")},
        {"COPY in the four near modes, the near cache wrapping round", &kBase,
         header() + window(with(source(20, 0, 24), {},
                                ints({copy(0, 4), copy(2, 4), copy(3, 4), copy(4, 4), copy(5, 4), copy(2, 4)}),
                                ints({0, 4, 4, 4, 4, 0}))),
         DecodeStatus::kOk, bytes("0123456789abcdefghijghij")},
        {"COPY in the three same modes", &kNoise,
         header() + window(with(source(800, 0, 24), {},
                                Bytes{copy(0, 4), copy(7, 4), copy(0, 4), copy(8, 4), copy(0, 4), copy(6, 4)},
                                ints({300}) + Bytes{44} + ints({600}) + Bytes{88} + ints({780}) + Bytes{12})),
         DecodeStatus::kOk,
         slice(kNoise, 300, 4) + slice(kNoise, 300, 4) + slice(kNoise, 600, 4) + slice(kNoise, 600, 4) +
             slice(kNoise, 780, 4) + slice(kNoise, 780, 4)},
        {"COPY from the window's own bytes, overlapping what it makes", nullptr,
         header() + window(plain(8, bytes("ab"), ints({add(2), copy(0, 6)}), ints({0}))), DecodeStatus::kOk,
         bytes("abababab")},
        {"COPY from a segment of the target written before", nullptr,
         header() + window(plain(11, bytes("hello world"), ints({add(11)}))) + window(fromTarget), DecodeStatus::kOk,
         bytes("hello worldworld")},
        {"the double codes: ADD then COPY, COPY then ADD, ADD then COPY in a same mode", &kBase,
         header() + window(with(source(20, 0, 17), bytes("xy!?"), Bytes{addCopy(1, 2, 5), copyAdd(0), addCopy(6, 1, 4)},
                                ints({22, 5}) + Bytes{5})),
         DecodeStatus::kOk, bytes("xy01234") + bytes("5678!?5678")},
        {"a window with xdelta3's checksum", nullptr, header() + window(checksummed), DecodeStatus::kOk, bytes("abc")},
        {"xdelta3's application header is skipped", nullptr, header(4, varint(5) + bytes("b//a/")) + abc,
         DecodeStatus::kOk, bytes("abc")},
        {"a patch without windows, and an empty window", nullptr, header(), DecodeStatus::kOk, {}},
        {"an empty window", nullptr, header() + window(plain(0, {}, {})), DecodeStatus::kOk, {}},
        {"windows one after another", &kBase,
         header() + abc + window(with(source(2, 18, 2), {}, ints({copy(0, 0), 2}), ints({0}))) + abc,
         DecodeStatus::kOk, bytes("abcijabc")},
    };
}

std::vector<Case> damagedCases() {
    const Bytes abc = window(plain(3, bytes("abc"), ints({add(3)})));
    Window longer = plain(3, bytes("abc"), ints({add(3)}));
    longer.deltaLength = 10;  // the section lengths add up to 9
    Window shorter = longer;
    shorter.deltaLength = 8;
    Window both = with(source(4, 0, 4), {}, ints({copy(0, 4)}), ints({0}));
    both.indicator = 3;
    Window unknownBit = plain(3, bytes("abc"), ints({add(3)}));
    unknownBit.indicator = 8;
    Window compressed = plain(3, bytes("abc"), ints({add(3)}));
    compressed.deltaIndicator = 1;
    Window wrongSum = plain(3, bytes("abc"), ints({add(3)}));
    wrongSum.indicator = 4;
    wrongSum.checksum = 0x024D0128;
    Window beyondWritten = with(source(4, 0, 4), {}, ints({copy(0, 4)}), ints({0}));
    beyondWritten.indicator = 2;
    const DecodeStatus bad = DecodeStatus::kDamaged;
    return {
        {"not the magic bytes", nullptr, Bytes{0xD6, 0xC3, 0xC5, 0, 0} + abc, bad, {}},
        {"a version byte other than 0", nullptr, Bytes{0xD6, 0xC3, 0xC4, 1, 0} + abc, bad, {}},
        {"a header cut short", nullptr, Bytes{0xD6, 0xC3, 0xC4}, bad, {}},
        {"a secondary compressor", nullptr, header(1, {2}) + abc, bad, {}},
        {"an application-defined code table", nullptr, header(2, varint(3) + Bytes{4, 3, 0}) + abc, bad, {}},
        {"an unknown header bit", nullptr, header(8) + abc, bad, {}},
        {"an application header longer than the patch", nullptr, header(4, varint(100) + bytes("abc")), bad, {}},
        {"a window from both the base and the target", &kBase, header() + window(both), bad, {}},
        {"an unknown window bit", nullptr, header() + window(unknownBit), bad, {}},
        {"compressed sections", nullptr, header() + window(compressed), bad, {}},
        {"a delta length beyond the patch", nullptr, header() + window(longer), bad, {}},
        {"a delta length its sections overrun", nullptr, header() + window(shorter) + Bytes{0}, bad, {}},
        {"a delta length past its sections", nullptr, header() + window(longer) + Bytes{0}, bad, {}},
        {"a segment beyond the base", &kBase,
         header() + window(with(source(20, 1, 4), {}, ints({copy(0, 4)}), ints({0}))), bad, {}},
        {"a segment whose end overflows", &kBase,
         header() + window(with(source(10, ~std::uint64_t(0) - 4, 4), {}, ints({copy(0, 4)}), ints({0}))), bad, {}},
        {"a segment of the base without a base", nullptr,
         header() + window(with(source(1, 0, 1), {}, ints({copy(0, 0), 1}), ints({0}))), bad, {}},
        {"a segment beyond the target written", nullptr, header() + abc + window(beyondWritten), bad, {}},
        {"a COPY from where it writes", nullptr, header() + window(plain(6, bytes("ab"), ints({add(2), copy(0, 4)}), ints({2}))),
         bad, {}},
        {"a COPY across the end of the segment", &kBase,
         header() + window(with(source(20, 0, 4), {}, ints({copy(0, 4)}), ints({18}))), bad, {}},
        {"a COPY in mode here from before the start", &kBase,
         header() + window(with(source(20, 0, 4), {}, ints({copy(1, 4)}), ints({21}))), bad, {}},
        {"a COPY in a near mode whose address overflows", &kBase,
         header() + window(with(source(20, 0, 8), {}, ints({copy(0, 4), copy(2, 4)}), ints({5, ~std::uint64_t(0) - 2}))),
         bad, {}},
        {"an instruction larger than the window", nullptr, header() + window(plain(3, bytes("abcd"), ints({add(4)}))),
         bad, {}},
        {"instructions that make less than the window", nullptr,
         header() + window(plain(5, bytes("abc"), ints({add(3)}))), bad, {}},
        {"an ADD past the data section", nullptr, header() + window(plain(3, bytes("ab"), ints({add(3)}))), bad, {}},
        {"data left over", nullptr, header() + window(plain(2, bytes("abc"), ints({add(2)}))), bad, {}},
        {"addresses left over", &kBase,
         header() + window(with(source(20, 0, 4), {}, ints({copy(0, 4)}), ints({3, 7}))), bad, {}},
        {"a COPY past the address section", &kBase,
         header() + window(with(source(20, 0, 4), {}, ints({copy(0, 4)}), {})), bad, {}},
        {"a RUN without its byte", nullptr, header() + window(plain(3, {}, ints({0, 3}))), bad, {}},
        {"a size cut short by the end of the instructions", nullptr, header() + window(plain(3, bytes("abc"), ints({add(0)}))),
         bad, {}},
        {"an integer beyond 64 bits", nullptr,
         header() + window(plain(3, bytes("abc"), Bytes{1, 0x82, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00})),
         bad, {}},
        {"an integer of more than ten digits", nullptr,
         header() + window(plain(3, bytes("abc"), Bytes{1, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x03})),
         bad, {}},
        {"a checksum that does not match", nullptr, header() + window(wrongSum), bad, {}},
        {"bytes after the last window", nullptr, header() + abc + Bytes{0}, bad, {}},
        {"a target larger than 64 bits can count", nullptr,
         header() + abc + window(plain(~std::uint64_t(0) - 1, bytes("a"), ints({0, ~std::uint64_t(0) - 1}))), bad, {}},
    };
}

TEST(Decoder, AppliesEveryInstructionCodeAndWindowKind) {
    for (const Case& c : validCases()) {
        const Decoded d = decode(c.patch, c.base);
        EXPECT_EQ(name(d.status), name(c.status)) << c.what;
        EXPECT_EQ(d.target, c.target) << c.what;
    }
}

TEST(Decoder, RefusesDamage) {
    for (const Case& c : damagedCases()) {
        EXPECT_EQ(name(decode(c.patch, c.base).status), name(c.status)) << c.what;
    }
}

// A patch cut anywhere but between windows is damaged.
TEST(Decoder, RefusesEveryTruncation) {
    const Bytes first = window(with(source(20, 0, 9), bytes("xy"), Bytes{addCopy(1, 2, 5), copy(2, 0), 2}, ints({22, 3})));
    const Bytes second = window(plain(8, bytes("ab"), ints({add(2), copy(0, 6)}), ints({0})));
    const Bytes whole = header(4, varint(2) + bytes("id")) + first + second;
    const std::set<std::size_t> boundaries = {whole.size() - second.size() - first.size(), whole.size() - second.size(),
                                              whole.size()};
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        const Decoded d = decode(Bytes(whole.begin(), whole.begin() + long(n)), &kBase);
        EXPECT_EQ(name(d.status), name(boundaries.count(n) != 0 ? DecodeStatus::kOk : DecodeStatus::kDamaged))
            << "cut after " << n << " of " << whole.size() << " bytes";
    }
}

// Readers and writers that fail once a given count of bytes has passed.
class FailingReader final : public patch::Reader {
public:
    FailingReader(const Bytes& bytes, std::uint64_t failFrom) : inner_(bytes), failFrom_(failFrom) {}
    std::uint64_t size() const override { return inner_.size(); }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override {
        return offset + size <= failFrom_ && inner_.readAt(offset, out, size);
    }

private:
    patch::MemoryReader inner_;
    std::uint64_t failFrom_;
};

class FailingWriter final : public patch::TargetWriter {
public:
    explicit FailingWriter(bool failReads) : failReads_(failReads) {}
    bool write(const void* data, std::size_t size) override { return !failReads_ ? false : inner_.write(data, size); }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override {
        return !failReads_ && inner_.readAt(offset, out, size);
    }

private:
    bool failReads_;
    patch::MemoryWriter inner_;
};

TEST(Decoder, ReportsWhichSideFailed) {
    const Bytes fromBase = header() + window(with(source(20, 0, 4), {}, ints({copy(0, 4)}), ints({3})));
    const Bytes fromTarget = header() + window(plain(3, bytes("abc"), ints({add(3)}))) +
                             window([] {
                                 Window w = with(source(3, 0, 3), {}, ints({copy(0, 0), 3}), ints({0}));
                                 w.indicator = 2;
                                 return w;
                             }());
    {
        FailingReader patchBytes(fromBase, 6);
        patch::MemoryReader base(kBase);
        patch::MemoryWriter target;
        EXPECT_EQ(name(patch::decode(patchBytes, &base, target)), name(DecodeStatus::kPatchReadFailed));
    }
    {
        patch::MemoryReader patchBytes(fromBase);
        FailingReader base(kBase, 0);
        patch::MemoryWriter target;
        EXPECT_EQ(name(patch::decode(patchBytes, &base, target)), name(DecodeStatus::kBaseReadFailed));
    }
    for (const bool failReads : {false, true}) {
        patch::MemoryReader patchBytes(fromTarget);
        FailingWriter target(failReads);
        EXPECT_EQ(name(patch::decode(patchBytes, nullptr, target)), name(DecodeStatus::kWriteFailed)) << failReads;
    }
}

}  // namespace
