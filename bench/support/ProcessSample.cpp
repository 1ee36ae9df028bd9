#include "support/ProcessSample.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace dunvel::bench {
namespace {

// The number after "name:" in a /proc status file; -1 when the line is missing.
std::int64_t statusField(const std::string& path, const std::string& name) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.compare(0, name.size() + 1, name + ":") == 0) {
      return std::stoll(line.substr(name.size() + 1));
    }
  }
  return -1;
}

}  // namespace

ProcessSample sampleProcess(pid_t pid) {
  ProcessSample sample;
  const std::string folder = "/proc/" + std::to_string(pid);
  sample.vmRssKiB = statusField(folder + "/status", "VmRSS");
  sample.vmHwmKiB = statusField(folder + "/status", "VmHWM");
  sample.mainThreadWakeUps =
      statusField(folder + "/task/" + std::to_string(pid) + "/status", "voluntary_ctxt_switches");

  // Each thread's time on a CPU in nanoseconds, the first field of its schedstat: finer than the
  // clock ticks of /proc/PID/stat, which would round a quiet minute down to nothing.
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(folder + "/task", error)) {
    std::ifstream schedstat(task.path() / "schedstat");
    long long nanoseconds = 0;
    if (schedstat >> nanoseconds) sample.cpuSeconds += static_cast<double>(nanoseconds) * 1e-9;
  }
  sample.ok = !error && sample.vmRssKiB >= 0 && sample.mainThreadWakeUps >= 0;
  return sample;
}

}  // namespace dunvel::bench
