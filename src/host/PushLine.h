#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace dunvel {

// Delivers one line to the companion and reports whether it was taken: connects, sends the
// line, closes its sending side and reads the companion's answers until the companion closes
// the connection in turn (it answers every refused line with an error frame first). Returns an
// empty string when the line was taken, else one line saying why not: no companion listening,
// another host connected, the companion's own error, or no connection or answer within the time
// allowed (connecting never blocks).
std::string pushLine(const std::filesystem::path& path, std::string_view line,
                     std::chrono::milliseconds answerWithin = std::chrono::seconds(5));

}  // namespace dunvel
