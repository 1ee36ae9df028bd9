#pragma once

#include <iosfwd>

namespace dunvel {

// dunvel-host: the host app's stand-in, for people building or testing a host app against the
// companion.
//   push FILE [--message] [--link PATH]      send a JSON snapshot (FILE, or - for standard input)
//   listen [--link PATH]                     print each command the companion sends, one JSON
//                                            line each
//   demo [--autoplay] [--link PATH]          play a small quiz night that reacts to the commands
//   replay FILE [--speed X] [--from MS] [--link PATH]
//                                            play the host side of a recording (HostReplay)
// Exit status: 0 done, 1 bad input or no companion, 2 bad usage. listen and demo run until
// SIGINT or SIGTERM; replay until the recording is played.
int hostMain(int argc, const char* const* argv, std::istream& in, std::ostream& out,
             std::ostream& err);

}  // namespace dunvel
