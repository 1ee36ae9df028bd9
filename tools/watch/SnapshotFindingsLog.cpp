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
    const std::vector<SnapshotFinding> findings = explainSnapshot(snapshot, now);
    if (alsoTo) {
      std::vector<std::string> lines;
      lines.reserve(findings.size());
      for (const SnapshotFinding& finding : findings) lines.push_back(findingLine(finding));
      mainQueue.async([alsoTo, lines = std::move(lines)]() mutable { alsoTo(std::move(lines)); });
    }
    if (findings.empty()) return;
    mainQueue.async([&log, line = findingsLogLine(findings) + "\n"] { log << line << std::flush; });
  };
}

}  // namespace dunvel
