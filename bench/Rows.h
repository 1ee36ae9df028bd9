#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dunvel::bench {

// One row of a Google Benchmark program that the instruction-count gate also counts: the same
// fixture and the same step, timed by dunvel-bench-render or -state and counted under callgrind
// by dunvel-bench-count, so that the gate watches exactly what scripts/bench's table shows.
struct BenchRow {
  // As Google Benchmark names it, and as bench/rows.json and the baselines refer to it.
  std::string name;
  // Printed beside the timed row ("idle", …).
  std::string label;
  // Builds the row's fixture (not measured) and returns one step of the measured loop.
  std::function<std::function<void()>()> prepare;
  // How many steps the fixture can take; 0 when any number (a tick's fixture holds one tree
  // per second it can show).
  int maxSteps = 0;
  // The steps the gate counts, after two more it lets warm the caches up; 0 for a row timed
  // only (a fixture that takes minutes to make under valgrind: the longest board).
  int countedSteps = 10;
};

// A frame laid out and painted, and the bare Pango/Cairo floors they are measured against.
std::vector<BenchRow> renderRows();
// Decoding a snapshot, comparing texts and reading JSON, with their floors.
std::vector<BenchRow> stateRows();

}  // namespace dunvel::bench
