#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace dunvel {

// What readRegularFile read: the file's bytes, or else why there are none, in a few words that
// follow the file's name ("not a regular file", "larger than 1024 bytes", the system's reason).
struct RegularFileText {
  std::optional<std::string> text;
  std::string problem;
};

// Reads a regular file of at most maxBytes whole. It is opened without blocking, so a FIFO or a
// device in its place is refused rather than waited on.
RegularFileText readRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace dunvel
