#pragma once

#include <sys/types.h>

#include <cstdint>

namespace dunvel::bench {

// What the kernel says about a running process at one moment, from /proc.
struct ProcessSample {
  // Resident memory now and its peak so far (VmRSS and VmHWM of /proc/PID/status).
  std::int64_t vmRssKiB = 0;
  std::int64_t vmHwmKiB = 0;
  // Times the main thread (the thread whose id is the process id) went to sleep and was woken
  // (voluntary_ctxt_switches of /proc/PID/task/PID/status): its wake-ups.
  std::int64_t mainThreadWakeUps = 0;
  // Time on a CPU of the process's running threads so far (/proc/PID/task/*/schedstat).
  double cpuSeconds = 0;
  // False when the process is gone or /proc could not be read.
  bool ok = false;
};

ProcessSample sampleProcess(pid_t pid);

}  // namespace dunvel::bench
