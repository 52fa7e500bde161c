// Clock, processor-time and memory readings shared by the probes. Every time
// is CLOCK_MONOTONIC, the clock std::chrono::steady_clock reads on Linux, so
// readings taken in different processes and threads can be subtracted.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pcpos::bench {

using Clock = std::chrono::steady_clock;

std::int64_t MonotonicNs();

// User plus system time of the whole process, all threads, in seconds.
double ProcessCpuSeconds();

// A "Vm...:" line of /proc/self/status in KiB (VmRSS, VmHWM); nullopt when absent.
std::optional<long> StatusKb(const std::string& key);

// A fresh folder under the system's temporary folder, with a trailing "/",
// as the log folder input wants it; removed by RemoveTree.
std::string MakeTempFolder(const std::string& tag);
void RemoveTree(const std::string& folder);

}  // namespace pcpos::bench
