#include "explain/FindingText.h"

#include <algorithm>

#include "state/OneLine.h"

namespace dunvel {
namespace {

constexpr std::size_t kLongestLoggedPointer = 80;

}  // namespace

std::string findingLine(const SnapshotFinding& finding) {
  // A key may hold ": " itself, and would then forge the fields after it: such a pointer (and
  // one that starts with a quote) is written quoted, as a reader can tell from its first
  // character, since every other pointer starts with "/" or is empty.
  const bool ambiguous = finding.pointer.find(": ") != std::string::npos ||
                         (!finding.pointer.empty() && finding.pointer.front() == '"');
  return (ambiguous ? quotedLine(finding.pointer) : oneLine(finding.pointer)) + ": " +
         finding.kind + ": " + oneLine(finding.message);
}

std::string findingsLogLine(const std::vector<SnapshotFinding>& findings, std::size_t listed,
                            std::size_t leftOut) {
  const std::size_t all = findings.size() + leftOut;
  std::string line = "snapshot: " + std::to_string(all) + (all == 1 ? " finding: " : " findings: ");
  const std::size_t shown = std::min(listed, findings.size());
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) line += ", ";
    // A key may be a megabyte long; the log line names where, not the whole key.
    std::string pointer = oneLine(findings[i].pointer);
    if (pointer.size() > kLongestLoggedPointer) {
      std::size_t cut = kLongestLoggedPointer;
      while (cut > 0 && (static_cast<unsigned char>(pointer[cut]) & 0xC0) == 0x80) --cut;
      pointer = pointer.substr(0, cut) + "\xE2\x80\xA6";
    }
    line += pointer + " " + findings[i].kind;
  }
  if (all > shown) line += ", and " + std::to_string(all - shown) + " more";
  return line;
}

}  // namespace dunvel
