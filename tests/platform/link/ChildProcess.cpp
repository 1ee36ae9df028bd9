#include "platform/link/ChildProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/link/LinkTestSupport.h"

extern char** environ;

namespace dunvel::testing {

ChildProcess::ChildProcess(std::string program, std::vector<std::string> arguments,
                           const std::vector<std::string>& environment) {
  arguments.insert(arguments.begin(), std::move(program));
  std::vector<std::string> variables = environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable(*entry);
    const std::string name = variable.substr(0, variable.find('=') + 1);
    bool replaced = false;
    for (const std::string& given : environment) replaced = replaced || given.rfind(name, 0) == 0;
    if (!replaced) variables.push_back(variable);
  }
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (auto& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);

  // posix_spawn rather than fork: the child runs no code of this process (a forked copy of a
  // threaded test under ThreadSanitizer can block before it reaches exec), and the pipe's ends
  // close on exec so another child started meanwhile cannot hold this one's output open.
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
  const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(output[1]);
  output_ = output[0];
  if (failed != 0) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(failed);
    pid_ = -1;
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) ::close(output_);
}

bool ChildProcess::waitForOutput(const std::string& text, std::chrono::milliseconds within) {
  if (output_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (seen_.find(text) == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd waiting{output_, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t got = ::read(output_, chunk, sizeof chunk);
    if (got <= 0) return false;
    seen_.append(chunk, static_cast<std::size_t>(got));
  }
  return true;
}

void ChildProcess::signal(int number) {
  if (pid_ > 0) kill(pid_, number);
}

int ChildProcess::exitStatus() {
  if (pid_ <= 0) return -1;
  waitForOutput(std::string(1, '\0'));
  // A program that has closed its output may still be ending; one that has not ended by the
  // deadline is hung, and a test must fail on it rather than wait for ever.
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the program did not end within the deadline; killed";
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  exited_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace dunvel::testing
