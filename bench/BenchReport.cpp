// scripts/bench's table: reads the rows (bench/rows.json) and the JSON every benchmark program
// wrote into one folder, and prints each figure beside its floor, their ratio and the aim, as a
// Markdown table; writes the same as JSON. These machines are noisy: a ratio taken in one run
// holds, an absolute time does not, so the ratio is what the aim judges.
//
//   dunvel-bench-report ROWS FOLDER REPORT
//
// Exit status 0 when every figure was found (an aim missed is reported, not an error), 1 when a
// figure is missing, 2 for bad usage.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Figure {
  double value = 0;
  std::string unit;
};

// Every figure of one program's JSON, by name. Google Benchmark reports give each benchmark's
// fastest CPU time over its repetitions: on a shared machine noise only ever adds time, so the
// fastest run is the one least disturbed, and a ratio of two of them moves least from run to
// run. A report of aggregates alone gives its median. Measuring programs give their figures.
std::map<std::string, Figure> readFigures(const fs::path& path) {
  std::map<std::string, Figure> figures;
  std::ifstream file(path);
  const json report = json::parse(file, nullptr, false);
  if (report.is_discarded()) return figures;
  if (report.contains("figures")) {
    for (const json& figure : report["figures"]) {
      figures[figure.value("name", "")] =
          Figure{figure.value("value", 0.0), figure.value("unit", "")};
    }
  }
  if (report.contains("benchmarks")) {
    std::map<std::string, Figure> medians;
    for (const json& run : report["benchmarks"]) {
      if (!run.contains("cpu_time") || !run["cpu_time"].is_number()) continue;
      const std::string name = run.value("run_name", run.value("name", ""));
      const Figure figure{run["cpu_time"].get<double>(), run.value("time_unit", "ns")};
      if (run.value("run_type", "") == "iteration") {
        auto [found, added] = figures.emplace(name, figure);
        if (!added && figure.value < found->second.value) found->second = figure;
      } else if (run.value("aggregate_name", "") == "median") {
        medians[name] = figure;
      }
    }
    for (const auto& [name, figure] : medians) figures.emplace(name, figure);
  }
  return figures;
}

class Sources {
 public:
  explicit Sources(fs::path folder) : folder_(std::move(folder)) {}

  // "FILE:NAME"; nothing when the file or the name is missing.
  std::optional<Figure> find(const std::string& reference) {
    const std::size_t colon = reference.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const std::string file = reference.substr(0, colon);
    if (!files_.contains(file)) files_[file] = readFigures(folder_ / file);
    const auto& figures = files_[file];
    const auto found = figures.find(reference.substr(colon + 1));
    if (found == figures.end()) return std::nullopt;
    return found->second;
  }

 private:
  fs::path folder_;
  std::map<std::string, std::map<std::string, Figure>> files_;
};

std::string shown(const Figure& figure) {
  char number[64];
  const double magnitude = std::fabs(figure.value);
  std::snprintf(number, sizeof number,
                magnitude >= 100 || magnitude == 0 ? "%.0f" : (magnitude >= 1 ? "%.2f" : "%.3f"),
                figure.value);
  return figure.unit.empty() ? number : std::string(number) + " " + figure.unit;
}

// Whether the value meets the aim {"min": a, "max": b}; either bound may be absent.
bool meets(const json& aim, double value) {
  if (aim.contains("min") && value < aim["min"].get<double>()) return false;
  if (aim.contains("max") && value > aim["max"].get<double>()) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: dunvel-bench-report ROWS FOLDER REPORT\n";
    return 2;
  }
  std::ifstream rowsFile(argv[1]);
  const json rows = json::parse(rowsFile, nullptr, false);
  if (rows.is_discarded() || !rows.contains("rows")) {
    std::cerr << "dunvel-bench-report: " << argv[1] << ": not a rows file\n";
    return 2;
  }
  Sources sources(argv[2]);

  std::ostringstream table;
  table << "| figure | value | floor | value | ratio | aim | met |\n"
        << "|---|---:|---|---:|---:|---|---|\n";
  json report = json::array();
  int status = 0;
  for (const json& row : rows["rows"]) {
    const std::string name = row.value("figure", "");
    const std::optional<Figure> figure = sources.find(row.value("source", ""));
    if (!figure) {
      std::cerr << "dunvel-bench-report: " << name << ": " << row.value("source", "")
                << " not found\n";
      status = 1;
      table << "| " << name << " | missing | | | | | |\n";
      continue;
    }
    json entry{{"figure", name}, {"value", figure->value}, {"unit", figure->unit}};
    std::optional<Figure> floor;
    if (row.contains("floorSource")) {
      floor = sources.find(row["floorSource"].get<std::string>());
      if (!floor) {
        std::cerr << "dunvel-bench-report: " << name << ": floor " << row["floorSource"]
                  << " not found\n";
        status = 1;
      }
    }
    std::optional<double> ratio;
    if (floor && floor->value > 0) ratio = figure->value / floor->value;
    if (floor) {
      entry["floor"] = row.value("floor", "");
      entry["floorValue"] = floor->value;
      entry["floorUnit"] = floor->unit;
    }
    if (ratio) entry["ratio"] = *ratio;

    std::string met;
    if (row.contains("aim")) {
      const json& aim = row["aim"];
      entry["aim"] = aim.value("text", "");
      const std::optional<double> judged =
          row.contains("floorSource") ? ratio : std::optional<double>(figure->value);
      if (judged) {
        entry["met"] = meets(aim, *judged);
        met = meets(aim, *judged) ? "yes" : "no";
      }
    }
    report.push_back(entry);

    char ratioText[32] = "";
    if (ratio) std::snprintf(ratioText, sizeof ratioText, "%.2f", *ratio);
    table << "| " << name << " | " << shown(*figure) << " | " << row.value("floor", "") << " | "
          << (floor ? shown(*floor) : "") << " | " << ratioText << " | "
          << (row.contains("aim") ? row["aim"].value("text", "") : "") << " | " << met << " |\n";
  }
  std::cout << table.str();
  std::ofstream out(argv[3]);
  out << json{{"rows", report}}.dump(2) << '\n';
  if (!out) {
    std::cerr << "dunvel-bench-report: cannot write " << argv[3] << '\n';
    return 1;
  }
  return status;
}
