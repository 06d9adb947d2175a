#include "platform/cpu_features.h"

#include <cstdint>

#if defined(_MSC_VER) && (defined(_M_IX86) || defined(_M_X64))
#include <intrin.h>
#define UPD_X86 1
#elif defined(__i386__) || defined(__x86_64__)
#define UPD_X86 1
#ifdef __clang__
#include <cpuid.h>
#endif
#endif

namespace platform {
namespace {

#if defined(UPD_X86) && defined(__GNUC__) && !defined(__clang__)

// GCC's runtime has asked the processor at start-up already; asking again
// costs a trap to the hypervisor per CPUID in a virtual machine (some
// microseconds each, on the first UTF-8 decode of a process).
CpuFeatures detect() {
    __builtin_cpu_init();
    CpuFeatures f;
    f.sse2 = __builtin_cpu_supports("sse2");
    f.ssse3 = __builtin_cpu_supports("ssse3");
    f.sse41 = __builtin_cpu_supports("sse4.1");
    f.avx2 = __builtin_cpu_supports("avx2");  // only where the system saves the YMM registers
    f.sha = __builtin_cpu_supports("sha");
    f.bmi2 = __builtin_cpu_supports("bmi2");
    return f;
}

#elif defined(UPD_X86)

void cpuid(std::uint32_t leaf, std::uint32_t subleaf, std::uint32_t out[4]) {
#ifdef _MSC_VER
    int regs[4];
    __cpuidex(regs, static_cast<int>(leaf), static_cast<int>(subleaf));
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint32_t>(regs[i]);
#else
    __cpuid_count(leaf, subleaf, out[0], out[1], out[2], out[3]);
#endif
}

// XGETBV(0): which register states the system saves on a context switch.
std::uint64_t enabledRegisterStates() {
#ifdef _MSC_VER
    return _xgetbv(0);
#else
    std::uint32_t low = 0, high = 0;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (std::uint64_t{high} << 32) | low;
#endif
}

CpuFeatures detect() {
    CpuFeatures f;
    std::uint32_t r[4];
    cpuid(0, 0, r);
    const std::uint32_t maxLeaf = r[0];
    if (maxLeaf < 1) return f;
    cpuid(1, 0, r);
    f.sse2 = (r[3] >> 26) & 1;
    f.ssse3 = (r[2] >> 9) & 1;
    f.sse41 = (r[2] >> 19) & 1;
    const bool osSavesYmm = ((r[2] >> 27) & 1) && (enabledRegisterStates() & 0x6) == 0x6;
    if (maxLeaf >= 7) {
        cpuid(7, 0, r);
        f.avx2 = osSavesYmm && ((r[1] >> 5) & 1);
        f.sha = (r[1] >> 29) & 1;
        f.bmi2 = (r[1] >> 8) & 1;
    }
    return f;
}

#else

CpuFeatures detect() { return {}; }

#endif

}  // namespace

const CpuFeatures& cpuFeatures() {
    static const CpuFeatures features = detect();
    return features;
}

}  // namespace platform
