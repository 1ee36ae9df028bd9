#include "files/ReadRegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/FileDescriptor.h"

namespace dunvel {

RegularFileText readRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file.valid()) return {std::nullopt, std::strerror(errno)};
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return {std::nullopt, std::strerror(errno)};
  if (!S_ISREG(info.st_mode)) return {std::nullopt, "not a regular file"};
  if (info.st_size < 0 || static_cast<std::size_t>(info.st_size) > maxBytes) {
    return {std::nullopt, "larger than " + std::to_string(maxBytes) + " bytes"};
  }
  // One byte more than the limit is asked for, so a file that grew since fstat is noticed.
  std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t total = 0;
  while (total < text.size()) {
    const ssize_t got = ::read(file.get(), text.data() + total, text.size() - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return {std::nullopt, std::strerror(errno)};
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
    if (total > maxBytes)
      return {std::nullopt, "larger than " + std::to_string(maxBytes) + " bytes"};
  }
  text.resize(total);
  return {std::move(text), {}};
}

}  // namespace dunvel
