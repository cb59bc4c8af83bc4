// Resident memory of the test process, for tests that bound it.
#pragma once

#include <unistd.h>

#include <cstdio>

namespace tarvel_test {

// Bytes of the process resident in memory now (0 when unknown).
inline long long resident_bytes() {
    long long size = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%lld %lld", &size, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

}  // namespace tarvel_test
