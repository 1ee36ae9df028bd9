#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "files/FileDescriptor.h"

namespace dunvel {

// An input opened for reading, or else one line saying why it is not one.
struct OpenedFile {
  FileDescriptor file;
  std::string problem;
  // Its size when it was opened.
  std::uintmax_t size = 0;
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
};

// Reads the regular file at path whole, opened as openRegularFile opens it, up to maxBytes.
FileBytes readRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

// How a file's type reads in a problem: "a FIFO", "a folder", "a socket", "a device".
std::string fileTypeName(unsigned mode);

}  // namespace dunvel
