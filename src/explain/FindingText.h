#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "explain/SnapshotExplain.h"

namespace dunvel {

// "POINTER: KIND: message" on one line: control characters in the pointer (a key may hold any)
// and in the message (it quotes texts from the snapshot) are escaped as oneLine escapes them, so
// a finding can neither break a line nor send a terminal a control sequence; a pointer holding
// ": " (or starting with a quote) is written in quotes, so it cannot forge the fields after it.
std::string findingLine(const SnapshotFinding& finding);

// The companion's log line for a snapshot with findings: "snapshot: 5 findings: /screen
// unknown-screen, /teams/0 dropped-team, /turnTeamID unknown-key, and 2 more". The first
// `listed` are named, then how many more there are, leftOut past the findings given counted too.
std::string findingsLogLine(const std::vector<SnapshotFinding>& findings, std::size_t listed = 3,
                            std::size_t leftOut = 0);

}  // namespace dunvel
