#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace dunvel {

// What readRegularFile read: the file's bytes and mode, or else what kept it from them, for the
// caller to say in its own words about what the file is for.
struct RegularFileText {
  enum class Problem {
    none,
    // It could not be opened or read: reason holds the system's words.
    cannotRead,
    // Something else stands at the path: a folder, a FIFO, a device.
    notRegular,
    tooLarge,
  };
  std::optional<std::string> text;
  Problem problem = Problem::none;
  std::string reason;
  // The file's mode (type and permission bits), when it was read.
  mode_t mode = 0;
};

// Reads a regular file of at most maxBytes whole. It is opened without blocking, so a FIFO or a
// device in its place is refused rather than waited on.
RegularFileText readRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace dunvel
