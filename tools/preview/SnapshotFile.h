#pragma once

#include <iosfwd>
#include <string>

#include "state/ContextValue.h"

namespace dunvel {

struct SnapshotFileResult {
  ContextDictionary dictionary;
  // Empty on success; otherwise one line, "FILE: problem".
  std::string error;
  bool ok() const { return error.empty(); }
};

// Snapshot files are small; anything larger is refused rather than read into memory whole.
inline constexpr std::size_t kMaxSnapshotFileBytes = 16 * 1024 * 1024;

// Reads a JSON snapshot from the file at `path`, or from `standardInput` when path is "-".
SnapshotFileResult readSnapshotFile(const std::string& path, std::istream& standardInput);

}  // namespace dunvel
