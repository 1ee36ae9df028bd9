#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <memory>
#include <optional>
#include <string>

#include "files/FileDescriptor.h"

namespace dunvel {

// What kept a file's bytes away, for a reader that says it in its own words about what the file
// is for.
enum class FileProblem {
  none,
  // It could not be opened or read: the system's reason is given.
  cannotRead,
  // Something else stands at the path: a folder, a FIFO, a socket, a device.
  notRegular,
  tooLarge,
};

// An input opened for reading, or else one line saying why it is not one.
struct OpenedFile {
  FileDescriptor file;
  std::string problem;
  FileProblem kind = FileProblem::none;
  // The system's words, for cannotRead.
  std::string reason;
  // Its size and mode (type and permission bits) when it was opened.
  std::uintmax_t size = 0;
  unsigned mode = 0;
};

// Opens path for reading without blocking (a FIFO that nobody writes would hold the reader for
// ever), and keeps it only when it is a regular file, so a pipe, device, socket or folder named
// like an input is a problem, never a wait. The descriptor it gives reads as a blocking one.
OpenedFile openRegularFile(const std::filesystem::path& path);

// A file's bytes, or else one line saying why they cannot be had ("cannot open: No such file or
// directory", "is a FIFO, not a regular file", "larger than 64 MiB").
struct FileBytes {
  std::optional<std::string> bytes;
  std::string problem;
  // The problem is the size, for a reader that says what the limit is for.
  bool tooLarge = false;
  FileProblem kind = FileProblem::none;
  // The system's words, for cannotRead.
  std::string reason;
  // The file's mode, when it was read: a secret others can read is warned of.
  unsigned mode = 0;
};

// A regular file opened as openRegularFile opens it, read as a stream (a recording, read line
// by line). problem() is empty when it could be opened.
class RegularFileStream {
 public:
  explicit RegularFileStream(const std::filesystem::path& path);
  ~RegularFileStream();
  RegularFileStream(const RegularFileStream&) = delete;
  RegularFileStream& operator=(const RegularFileStream&) = delete;

  const std::string& problem() const { return problem_; }
  std::istream& stream() { return *stream_; }

 private:
  struct Buffer;
  std::string problem_;
  std::unique_ptr<Buffer> buffer_;
  std::unique_ptr<std::istream> stream_;
};

// Reads the regular file at path whole, opened as openRegularFile opens it, up to maxBytes.
FileBytes readRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

// How a file's type reads in a problem: "a FIFO", "a folder", "a socket", "a device".
std::string fileTypeName(unsigned mode);

}  // namespace dunvel
