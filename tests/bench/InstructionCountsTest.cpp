// The instruction-count gate's reading of callgrind's dumps and its verdicts.
#include "support/InstructionCounts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace dunvel::bench {
namespace {

TEST(InstructionCounts, ReadsTheRowAndTotalsOfADumpAClientRequestWrote) {
  struct Case {
    const char* text;
    std::optional<std::string> trigger;
    std::uint64_t instructions = 0;
  };
  const Case cases[] = {
      // As callgrind 3.19 writes one: the totals line comes last.
      {"# callgrind format\nversion: 1\ncreator: callgrind-3.19.0\npid: 7\ncmd: x count\npart: 3\n"
       "\ndesc: I1 cache: \ndesc: Timerange: Basic block 10 - 20\n"
       "desc: Trigger: Client Request: BM_FullFrame/2\n\npositions: line\nevents: Ir\n"
       "summary: 123456\n\nfl=(1) a.cpp\nfn=(1) f\n3 100\n\ntotals: 123456\n",
       "BM_FullFrame/2", 123456},
      // A name with spaces and slashes is taken whole.
      {"desc: Trigger: Client Request: BM_Board/95305 teams\ntotals: 9\n", "BM_Board/95305 teams",
       9},
      // The dump callgrind writes as the program ends was not asked for by a row.
      {"desc: Trigger: Program termination\ntotals: 5\n", std::nullopt},
      // Cut short before its totals.
      {"desc: Trigger: Client Request: BM_TickFrame\nevents: Ir\n", std::nullopt},
      {"desc: Trigger: Client Request: BM_TickFrame\ntotals: many\n", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<CallgrindDump> dump = readCallgrindDump(c.text);
    ASSERT_EQ(dump.has_value(), c.trigger.has_value());
    if (!dump) continue;
    EXPECT_EQ(dump->trigger, *c.trigger);
    EXPECT_EQ(dump->instructions, c.instructions);
  }
}

TEST(InstructionCounts, FailsOnARiseOverFivePercentAndOnRowsWithoutTheirPair) {
  const InstructionCounts baselines{{"a", 1000}, {"b", 1000},  {"c", 1000},
                                    {"d", 1000}, {"gone", 10}, {"zero", 0}};
  const InstructionCounts counts{{"a", 1050}, {"b", 1051}, {"c", 900},
                                 {"d", 1000}, {"new", 7},  {"zero", 1}};
  const std::vector<CountComparison> comparisons = compareCounts(counts, baselines, 0.05);
  struct Expected {
    const char* row;
    CountVerdict verdict;
  };
  const Expected expected[] = {
      {"a", CountVerdict::same},  // exactly 5 % more: within the tolerance
      {"b", CountVerdict::rose},  // past it
      {"c", CountVerdict::fell},  // 10 % less: reported, never a failure
      {"d", CountVerdict::same},     {"gone", CountVerdict::missing},
      {"new", CountVerdict::newRow}, {"zero", CountVerdict::rose},
  };
  ASSERT_EQ(comparisons.size(), std::size(expected));
  for (std::size_t i = 0; i < comparisons.size(); ++i) {
    SCOPED_TRACE(expected[i].row);
    EXPECT_EQ(comparisons[i].row, expected[i].row);
    EXPECT_EQ(comparisons[i].verdict, expected[i].verdict);
  }
  EXPECT_NEAR(*comparisons[1].change, 0.051, 1e-9);
  EXPECT_FALSE(gatePasses(comparisons));

  // Each failing verdict alone fails the gate; a fall alone does not.
  EXPECT_TRUE(
      gatePasses(compareCounts({{"a", 1000}, {"c", 10}}, {{"a", 1049}, {"c", 1000}}, 0.05)));
  EXPECT_FALSE(gatePasses(compareCounts({{"a", 1100}}, {{"a", 1000}}, 0.05)));
  EXPECT_FALSE(gatePasses(compareCounts({{"a", 1000}}, {}, 0.05)));
  EXPECT_FALSE(gatePasses(compareCounts({}, {{"a", 1000}}, 0.05)));

  const std::string table = countTable(comparisons);
  EXPECT_NE(table.find("b "), std::string::npos);
  EXPECT_NE(table.find("+5.1%"), std::string::npos);
  EXPECT_NE(table.find("ROSE"), std::string::npos);
  EXPECT_NE(table.find("MISSING"), std::string::npos);
}

}  // namespace
}  // namespace dunvel::bench
