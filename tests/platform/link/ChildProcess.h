#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/link/LinkTestSupport.h"

namespace dunvel::testing {

// A program run as a user runs it, its standard output and error read through one pipe. A
// process still running at the end of the test is killed.
class ChildProcess {
 public:
  // environment: NAME=value entries that replace or add to this process's own environment.
  ChildProcess(std::string program, std::vector<std::string> arguments,
               const std::vector<std::string>& environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads output until it contains text; false at end of output or once `within` has passed.
  bool waitForOutput(const std::string& text, std::chrono::milliseconds within = kDeadline);

  void signal(int number);

  // Waits for the process to end (the output read to its end first, so it cannot block on a
  // full pipe); its exit status, or -1 when it did not exit normally.
  int exitStatus();

  const std::string& output() const { return seen_; }

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  bool exited_ = false;
  std::string seen_;
};

}  // namespace dunvel::testing
