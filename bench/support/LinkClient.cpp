#include "support/LinkClient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace dunvel::bench {

LinkClient::~LinkClient() {
  close();
}

bool LinkClient::connect(const std::filesystem::path& path, std::chrono::milliseconds within) {
  close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string name = path.string();
  if (name.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  const auto deadline = std::chrono::steady_clock::now() + within;
  for (;;) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      return true;
    }
    close();
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool LinkClient::write(std::string_view bytes) {
  while (!bytes.empty() && fd_ >= 0) {
    const ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return fd_ >= 0;
}

std::size_t LinkClient::drainLines(std::string_view prefix) {
  std::size_t matching = 0;
  char chunk[64 * 1024];
  while (fd_ >= 0) {
    const ssize_t got = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
    if (got <= 0) break;
    for (ssize_t i = 0; i < got; ++i) {
      if (chunk[i] != '\n') {
        if (partial_.size() < prefix.size()) partial_.push_back(chunk[i]);
        continue;
      }
      if (partial_.starts_with(prefix)) ++matching;
      partial_.clear();
    }
  }
  return matching;
}

void LinkClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  partial_.clear();
}

}  // namespace dunvel::bench
