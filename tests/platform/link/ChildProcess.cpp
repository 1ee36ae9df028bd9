#include "platform/link/ChildProcess.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <utility>

#include "platform/link/LinkTestSupport.h"

extern char** environ;

namespace dunvel::testing {

ChildProcess::ChildProcess(std::string program, std::vector<std::string> arguments,
                           const std::vector<std::string>& environment) {
  arguments.insert(arguments.begin(), std::move(program));
  // Everything the child needs is made before fork: the test may run threads, and after fork
  // only async-signal-safe calls are allowed.
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

  int output[2];
  if (pipe(output) != 0) ADD_FAILURE() << "pipe failed";
  pid_ = fork();
  if (pid_ == 0) {
    dup2(output[1], STDOUT_FILENO);
    dup2(output[1], STDERR_FILENO);
    ::close(output[0]);
    ::close(output[1]);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  ::close(output[1]);
  output_ = output[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (output_ >= 0) ::close(output_);
}

bool ChildProcess::waitForOutput(const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
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
  kill(pid_, number);
}

int ChildProcess::exitStatus() {
  waitForOutput(std::string(1, '\0'));
  int status = 0;
  waitpid(pid_, &status, 0);
  exited_ = true;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace dunvel::testing
