// Arbitrary bytes as a VCDIFF patch of a fixed base. A sanitizer report, a
// decoder that reads or writes outside its buffers, an answer that differs
// on a second run, or a target it accepted that the encoder cannot make
// again through a patch the decoder applies, is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "patch/decoder.h"
#include "patch/encoder.h"
#include "patch/io.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_vcdiff: %s\n", what);
    std::abort();
}

// The base the seeds in corpus/vcdiff/ were made against.
std::vector<std::uint8_t> makeBase() {
    std::vector<std::uint8_t> base(4096);
    for (std::size_t i = 0; i < base.size(); ++i) base[i] = std::uint8_t(i * 131 + (i >> 7));
    return base;
}

// A memory target that refuses to grow past a limit, so that a patch
// declaring terabytes ends as a write failure.
class CappedTarget final : public patch::TargetWriter {
public:
    static constexpr std::size_t kLimit = std::size_t(24) << 20;
    bool write(const void* data, std::size_t size) override {
        if (size > kLimit - inner_.bytes().size()) return false;
        return inner_.write(data, size);
    }
    bool readAt(std::uint64_t offset, void* out, std::size_t size) override { return inner_.readAt(offset, out, size); }
    const std::vector<std::uint8_t>& bytes() { return inner_.bytes(); }

private:
    patch::MemoryWriter inner_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> base = makeBase();
    patch::MemoryReader baseReader(base);
    patch::MemoryReader patchReader({data, size});

    CappedTarget first;
    const patch::DecodeStatus status = patch::decode(patchReader, &baseReader, first);
    if (status == patch::DecodeStatus::kBaseReadFailed || status == patch::DecodeStatus::kPatchReadFailed) {
        fail("a read in range failed");
    }
    CappedTarget second;
    if (patch::decode(patchReader, &baseReader, second) != status || second.bytes() != first.bytes()) {
        fail("a second run differs");
    }
    if (status != patch::DecodeStatus::kOk || first.bytes().size() > (64 << 10)) return 0;

    patch::MemoryReader target(first.bytes());
    patch::MemoryWriter again;
    if (patch::encode(&baseReader, target, again) != patch::EncodeStatus::kOk) fail("the encoder failed");
    patch::MemoryReader againReader(again.bytes());
    patch::MemoryWriter remade;
    if (patch::decode(againReader, &baseReader, remade) != patch::DecodeStatus::kOk || remade.bytes() != first.bytes()) {
        fail("the encoder's patch does not make the same target");
    }
    return 0;
}
