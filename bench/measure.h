// What the benchmarks measure with: wall time, the CPU time of the process
// (user and system; unlike the wall clock it leaves out the time other
// processes held the CPU), and the peak of its resident memory (Linux).
#pragma once

#include <malloc.h>
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

// tcmalloc's, when the process allocates with it: gives the memory it holds
// free back to the system.
extern "C" void MallocExtension_ReleaseFreeMemory() __attribute__((weak));

// Starts a new peak-memory measurement (clear_refs 5 resets VmHWM). What the
// allocator holds free from earlier work goes back to the system first: it
// is not the next step's.
inline void reset_peak() {
  if (MallocExtension_ReleaseFreeMemory) MallocExtension_ReleaseFreeMemory();
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";
}

// The peak resident memory since the last reset_peak, in KiB; -1 unknown.
inline long peak_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}
