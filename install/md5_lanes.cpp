#include "install/md5_lanes.h"

#include "platform/cpu_features.h"

Md5Lanes md5Lanes(unsigned maxLanes) {
    const platform::CpuFeatures& cpu = platform::cpuFeatures();
    if (maxLanes >= 8 && cpu.avx2) return {8, md5Lanes8Avx2};
    if (maxLanes >= 4 && cpu.sse2) return {4, md5Lanes4Sse2};
    return {1, md5Lanes1};
}
