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

// Reads a JSON snapshot from the file at `path`, or from `standardInput` when path is "-".
SnapshotFileResult readSnapshotFile(const std::string& path, std::istream& standardInput);

}  // namespace dunvel
