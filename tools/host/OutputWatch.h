#pragma once

#include <functional>
#include <thread>

namespace dunvel {

// Notices when the reader of a pipe or socket goes away (`dunvel-host listen | head -n 1`)
// without anything being written to it: a command that prints only now and then would otherwise
// hold the link until its next line failed. Watches on a thread of its own; for an output that
// is neither a pipe nor a socket (a terminal, a file) it does nothing.
class OutputWatch {
 public:
  // onClosed runs once, on the watch's thread, when the reader of fd has gone.
  OutputWatch(int fd, std::function<void()> onClosed);
  ~OutputWatch();
  OutputWatch(const OutputWatch&) = delete;
  OutputWatch& operator=(const OutputWatch&) = delete;

 private:
  int wake_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace dunvel
