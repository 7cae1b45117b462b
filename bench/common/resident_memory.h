#pragma once
// What the benchmarks measure memory with: the resident set of this process.

#include <cstdio>

#include <unistd.h>

namespace bench {

// Resident memory of this process in bytes, from /proc/self/statm; 0 when it can't be read.
inline double resident_bytes()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

}  // namespace bench
