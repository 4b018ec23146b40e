#pragma once

#include <fstream>
#include <string>

// The process's memory as the kernel counts it, for the benchmarks that report it.

// Megabytes of a field of /proc/self/status ("VmRSS", "VmHWM"), which the kernel gives in
// kilobytes.
inline double StatusMegabytes(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
    return 0;
}

// Starts the peak (VmHWM) over again, so each benchmark reports its own.
inline void ResetPeakRss()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}
