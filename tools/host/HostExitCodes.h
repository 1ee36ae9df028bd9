#pragma once

namespace dunvel {

// dunvel-host's exit statuses, the same for every subcommand.
inline constexpr int kDone = 0;
// What it was given cannot be used, or the companion would not take it.
inline constexpr int kBadInput = 1;
// The command line itself is wrong.
inline constexpr int kBadUsage = 2;

}  // namespace dunvel
