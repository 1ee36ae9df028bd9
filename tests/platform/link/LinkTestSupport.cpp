#include "platform/link/LinkTestSupport.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace dunvel::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dunvel-link-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

TestHostSocket::TestHostSocket(const std::filesystem::path& path) {
  fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ADD_FAILURE() << "cannot connect to " << path << ": " << std::strerror(errno);
    close();
  }
}

TestHostSocket::~TestHostSocket() {
  close();
}

void TestHostSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void TestHostSocket::shutdownWriting() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

bool TestHostSocket::write(std::string_view bytes) {
  while (!bytes.empty()) {
    if (fd_ < 0) return false;
    const ssize_t written = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::optional<std::string> TestHostSocket::readLine() {
  const auto deadline = std::chrono::steady_clock::now() + kDeadline;
  while (true) {
    if (const std::size_t newline = buffered_.find('\n'); newline != std::string::npos) {
      std::string line = buffered_.substr(0, newline);
      buffered_.erase(0, newline + 1);
      return line;
    }
    if (fd_ < 0) return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd waiting{fd_, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[4096];
    const ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    buffered_.append(chunk, static_cast<std::size_t>(got));
  }
}

bool TestHostSocket::readsEndOfInput() {
  if (fd_ < 0 || !buffered_.empty()) return false;
  pollfd waiting{fd_, POLLIN, 0};
  if (::poll(&waiting, 1, static_cast<int>(std::chrono::milliseconds(kDeadline).count())) <= 0) {
    return false;
  }
  char byte = 0;
  return ::read(fd_, &byte, 1) == 0;
}

void RecordingDelegate::record(Event event) {
  event.thread = std::this_thread::get_id();
  std::lock_guard lock(mutex_);
  events_.push_back(std::move(event));
  changed_.notify_all();
}

void RecordingDelegate::sessionActivationDidComplete(Session& session, ActivationState,
                                                     const std::optional<std::string>& error) {
  record({"activation", session.receivedApplicationContext(), session.isReachable(), error, {}});
}

void RecordingDelegate::sessionDidReceiveApplicationContext(
    Session& session, const ContextDictionary& applicationContext) {
  record({"context", applicationContext, session.isReachable(), std::nullopt, {}});
}

void RecordingDelegate::sessionDidReceiveMessage(Session& session,
                                                 const ContextDictionary& message) {
  record({"message", message, session.isReachable(), std::nullopt, {}});
}

void RecordingDelegate::sessionReachabilityDidChange(Session& session) {
  record({"reachability", {}, session.isReachable(), std::nullopt, {}});
}

std::vector<RecordingDelegate::Event> RecordingDelegate::waitForEvents(std::size_t count) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, kDeadline, [&] { return events_.size() >= count; });
  EXPECT_GE(events_.size(), count) << "the session did not deliver the expected callbacks";
  return events_;
}

std::vector<RecordingDelegate::Event> RecordingDelegate::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

void HandDrainedQueue::async(std::function<void()> block) {
  std::lock_guard lock(mutex_);
  blocks_.push_back(std::move(block));
  mostPending_ = std::max(mostPending_, blocks_.size());
  changed_.notify_all();
}

void HandDrainedQueue::waitUntilPendingAtMost(std::size_t n) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return closed_ || blocks_.size() <= n; });
}

bool HandDrainedQueue::waitUntilPendingAtLeast(std::size_t n) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kDeadline, [&] { return blocks_.size() >= n; });
}

bool HandDrainedQueue::runOne() {
  std::function<void()> block;
  {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, kDeadline, [&] { return !blocks_.empty(); })) return false;
    block = std::move(blocks_.front());
    blocks_.pop_front();
    changed_.notify_all();
  }
  block();
  return true;
}

std::size_t HandDrainedQueue::pending() const {
  std::lock_guard lock(mutex_);
  return blocks_.size();
}

std::size_t HandDrainedQueue::mostPending() const {
  std::lock_guard lock(mutex_);
  return mostPending_;
}

void HandDrainedQueue::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

}  // namespace dunvel::testing
