#include "files/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/FileDescriptor.h"
#include "files/TemporaryFile.h"
#include "files/WriteAll.h"

namespace dunvel {
namespace {

template <typename Fail>
std::string writeInto(const std::filesystem::path& path, std::string_view bytes, Fail fail) {
  // Not blocking on a pipe that nobody reads: that fails at once (ENXIO).
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file.valid()) return fail(errno);
  const int flags = ::fcntl(file.get(), F_GETFL);
  int error = flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0 ? errno : 0;
  if (error == 0) error = writeAll(file.get(), bytes);
  if (const int closed = file.close(); error == 0) error = closed;
  return error == 0 ? std::string() : fail(error);
}

}  // namespace

int replaceWhole(const std::filesystem::path& path, std::string_view bytes, mode_t mode,
                 struct stat* written) {
  TemporaryFile file(path);
  int error = file.error();
  if (error == 0 && fchmod(file.fd(), mode) != 0) error = errno;
  if (error == 0) error = writeAll(file.fd(), bytes);
  if (error == 0 && written != nullptr && fstat(file.fd(), written) != 0) error = errno;
  if (const int closed = file.close(); error == 0) error = closed;
  if (error == 0) error = file.replace();
  return error;
}

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
  // A picture is for others to read, as one fopen would make it.
  const int error = replaceWhole(path, bytes, 0644);
  return error == 0 ? std::string() : fail(error);
}

}  // namespace dunvel
