#include "watch/SnapshotFindingsLog.h"

#include <chrono>
#include <ostream>
#include <string>

#include "explain/FindingText.h"
#include "explain/SnapshotExplain.h"

namespace dunvel {

std::function<void(const ContextDictionary&)> logSnapshotFindings(
    MainQueue& mainQueue, std::ostream& log, std::function<void(std::vector<std::string>)> alsoTo) {
  return [&mainQueue, &log, alsoTo](const ContextDictionary& snapshot) {
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    // A snapshot of a million unknown keys is logged as its first findings and a count.
    const SnapshotExplanation explained = explainSnapshot(snapshot, now, kMostFindingsListed);
    const std::vector<SnapshotFinding>& findings = explained.findings;
    if (alsoTo) {
      std::vector<std::string> lines;
      lines.reserve(findings.size());
      for (const SnapshotFinding& finding : findings) lines.push_back(findingLine(finding));
      if (explained.leftOut > 0)
        lines.push_back("and " + std::to_string(explained.leftOut) + " more");
      mainQueue.async([alsoTo, lines = std::move(lines)]() mutable { alsoTo(std::move(lines)); });
    }
    if (findings.empty()) return;
    mainQueue.async([&log, line = findingsLogLine(findings, 3, explained.leftOut) + "\n"] {
      log << line << std::flush;
    });
  };
}

}  // namespace dunvel
