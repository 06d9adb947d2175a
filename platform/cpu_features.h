// What the processor can do beyond the build's baseline, read once at run
// time, so that a hot loop can take a vector path only where it runs.
#pragma once

namespace platform {

struct CpuFeatures {
    bool sse2 = false;
    bool ssse3 = false;
    bool sse41 = false;
    bool avx2 = false;  // the instructions and the system's saving of the YMM registers
    bool sha = false;   // the SHA-1/SHA-256 extensions
    bool bmi2 = false;  // RORX, SHLX and the other BMI2 instructions
};

// The features of the processor this process runs on; all false on targets
// other than x86.
const CpuFeatures& cpuFeatures();

}  // namespace platform
