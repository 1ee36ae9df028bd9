#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dunvel::bench {

// Instructions per step of each gated row, by the row's name.
using InstructionCounts = std::map<std::string, std::uint64_t>;

// One callgrind dump that a client request wrote (CALLGRIND_DUMP_STATS_AT(name)): the name it
// was given and the instructions counted since the dump before it. Nothing for a dump that a
// client request did not trigger (the one callgrind writes as the program ends) or that has no
// totals line.
struct CallgrindDump {
  std::string trigger;
  std::uint64_t instructions = 0;
};
std::optional<CallgrindDump> readCallgrindDump(std::string_view text);

// How a row's count stands against its baseline.
enum class CountVerdict { same, fell, rose, newRow, missing };
std::string_view verdictName(CountVerdict verdict);

struct CountComparison {
  std::string row;
  std::optional<std::uint64_t> count;
  std::optional<std::uint64_t> baseline;
  // count ÷ baseline − 1, when both are there.
  std::optional<double> change;
  CountVerdict verdict = CountVerdict::same;
};

// Every row of either side, in name order: a count more than `tolerance` (0.05: 5 %) over its
// baseline rose, one more than `tolerance` under it fell; a row with no baseline is new and a
// baseline with no count is missing. The gate fails on rose, new and missing: a new row needs its
// baseline written, and a row that stopped being counted no longer guards anything.
std::vector<CountComparison> compareCounts(const InstructionCounts& counts,
                                           const InstructionCounts& baselines, double tolerance);
bool gatePasses(const std::vector<CountComparison>& comparisons);

// The table scripts/bench --check prints: one line a row, count against baseline.
std::string countTable(const std::vector<CountComparison>& comparisons);

}  // namespace dunvel::bench
