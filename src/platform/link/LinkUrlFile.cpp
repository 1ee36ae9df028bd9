#include "platform/link/LinkUrlFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/ReplaceFile.h"
#include "state/OneLine.h"

namespace dunvel {
namespace {

// A URL with a 64-digit token is about a hundred bytes; anything much longer is not one.
constexpr off_t kMaxUrlFileBytes = 4096;

std::string shown(const std::filesystem::path& path) {
  return oneLine(path.string());
}

}  // namespace

std::filesystem::path LinkUrlFile::pathFor(const std::filesystem::path& socketPath) {
  std::filesystem::path path = socketPath;
  path += ".url";
  return path;
}

LinkUrlFile::~LinkUrlFile() {
  remove();
}

std::string LinkUrlFile::write(const std::filesystem::path& path, const std::string& text) {
  remove();
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
    return "refusing to replace " + shown(path) + ": it exists and is not a regular file";
  }
  // Written beside it and renamed over it: the rename replaces whatever entry is there (a link
  // planted in its place included) without opening it, and a reader never sees half a URL.
  struct stat written {};
  const int error = replaceWhole(path, text, 0600, &written);
  if (error != 0) return "cannot write " + shown(path) + ": " + std::strerror(error);
  path_ = path;
  written_ = Identity{written.st_dev, written.st_ino};
  return {};
}

void LinkUrlFile::remove() {
  if (!written_) return;
  struct stat info {};
  if (lstat(path_.c_str(), &info) == 0 && Identity{info.st_dev, info.st_ino} == *written_) {
    unlink(path_.c_str());
  }
  written_.reset();
}

namespace {

// One line from a small regular file, for what it is said to hold: the file is opened without
// blocking (a FIFO planted at the path is refused, not waited on).
std::string readOneLineFile(const std::filesystem::path& path, const std::string& holds,
                            std::string& line, mode_t* mode) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot read " + shown(path) + ": " + std::strerror(errno);
  struct stat info {};
  std::string problem;
  if (fstat(fd, &info) != 0) {
    problem = "cannot read " + shown(path) + ": " + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    problem = shown(path) + " is not a regular file";
  } else if (info.st_size > kMaxUrlFileBytes) {
    problem = shown(path) + " is too long to hold " + holds;
  }
  std::string text;
  if (problem.empty()) {
    char buffer[kMaxUrlFileBytes + 1];
    ssize_t got = 0;
    std::size_t total = 0;
    while (total < sizeof buffer &&
           ((got = ::read(fd, buffer + total, sizeof buffer - total)) > 0 ||
            (got < 0 && errno == EINTR))) {
      if (got > 0) total += static_cast<std::size_t>(got);
    }
    if (got < 0) problem = "cannot read " + shown(path) + ": " + std::strerror(errno);
    text.assign(buffer, total);
  }
  ::close(fd);
  if (!problem.empty()) return problem;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty() || text.find_first_of("\r\n") != std::string::npos ||
      text.size() > static_cast<std::size_t>(kMaxUrlFileBytes)) {
    return shown(path) + " does not hold " + holds + " on one line";
  }
  if (mode != nullptr) *mode = info.st_mode;
  line = std::move(text);
  return {};
}

}  // namespace

std::string readLinkUrlFile(const std::filesystem::path& path, std::string& url) {
  return readOneLineFile(path, "a URL (dunvel-watch --listen writes one)", url, nullptr);
}

std::string readSecretFile(const std::filesystem::path& path, const std::string& holds,
                           std::string& secret, bool& readableByOthers) {
  mode_t mode = 0;
  std::string problem = readOneLineFile(path, holds, secret, &mode);
  readableByOthers = problem.empty() && (mode & (S_IRWXG | S_IRWXO)) != 0;
  return problem;
}

}  // namespace dunvel
