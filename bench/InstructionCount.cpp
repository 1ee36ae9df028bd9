// The instruction-count gate: counts the instructions one step of each gated row takes (the
// render and state rows of bench/Rows.h) under callgrind, and compares them with the baselines
// kept in bench/instruction-counts.json. Instruction counts hold on a noisy machine where times
// do not: the same binary on the same inputs runs the same instructions, so a rise of a few
// percent is a change in the code (or in the libraries it calls), not noise.
//
//   valgrind --tool=callgrind --instr-atstart=no --collect-atstart=no
//     --callgrind-out-file=DIR/callgrind.out dunvel-bench-count count
//                        one dump a row: DIR/callgrind.out.1, .2, …
//   dunvel-bench-count check BASELINES DUMP…   prints each row's count against its baseline;
//                        exit 1 when one rose more than 5 %, has no baseline or was not counted
//   dunvel-bench-count update BASELINES DUMP…  writes the counts as the new baselines
//
// scripts/bench --check runs the three steps. Exit status 2 for bad usage.
#include <malloc.h>
#include <valgrind/callgrind.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "Rows.h"
#include "support/InstructionCounts.h"

namespace {

using namespace dunvel::bench;
using nlohmann::json;

// A count may rise this much over its baseline before the gate fails.
constexpr double kTolerance = 0.05;
// Steps run before counting: the first steps fill caches that the row means to have full.
constexpr int kWarmUpSteps = 2;

std::vector<BenchRow> gatedRows() {
  std::vector<BenchRow> rows;
  // The state rows first: they allocate a little at a time, and the allocator's lists after
  // the render rows' fonts and boards would give them other paths through malloc.
  for (std::vector<BenchRow> group : {stateRows(), renderRows()}) {
    for (BenchRow& row : group) {
      if (row.countedSteps > 0) rows.push_back(std::move(row));
    }
  }
  return rows;
}

int count() {
  if (!RUNNING_ON_VALGRIND) {
    std::cerr << "dunvel-bench-count count: run it under valgrind --tool=callgrind "
                 "--instr-atstart=no --collect-atstart=no (see scripts/bench --check)\n";
    return 2;
  }
  for (const BenchRow& row : gatedRows()) {
    // What the last row's fixture freed goes back whole, so that each row starts from much the
    // same heap whatever ran before it.
    malloc_trim(0);
    // The fixture is made uninstrumented: it is not counted, and callgrind's instrumentation
    // would make loading the fonts the slowest part of the run.
    const std::function<void()> step = row.prepare();
    CALLGRIND_START_INSTRUMENTATION;
    for (int i = 0; i < kWarmUpSteps; ++i) step();
    CALLGRIND_ZERO_STATS;
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < row.countedSteps; ++i) step();
    CALLGRIND_TOGGLE_COLLECT;
    CALLGRIND_DUMP_STATS_AT(row.name.c_str());
    CALLGRIND_STOP_INSTRUMENTATION;
  }
  return 0;
}

// Instructions a step of each row, from the dumps of a count run.
InstructionCounts readDumps(const std::vector<std::string>& paths) {
  std::map<std::string, int> steps;
  for (const BenchRow& row : gatedRows()) steps[row.name] = row.countedSteps;
  InstructionCounts counts;
  for (const std::string& path : paths) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    const std::optional<CallgrindDump> dump = readCallgrindDump(text.str());
    if (!dump) continue;
    const auto row = steps.find(dump->trigger);
    if (row == steps.end()) continue;
    counts[dump->trigger] = static_cast<std::uint64_t>(
        std::llround(static_cast<double>(dump->instructions) / row->second));
  }
  return counts;
}

json readBaselineFile(const std::string& path) {
  std::ifstream file(path);
  if (!file) return json::object();
  return json::parse(file, nullptr, false);
}

int check(const std::string& baselinePath, const std::vector<std::string>& dumps) {
  const json file = readBaselineFile(baselinePath);
  if (file.is_discarded() || !file.is_object()) {
    std::cerr << "dunvel-bench-count: " << baselinePath << " is not a JSON object\n";
    return 1;
  }
  InstructionCounts baselines;
  const json counts = file.value("counts", json::object());
  for (const auto& [row, value] : counts.items()) {
    if (value.is_number_unsigned()) baselines[row] = value.get<std::uint64_t>();
  }
  const std::vector<CountComparison> comparisons =
      compareCounts(readDumps(dumps), baselines, kTolerance);
  std::cout << countTable(comparisons);
  if (gatePasses(comparisons)) return 0;
  std::cerr << "dunvel-bench-count: a row's instructions rose more than 5 % over its baseline, "
               "or a row and its baseline do not match (table above). A change meant to cost "
               "more writes its new baselines in the same commit (scripts/bench --check "
               "--update) and says why.\n";
  return 1;
}

int update(const std::string& baselinePath, const std::vector<std::string>& dumps) {
  json file = readBaselineFile(baselinePath);
  if (file.is_discarded() || !file.is_object()) file = json::object();
  json counts = json::object();
  for (const auto& [row, count] : readDumps(dumps)) counts[row] = count;
  if (counts.size() != gatedRows().size()) {
    std::cerr << "dunvel-bench-count: the dumps hold " << counts.size() << " of "
              << gatedRows().size() << " rows; the baselines are left as they were\n";
    return 1;
  }
  file["counts"] = counts;
  std::ofstream out(baselinePath);
  out << file.dump(2) << '\n';
  if (!out) {
    std::cerr << "dunvel-bench-count: cannot write " << baselinePath << '\n';
    return 1;
  }
  std::cout << "dunvel-bench-count: wrote " << counts.size() << " baselines to " << baselinePath
            << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() == 1 && args[0] == "count") return count();
    if (args.size() >= 2 && args[0] == "check") {
      return check(args[1], {args.begin() + 2, args.end()});
    }
    if (args.size() >= 2 && args[0] == "update") {
      return update(args[1], {args.begin() + 2, args.end()});
    }
  } catch (const std::exception& e) {
    std::cerr << "dunvel-bench-count: " << e.what() << '\n';
    return 1;
  }
  std::cerr << "usage: dunvel-bench-count count | check BASELINES DUMP... | update BASELINES "
               "DUMP...\n";
  return 2;
}
