// The state rows of bench/Rows.h, timed: decoding, text equality and the JSON snapshot reader,
// each beside its floor.
#include <benchmark/benchmark.h>

#include "Rows.h"

namespace {

const bool registered = [] {
  for (const dunvel::bench::BenchRow& row : dunvel::bench::stateRows()) {
    benchmark::RegisterBenchmark(row.name.c_str(), [row](benchmark::State& state) {
      const std::function<void()> step = row.prepare();
      for (auto _ : state) step();
    });
  }
  return true;
}();

}  // namespace
