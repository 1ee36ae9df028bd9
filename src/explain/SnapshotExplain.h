#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "state/ContextValue.h"

namespace dunvel {

// One place where the watch did not take a snapshot as it was sent: a default taken, something
// dropped or ignored, or a value it takes that is likely not what the host app meant.
struct SnapshotFinding {
  // RFC 6901 JSON Pointer into the snapshot object, such as "/teams/2/id", kept as the key's
  // bytes are (a key may hold any character; a caller that prints one line escapes it).
  std::string pointer;
  // One of: wrong-kind, unknown-key, dropped-team, teams-rejected, unknown-screen, no-such-team,
  // duplicate-id, suspicious-time, out-of-range.
  std::string kind;
  // What was received, what the watch does instead, and the likely mend where there is one.
  std::string message;

  friend bool operator==(const SnapshotFinding&, const SnapshotFinding&) = default;
};

// A second reading of a snapshot beside decodeGameState, for the people who build a host app:
// every fallback the decoder takes, said key by key. It never changes what the watch decodes,
// and a snapshot without findings decodes as if every key were taken as sent. now is the moment
// (seconds since 1970) an opening moment is judged against. Findings come in the order of the
// snapshot's keys, the checks across keys (turn, shared ids, the clock) after the key they name.
std::vector<SnapshotFinding> explainSnapshot(const ContextDictionary& snapshot, double now);

// The first `most` findings, and how many follow them: what a tool lists of a snapshot of a
// million unknown keys.
struct SnapshotExplanation {
  std::vector<SnapshotFinding> findings;
  std::size_t leftOut = 0;
};
SnapshotExplanation explainSnapshot(const ContextDictionary& snapshot, double now,
                                    std::size_t most);

// The findings the tools list of one snapshot at most.
constexpr std::size_t kMostFindingsListed = 1000;

}  // namespace dunvel
