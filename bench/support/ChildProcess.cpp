#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace dunvel::bench {

ChildProcess::ChildProcess(std::vector<std::string> argv, Output output,
                           std::vector<std::string> remember) {
  for (std::string& prefix : remember) lastByPrefix_.emplace_back(std::move(prefix), "");
  int pipeEnds[2] = {-1, -1};
  if (output == Output::read && pipe2(pipeEnds, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot make a pipe for " + argv.at(0));
  }
  std::vector<char*> args;
  for (std::string& argument : argv) args.push_back(argument.data());
  args.push_back(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("cannot start " + argv.at(0));
  if (pid_ == 0) {
    const int target = output == Output::read ? pipeEnds[1] : open("/dev/null", O_WRONLY);
    dup2(target, STDOUT_FILENO);
    dup2(target, STDERR_FILENO);
    const int nothing = open("/dev/null", O_RDONLY);
    dup2(nothing, STDIN_FILENO);
    execv(args[0], args.data());
    _exit(127);
  }
  if (output == Output::read) {
    close(pipeEnds[1]);
    reader_ = std::thread([this, descriptor = pipeEnds[0]] { readOutput(descriptor); });
  } else {
    std::lock_guard lock(mutex_);
    ended_ = true;
  }
}

ChildProcess::~ChildProcess() {
  if (running()) {
    kill(pid_, SIGKILL);
    running();
    if (!reaped_) {
      waitpid(pid_, &status_, 0);
      reaped_ = true;
    }
  }
  if (reader_.joinable()) reader_.join();
}

void ChildProcess::readOutput(int descriptor) {
  std::string partial;
  char chunk[64 * 1024];
  for (;;) {
    const ssize_t got = read(descriptor, chunk, sizeof chunk);
    if (got <= 0) break;
    std::lock_guard lock(mutex_);
    for (ssize_t i = 0; i < got; ++i) {
      if (chunk[i] != '\n') {
        partial.push_back(chunk[i]);
        continue;
      }
      ++lines_;
      for (auto& [prefix, last] : lastByPrefix_) {
        if (partial.starts_with(prefix)) last = partial;
      }
      for (Wait* wait : waits_) {
        if (!wait->found && lines_ > wait->after && partial.find(wait->text) != partial.npos) {
          wait->found = true;
        }
      }
      recent_.push_back(std::move(partial));
      if (recent_.size() > kRecentLines) recent_.pop_front();
      partial.clear();
    }
    changed_.notify_all();
  }
  close(descriptor);
  std::lock_guard lock(mutex_);
  ended_ = true;
  changed_.notify_all();
}

std::uint64_t ChildProcess::linesSeen() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::string ChildProcess::lastLineStartingWith(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  for (const auto& [known, last] : lastByPrefix_) {
    if (known == prefix) return last;
  }
  throw std::logic_error("lastLineStartingWith: the prefix \"" + prefix + "\" is not remembered");
}

bool ChildProcess::waitForLine(const std::string& text, std::uint64_t after,
                               std::chrono::milliseconds within) {
  Wait wait{text, after, false};
  std::unique_lock lock(mutex_);
  const std::uint64_t firstRecent = lines_ - recent_.size() + 1;
  for (std::size_t i = 0; i < recent_.size() && !wait.found; ++i) {
    wait.found = firstRecent + i > after && recent_[i].find(text) != std::string::npos;
  }
  waits_.push_back(&wait);
  changed_.wait_for(lock, within, [&] { return wait.found || ended_; });
  waits_.erase(std::find(waits_.begin(), waits_.end(), &wait));
  return wait.found;
}

bool ChildProcess::running() {
  if (reaped_) return false;
  if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

void ChildProcess::signal(int number) {
  if (running()) kill(pid_, number);
}

int ChildProcess::stop(std::chrono::milliseconds within) {
  signal(SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (running() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (running()) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    reaped_ = true;
    return -1;
  }
  return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

}  // namespace dunvel::bench
