#include "host/OutputWatch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace dunvel {

OutputWatch::OutputWatch(int fd, std::function<void()> onClosed) {
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
    return;
  }
  if (pipe2(wake_, O_CLOEXEC) != 0) return;
  thread_ = std::thread([this, fd, onClosed = std::move(onClosed)] {
    // No events asked for on the output: poll reports only its error or hang-up, which is
    // what a pipe whose reader closed shows.
    pollfd watched[2] = {{fd, 0, 0}, {wake_[0], POLLIN, 0}};
    for (;;) {
      if (poll(watched, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (watched[1].revents != 0) return;
      if ((watched[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        onClosed();
        return;
      }
    }
  });
}

OutputWatch::~OutputWatch() {
  if (thread_.joinable()) {
    const char byte = 0;
    while (::write(wake_[1], &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  for (int fd : wake_) {
    if (fd >= 0) ::close(fd);
  }
}

}  // namespace dunvel
