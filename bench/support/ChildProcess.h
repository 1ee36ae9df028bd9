#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dunvel::bench {

// A program run as its user runs it, for the measuring programs and the soak. Its standard output
// and error are read line by line on a thread of their own and kept only as counts and the lines
// a caller waits for, so a companion that logs for hours costs the reader no memory.
class ChildProcess {
 public:
  enum class Output { read, discard };

  // remember: prefixes of lines whose last occurrence lastLineStartingWith can return.
  ChildProcess(std::vector<std::string> argv, Output output = Output::read,
               std::vector<std::string> remember = {});
  // Kills the program (SIGKILL) if it still runs, and reaps it.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  static constexpr std::size_t kRecentLines = 1024;

  pid_t pid() const { return pid_; }

  // Lines read so far.
  std::uint64_t linesSeen() const;
  // The last line read that starts with prefix, one of those given to remember; empty when none
  // did.
  std::string lastLineStartingWith(const std::string& prefix) const;
  // Waits until a line read after the first `after` lines contains text; false at the deadline or
  // at the end of the output. Lines that came before the call count too, as long as they are among
  // the last kRecentLines.
  bool waitForLine(const std::string& text, std::uint64_t after, std::chrono::milliseconds within);

  // Whether the program still runs (reaps it when it has ended).
  bool running();
  void signal(int number);
  // Sends SIGTERM, waits up to `within` for the end, then SIGKILL. The exit status, or -1 when the
  // program did not exit by itself.
  int stop(std::chrono::milliseconds within = std::chrono::seconds(10));

 private:
  void readOutput(int descriptor);

  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = 0;
  std::thread reader_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t lines_ = 0;
  bool ended_ = false;
  std::deque<std::string> recent_;
  // The last line for each remembered prefix.
  std::vector<std::pair<std::string, std::string>> lastByPrefix_;
  struct Wait {
    std::string text;
    std::uint64_t after = 0;
    bool found = false;
  };
  std::vector<Wait*> waits_;
};

}  // namespace dunvel::bench
