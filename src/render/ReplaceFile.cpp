#include "render/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace dunvel {
namespace {

// Writes all of bytes to fd; 0, or the errno of the write that failed.
int writeAll(int fd, std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

template <typename Fail>
std::string writeInto(const std::filesystem::path& path, std::string_view bytes, Fail fail) {
  // Not blocking on a pipe that nobody reads: that fails at once (ENXIO).
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return fail(errno);
  const int flags = ::fcntl(fd, F_GETFL);
  int error = flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ? errno : 0;
  if (error == 0) error = writeAll(fd, bytes);
  if (::close(fd) != 0 && error == 0) error = errno;
  return error == 0 ? std::string() : fail(error);
}

}  // namespace

std::string replaceFile(const std::filesystem::path& path, std::string_view bytes) {
  const auto fail = [&path](int error) {
    return "cannot write " + path.string() + ": " + std::strerror(error);
  };
  if (path.filename().empty()) return fail(EISDIR);
  struct stat existing {};
  if (::lstat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
      !S_ISLNK(existing.st_mode)) {
    if (S_ISDIR(existing.st_mode)) return fail(EISDIR);
    // A device, pipe or socket is written into, not replaced: renaming a file over /dev/null
    // (as root) would take the device away from everybody.
    return writeInto(path, bytes, fail);
  }
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  // Hidden, and named after the file, so a left-over one (the program killed mid-write) says
  // what it was for.
  std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno);
  int error = 0;
  // mkostemp makes the file 0600; a picture is for others to read, as one fopen would make.
  if (fchmod(fd, 0644) != 0) error = errno;
  if (error == 0) error = writeAll(fd, bytes);
  // A file system may report a full disk only when the file is closed.
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return fail(error);
  }
  return {};
}

}  // namespace dunvel
