#include "files/ReadRegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/FileDescriptor.h"

namespace dunvel {

namespace {

RegularFileText failed(RegularFileText::Problem problem, std::string reason = {}) {
  RegularFileText read;
  read.problem = problem;
  read.reason = std::move(reason);
  return read;
}

}  // namespace

RegularFileText readRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
  using Problem = RegularFileText::Problem;
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!file.valid()) return failed(Problem::cannotRead, std::strerror(errno));
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return failed(Problem::cannotRead, std::strerror(errno));
  if (!S_ISREG(info.st_mode)) return failed(Problem::notRegular);
  if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > maxBytes) {
    return failed(Problem::tooLarge);
  }
  // One byte more than the file's size is asked for, so a file that grew since is noticed.
  std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
  std::size_t total = 0;
  while (total < text.size()) {
    const ssize_t got = ::read(file.get(), text.data() + total, text.size() - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return failed(Problem::cannotRead, std::strerror(errno));
    if (got == 0) break;
    total += static_cast<std::size_t>(got);
    if (total > maxBytes) return failed(Problem::tooLarge);
  }
  text.resize(total);
  RegularFileText read;
  read.text = std::move(text);
  read.mode = info.st_mode;
  return read;
}

}  // namespace dunvel
