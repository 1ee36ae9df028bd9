#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "state/ContextValue.h"

namespace dunvel {

inline constexpr int kMaxSnapshotDepth = 64;
// Snapshot files are small; anything larger is refused as it is read, never read into memory
// whole (the file may be endless, such as a device).
inline constexpr std::size_t kMaxSnapshotFileBytes = 16 * 1024 * 1024;

struct JsonReadResult {
  ContextDictionary dictionary;
  // Empty on success; otherwise one line naming what is wrong and where
  // ("line 3, column 7: ..." for syntax, "/teams/1: null ..." for a refused value).
  std::string error;
  bool ok() const { return error.empty(); }
};

// Reads one JSON object into a context dictionary. Refuses null anywhere (naming its JSON
// pointer), nesting deeper than maxDepth (the top-level object is depth 1) without recursing
// on the input, and a top level that is not an object.
JsonReadResult readSnapshotJson(std::string_view json, int maxDepth = kMaxSnapshotDepth);

// Writes a dictionary as one line of JSON: text → string, integers and floating values as
// numbers, boolean, array, dictionary → object; a date → its seconds since 1970 as a number; raw
// data → its base64 text (RFC 4648, padded). JSON has no NaN or infinity: such a floating value is
// written as null, which readSnapshotJson then refuses, naming where it is. Ill-formed UTF-8 in a
// text is written as U+FFFD; the writer never throws on content.
std::string writeContextJson(const ContextDictionary& dictionary);

}  // namespace dunvel
