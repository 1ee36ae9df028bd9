#include "support/InstructionCounts.h"

#include <charconv>
#include <cstdio>
#include <set>

namespace dunvel::bench {
namespace {

constexpr std::string_view kTrigger = "desc: Trigger: Client Request: ";
constexpr std::string_view kTotals = "totals: ";

// The lines of a dump, one at a time, without their ends.
template <class Visit>
void eachLine(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    visit(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

std::optional<CallgrindDump> readCallgrindDump(std::string_view text) {
  std::optional<std::string> trigger;
  std::optional<std::uint64_t> totals;
  eachLine(text, [&](std::string_view line) {
    if (line.starts_with(kTrigger)) {
      trigger = std::string(line.substr(kTrigger.size()));
    } else if (line.starts_with(kTotals)) {
      // The first event is the instructions (Ir), the only one collected without a cache or
      // branch simulation.
      const std::string_view value = line.substr(kTotals.size());
      std::uint64_t parsed = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
      if (error == std::errc() && end != value.data()) totals = parsed;
    }
  });
  if (!trigger || !totals) return std::nullopt;
  return CallgrindDump{*trigger, *totals};
}

std::string_view verdictName(CountVerdict verdict) {
  switch (verdict) {
    case CountVerdict::same:
      return "same";
    case CountVerdict::fell:
      return "fell";
    case CountVerdict::rose:
      return "ROSE";
    case CountVerdict::newRow:
      return "NEW: no baseline";
    case CountVerdict::missing:
      return "MISSING: not counted";
  }
  return "?";
}

std::vector<CountComparison> compareCounts(const InstructionCounts& counts,
                                           const InstructionCounts& baselines, double tolerance) {
  std::set<std::string> rows;
  for (const auto& [row, count] : counts) rows.insert(row);
  for (const auto& [row, baseline] : baselines) rows.insert(row);
  std::vector<CountComparison> comparisons;
  for (const std::string& row : rows) {
    CountComparison c;
    c.row = row;
    if (const auto found = counts.find(row); found != counts.end()) c.count = found->second;
    if (const auto found = baselines.find(row); found != baselines.end()) {
      c.baseline = found->second;
    }
    if (!c.baseline) {
      c.verdict = CountVerdict::newRow;
    } else if (!c.count) {
      c.verdict = CountVerdict::missing;
    } else {
      // The difference over the baseline, not the ratio less one: 1050 over 1000 is then
      // exactly 5 % (the ratio's 1.05 - 1 is a hair more). A zero baseline is a row that
      // counts nothing: any count over it rose.
      const double count = static_cast<double>(*c.count);
      const double baseline = static_cast<double>(*c.baseline);
      c.change = baseline == 0.0 ? (count == 0.0 ? 0.0 : 1.0) : (count - baseline) / baseline;
      c.verdict = *c.change > tolerance    ? CountVerdict::rose
                  : *c.change < -tolerance ? CountVerdict::fell
                                           : CountVerdict::same;
    }
    comparisons.push_back(std::move(c));
  }
  return comparisons;
}

bool gatePasses(const std::vector<CountComparison>& comparisons) {
  for (const CountComparison& c : comparisons) {
    if (c.verdict == CountVerdict::rose || c.verdict == CountVerdict::newRow ||
        c.verdict == CountVerdict::missing) {
      return false;
    }
  }
  return true;
}

std::string countTable(const std::vector<CountComparison>& comparisons) {
  std::string table;
  char line[256];
  std::snprintf(line, sizeof line, "%-40s %14s %14s %8s  %s\n", "row (instructions a step)",
                "count", "baseline", "change", "verdict");
  table += line;
  for (const CountComparison& c : comparisons) {
    const std::string count = c.count ? std::to_string(*c.count) : "-";
    const std::string baseline = c.baseline ? std::to_string(*c.baseline) : "-";
    char change[32] = "-";
    if (c.change) std::snprintf(change, sizeof change, "%+.1f%%", *c.change * 100.0);
    std::snprintf(line, sizeof line, "%-40s %14s %14s %8s  %s\n", c.row.c_str(), count.c_str(),
                  baseline.c_str(), change, std::string(verdictName(c.verdict)).c_str());
    table += line;
  }
  return table;
}

}  // namespace dunvel::bench
