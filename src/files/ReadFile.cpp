#include "files/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ext/stdio_filebuf.h>

#include "files/FileDescriptor.h"

namespace dunvel {

std::string fileTypeName(unsigned mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISLNK(mode)) return "a symbolic link";
  return "not a regular file";
}

OpenedFile openRegularFile(const std::filesystem::path& path) {
  OpenedFile result;
  result.file.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!result.file.valid()) {
    result.kind = FileProblem::cannotRead;
    result.reason = std::strerror(errno);
    result.problem = "cannot open: " + result.reason;
    return result;
  }
  struct stat seen {};
  if (::fstat(result.file.get(), &seen) != 0) {
    result.kind = FileProblem::cannotRead;
    result.reason = std::strerror(errno);
    result.problem = "cannot read: " + result.reason;
  } else if (!S_ISREG(seen.st_mode)) {
    result.kind = FileProblem::notRegular;
    result.problem = "is " + fileTypeName(seen.st_mode) + ", not a regular file";
  } else if (const int flags = ::fcntl(result.file.get(), F_GETFL);
             flags < 0 || ::fcntl(result.file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
    result.kind = FileProblem::cannotRead;
    result.reason = std::strerror(errno);
    result.problem = "cannot read: " + result.reason;
  } else {
    result.size = static_cast<std::uintmax_t>(seen.st_size);
    result.mode = seen.st_mode;
    return result;
  }
  result.file.reset();
  return result;
}

// The C++ library's buffer over a descriptor, which it closes when it goes.
struct RegularFileStream::Buffer {
  explicit Buffer(int fd) : buffer(fd, std::ios::in | std::ios::binary) {}
  __gnu_cxx::stdio_filebuf<char> buffer;
};

RegularFileStream::RegularFileStream(const std::filesystem::path& path) {
  OpenedFile opened = openRegularFile(path);
  problem_ = std::move(opened.problem);
  if (problem_.empty()) buffer_ = std::make_unique<Buffer>(opened.file.release());
  stream_ = std::make_unique<std::istream>(buffer_ ? &buffer_->buffer : nullptr);
  // A stream without a buffer reads as failed.
  if (!buffer_) stream_->setstate(std::ios::badbit);
}

RegularFileStream::~RegularFileStream() = default;

FileBytes readRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
  FileBytes result;
  const OpenedFile opened = openRegularFile(path);
  if (!opened.problem.empty()) {
    result.problem = opened.problem;
    result.kind = opened.kind;
    result.reason = opened.reason;
    return result;
  }
  const FileDescriptor& file = opened.file;
  const auto tooLarge = [&] {
    result.tooLarge = true;
    result.kind = FileProblem::tooLarge;
    result.problem = "larger than " + std::to_string(maxBytes) + " bytes";
    if (maxBytes % (1024 * 1024) == 0) {
      result.problem = "larger than " + std::to_string(maxBytes / (1024 * 1024)) + " MiB";
    }
  };
  if (opened.size > maxBytes) {
    tooLarge();
    return result;
  }
  std::string bytes;
  // The size said is a hint: the file may grow or shrink while it is read.
  bytes.reserve(static_cast<std::size_t>(opened.size));
  char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result.kind = FileProblem::cannotRead;
      result.reason = std::strerror(errno);
      result.problem = "cannot read: " + result.reason;
      return result;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
      tooLarge();
      return result;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  result.bytes = std::move(bytes);
  result.mode = opened.mode;
  return result;
}

}  // namespace dunvel
