#include "preview/SnapshotFile.h"

#include <filesystem>
#include <istream>

#include "files/ReadFile.h"
#include "preview/PreviewCommand.h"
#include "state/SnapshotJson.h"

namespace dunvel {

namespace {

struct ReadBytes {
  std::string bytes;
  std::string error;
};

ReadBytes readAll(std::istream& in) {
  ReadBytes result;
  char buffer[64 * 1024];
  while (in) {
    in.read(buffer, sizeof buffer);
    result.bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (result.bytes.size() > kMaxSnapshotFileBytes) {
      result.error = "larger than " + std::to_string(kMaxSnapshotFileBytes / (1024 * 1024)) +
                     " MiB, too large for a snapshot";
      return result;
    }
  }
  if (in.bad()) result.error = "read error";
  return result;
}

}  // namespace

SnapshotFileResult readSnapshotFile(const std::string& path, std::istream& standardInput) {
  SnapshotFileResult result;
  const bool fromStandardInput = path == "-";
  const std::string name = fromStandardInput ? "standard input" : oneLine(path);
  ReadBytes read;
  if (fromStandardInput) {
    read = readAll(standardInput);
  } else {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
      result.error = name + ": is a directory";
      return result;
    }
    // Without blocking, and only a regular file: a FIFO named like a snapshot is an error, not a
    // wait for ever.
    FileBytes file = readRegularFile(path, kMaxSnapshotFileBytes);
    if (file.bytes) {
      read.bytes = std::move(*file.bytes);
    } else {
      read.error = file.problem + (file.tooLarge ? ", too large for a snapshot" : "");
    }
  }
  if (!read.error.empty()) {
    result.error = name + ": " + read.error;
    return result;
  }
  JsonReadResult json = readSnapshotJson(read.bytes);
  if (!json.ok()) {
    result.error = name + ": " + json.error;
    return result;
  }
  result.dictionary = std::move(json.dictionary);
  return result;
}

}  // namespace dunvel
