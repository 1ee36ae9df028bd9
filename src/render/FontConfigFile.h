#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace dunvel {

// Whether fontconfig may be handed this fontconfig file: it and every file it includes (an
// <include> of a file, or of a folder and the *.conf files in it, followed to a few levels) must
// be a regular file of at most kMaxFontConfigBytes. fontconfig itself reads whatever it is
// given to its end, so an <include> of /dev/zero or of a FIFO would never finish. A missing
// include is left to fontconfig, which skips it. Empty when fit, else one line naming the file
// and the cause.
inline constexpr std::uintmax_t kMaxFontConfigBytes = 1 << 20;
std::string checkFontConfigFile(const std::filesystem::path& path);

}  // namespace dunvel
