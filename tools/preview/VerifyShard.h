#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "preview/ImageOutcome.h"

namespace dunvel {

// The K-th of N shares of a verify run's images (K from 1). Images are numbered in the order one
// run checks them (each snapshot or frame in sorted order, each variant in turn) and dealt out
// in turn, so the shares are disjoint, cover every image, depend only on the inputs, and spread
// a long recording's frames over every share.
struct VerifyShard {
  std::size_t index = 1;
  std::size_t count = 1;

  bool holds(std::size_t image) const { return image % count == index - 1; }
  // "2/4".
  std::string name() const;
};

// "K/N" with 1 ≤ K ≤ N ≤ 10000; nothing, with problem set to one line, for anything else.
std::optional<VerifyShard> parseVerifyShard(const std::string& text, std::string& problem);

// What a share leaves for the merge, beside its report: which share it is, how many images the
// whole run has, the inputs that could not be read, and each of its outcomes with its number.
struct ShardRecord {
  // The library versions the share drew with (DrawingStack.h).
  std::string stack;
  VerifyShard shard;
  std::size_t images = 0;
  // How many variants each snapshot is drawn in: images of one snapshot are numbered together.
  std::size_t variants = 1;
  std::vector<std::string> problems;
  std::vector<std::size_t> numbers;
  std::vector<ImageOutcome> outcomes;
};

// The file a share writes in its --out folder, and the merge reads from each.
inline constexpr const char* kShardRecordFile = "shard.json";

std::string shardRecordJson(const ShardRecord& record);
// The record in folder/shard.json; nothing, with problem set to one line naming the file and
// what is wrong with it, for a file that is missing, too large, not JSON or not a record.
std::optional<ShardRecord> readShardRecord(const std::filesystem::path& folder,
                                           std::string& problem);

// Every share's outcomes in one run's order, or nothing with problem set when the records are
// not the N shares of one run, each once.
struct MergedRun {
  std::vector<std::size_t> numbers;
  std::vector<ImageOutcome> outcomes;
  // For each outcome, the folder of the record it came from (its images are there).
  std::vector<std::filesystem::path> folders;
  std::vector<std::string> problems;
  std::size_t variants = 1;
  std::string stack;
};
std::optional<MergedRun> mergeShardRecords(const std::vector<ShardRecord>& records,
                                           const std::vector<std::filesystem::path>& folders,
                                           std::string& problem);

// A snapshot's findings are listed once, with its first failed image; its other failed images
// name that one. outcomes are in one run's order, numbers[i] the number of outcomes[i], and the
// images of one snapshot numbered together, `variants` of them.
void listFindingsOnce(std::vector<ImageOutcome>& outcomes, const std::vector<std::size_t>& numbers,
                      std::size_t variants);

}  // namespace dunvel
