#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace dunvel {

// Delivers one line to the companion and reports whether it was taken, over a host connection
// that is never made again: connects to link (a socket path, or a ws:// or wss:// URL), sends the
// line, finishes sending and waits until the companion closes its side in turn (it answers every
// refused line with an error frame first). Returns an empty string when the line was taken, else
// one line saying why not: no companion listening, another host connected, the companion's own
// error, or no connection or answer within the time allowed (connecting never blocks).
std::string pushLine(const std::string& link, std::string_view line,
                     std::chrono::milliseconds answerWithin = std::chrono::seconds(5));

}  // namespace dunvel
