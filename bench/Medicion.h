#pragma once

#include <sys/resource.h>

// The peak resident memory of the process so far, in megabytes.
inline double PicoMemoriaMB() {
    rusage uso{};
    getrusage(RUSAGE_SELF, &uso);
    return uso.ru_maxrss / 1024.0;
}
