#pragma once

#include <string_view>

namespace dunvel {

// Writes all of bytes to fd, going on after partial writes and interruptions. Returns 0, or the
// errno of the write that failed; EIO for a write that took nothing without saying why (errno
// then holds whatever an earlier call left in it).
int writeAll(int fd, std::string_view bytes);

}  // namespace dunvel
