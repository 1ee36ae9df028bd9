// scripts/bench's table, run as the real dunvel-bench-report on reports written here.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class BenchReportTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "dunvel-bench-report-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  void write(const std::string& name, const json& content) {
    std::ofstream(folder_ / name) << content.dump();
  }

  // Runs the report on the rows; its exit status. The table is in table_, the JSON in report_.
  int report(const json& rows) {
    write("rows.json", json{{"rows", rows}});
    const std::string command = std::string(DUNVEL_BENCH_REPORT) + " " +
                                (folder_ / "rows.json").string() + " " + folder_.string() + " " +
                                (folder_ / "report.json").string() + " >" +
                                (folder_ / "table.md").string() + " 2>/dev/null";
    const int status = std::system(command.c_str());
    std::ifstream table(folder_ / "table.md");
    std::ostringstream text;
    text << table.rdbuf();
    table_ = text.str();
    std::ifstream reportFile(folder_ / "report.json");
    report_ = json::parse(reportFile, nullptr, false);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path folder_;
  std::string table_;
  json report_;
};

// A Google Benchmark report as `--benchmark_repetitions=3 --benchmark_report_aggregates_only`
// writes it: mean, median and deviation of each benchmark.
json aggregates(const std::string& name, double mean, double median) {
  return json::array({
      {{"name", name + "_mean"},
       {"run_name", name},
       {"run_type", "aggregate"},
       {"aggregate_name", "mean"},
       {"cpu_time", mean},
       {"time_unit", "ns"}},
      {{"name", name + "_median"},
       {"run_name", name},
       {"run_type", "aggregate"},
       {"aggregate_name", "median"},
       {"cpu_time", median},
       {"time_unit", "ns"}},
      {{"name", name + "_stddev"},
       {"run_name", name},
       {"run_type", "aggregate"},
       {"aggregate_name", "stddev"},
       {"cpu_time", 1.0},
       {"time_unit", "ns"}},
  });
}

TEST_F(BenchReportTest, DividesMediansAndJudgesTheRatioOrTheFigureAgainstTheAim) {
  json benchmarks = aggregates("BM_Decode", 900.0, 300.0);
  for (const json& run : aggregates("BM_Copy", 100.0, 200.0)) benchmarks.push_back(run);
  write("state.json", {{"benchmarks", benchmarks}});
  write("companion.json",
        {{"figures", json::array({{{"name", "idle/wakeups"}, {"value", 0.5}, {"unit", "/s"}}})}});

  const int status = report(json::array({
      {{"figure", "decode"},
       {"source", "state.json:BM_Decode"},
       {"floor", "copy"},
       {"floorSource", "state.json:BM_Copy"},
       {"aim", {{"text", "≤ 1.4"}, {"max", 1.4}}}},
      {{"figure", "idle wake-ups"},
       {"source", "companion.json:idle/wakeups"},
       {"aim", {{"text", "0"}, {"max", 0.05}}}},
  }));

  EXPECT_EQ(status, 0);
  ASSERT_TRUE(report_.contains("rows")) << table_;
  const json& decode = report_["rows"][0];
  EXPECT_DOUBLE_EQ(decode["value"].get<double>(), 300.0);
  EXPECT_DOUBLE_EQ(decode["ratio"].get<double>(), 1.5);
  EXPECT_FALSE(decode["met"].get<bool>());
  const json& idle = report_["rows"][1];
  EXPECT_FALSE(idle.contains("ratio"));
  EXPECT_FALSE(idle["met"].get<bool>());
  EXPECT_NE(table_.find("| decode | 300 ns | copy | 200 ns | 1.50 | ≤ 1.4 | no |"),
            std::string::npos)
      << table_;
}

TEST_F(BenchReportTest, RepetitionsGiveTheirFastestRun) {
  json benchmarks = aggregates("BM_Frame", 500.0, 450.0);
  for (const double cpu : {420.0, 380.0, 550.0}) {
    benchmarks.push_back({{"name", "BM_Frame"},
                          {"run_name", "BM_Frame"},
                          {"run_type", "iteration"},
                          {"cpu_time", cpu},
                          {"time_unit", "ns"}});
  }
  write("render.json", {{"benchmarks", benchmarks}});
  EXPECT_EQ(report(json::array({{{"figure", "frame"}, {"source", "render.json:BM_Frame"}}})), 0);
  ASSERT_TRUE(report_.contains("rows")) << table_;
  EXPECT_DOUBLE_EQ(report_["rows"][0]["value"].get<double>(), 380.0);
}

TEST_F(BenchReportTest, AFigureThatNoProgramWroteFailsTheReportButNotTheOtherRows) {
  write("link.json",
        {{"figures", json::array({{{"name", "p50"}, {"value", 2.0}, {"unit", "us"}},
                                  {{"name", "floor"}, {"value", 4.0}, {"unit", "us"}}})}});
  const int status = report(json::array({
      {{"figure", "gone"}, {"source", "link.json:p99"}},
      {{"figure", "no file"}, {"source", "window.json:frames"}},
      {{"figure", "p50"},
       {"source", "link.json:p50"},
       {"floor", "round trip"},
       {"floorSource", "link.json:floor"},
       {"aim", {{"text", "≤ 3"}, {"max", 3}}}},
  }));
  EXPECT_EQ(status, 1);
  EXPECT_NE(table_.find("| gone | missing |"), std::string::npos) << table_;
  EXPECT_NE(table_.find("| no file | missing |"), std::string::npos) << table_;
  ASSERT_TRUE(report_.contains("rows")) << table_;
  ASSERT_EQ(report_["rows"].size(), 1u);
  EXPECT_DOUBLE_EQ(report_["rows"][0]["ratio"].get<double>(), 0.5);
  EXPECT_TRUE(report_["rows"][0]["met"].get<bool>());
}

}  // namespace
