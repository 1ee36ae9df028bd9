#include "render/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace dunvel {

std::string replaceFile(const std::filesystem::path& path, std::string_view bytes) {
  const auto fail = [&path](int error) {
    return "cannot write " + path.string() + ": " + std::strerror(error);
  };
  if (path.filename().empty()) return fail(EISDIR);
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  // Hidden, and named after the file, so a left-over one (the program killed mid-write) says
  // what it was for.
  std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno);
  int error = 0;
  // mkostemp makes the file 0600; a picture is for others to read, as one fopen would make.
  if (fchmod(fd, 0644) != 0) error = errno;
  std::size_t written = 0;
  while (error == 0 && written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
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
