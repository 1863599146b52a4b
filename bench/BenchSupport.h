// Timing, memory and catalogue generation for the benchmarks.
#pragma once

#include <chrono>
#include <string>

namespace bench {

inline double msSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// VmRSS / VmHWM of this process in MiB.
double rssMiB();
double peakRssMiB();

// Wall time of a shell command in ms (best of runs).
double timeCommand(const std::string& command, int runs = 3);

// Writes an SQLite catalogue with the tevoxB schema and n synthetic entries (deterministic).
void generateCatalogue(const std::string& path, int n);

} // namespace bench
