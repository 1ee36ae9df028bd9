#include "files/FileDescriptor.h"

#include <unistd.h>

#include <cerrno>

namespace dunvel {

void FileDescriptor::reset(int fd) {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

int FileDescriptor::close() {
  if (fd_ < 0) return 0;
  // Linux frees the descriptor even when close fails (EINTR included): it is never closed twice.
  const int closed = ::close(release());
  return closed == 0 ? 0 : errno;
}

}  // namespace dunvel
