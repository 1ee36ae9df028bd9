#include "watch/SnapshotFindingsLog.h"

#include <chrono>
#include <ostream>
#include <string>

#include "explain/FindingText.h"
#include "explain/SnapshotExplain.h"

namespace dunvel {

std::function<void(const ContextDictionary&)> logSnapshotFindings(MainQueue& mainQueue,
                                                                  std::ostream& log) {
  return [&mainQueue, &log](const ContextDictionary& snapshot) {
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    const std::vector<SnapshotFinding> findings = explainSnapshot(snapshot, now);
    if (findings.empty()) return;
    mainQueue.async([&log, line = findingsLogLine(findings) + "\n"] { log << line << std::flush; });
  };
}

}  // namespace dunvel
