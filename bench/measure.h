// What the benchmarks measure with: wall time, the CPU time of the process
// (user and system; unlike the wall clock it leaves out the time other
// processes held the CPU), and the peak of its resident memory (Linux).
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

inline double seconds_since(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

inline double cpu_seconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  auto s = [](const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
  };
  return s(ru.ru_utime) + s(ru.ru_stime);
}

// The system part of cpu_seconds: the kernel's work for the process (its
// reads, writes and page faults).
inline double system_seconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_stime.tv_sec) + static_cast<double>(ru.ru_stime.tv_usec) / 1e6;
}

// Starts a new peak-memory measurement (clear_refs 5 resets VmHWM).
inline void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The peak resident memory since the last reset_peak, in KiB; -1 unknown.
inline long peak_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}
