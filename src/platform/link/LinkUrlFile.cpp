#include "platform/link/LinkUrlFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "files/ReadFile.h"
#include "files/ReplaceFile.h"
#include "state/OneLine.h"

namespace dunvel {
namespace {

// A URL with a 64-digit token is about a hundred bytes; anything much longer is not one.
constexpr std::size_t kMaxUrlFileBytes = 4096;

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
  FileBytes read = readRegularFile(path, kMaxUrlFileBytes);
  switch (read.kind) {
    case FileProblem::none:
      break;
    case FileProblem::notRegular:
      return shown(path) + " is not a regular file";
    case FileProblem::tooLarge:
      return shown(path) + " is too long to hold " + holds;
    case FileProblem::cannotRead:
      return "cannot read " + shown(path) + ": " + read.reason;
  }
  std::string text = std::move(*read.bytes);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  if (text.empty() || text.find_first_of("\r\n") != std::string::npos) {
    return shown(path) + " does not hold " + holds + " on one line";
  }
  if (mode != nullptr) *mode = read.mode;
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
