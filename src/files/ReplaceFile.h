#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

struct stat;

namespace dunvel {

// Puts bytes at path as one whole file of the given mode, through a temporary file beside it
// renamed over whatever entry is there (a symbolic link is replaced, not written through): a
// reader finds the old file or the new one whole, and a failure leaves no new file behind.
// Returns 0 or the errno of the step that failed. written, when given, receives the new file's
// identity (its device and inode), so its writer can tell later whether it is still there.
int replaceWhole(const std::filesystem::path& path, std::string_view bytes, mode_t mode,
                 struct stat* written = nullptr);

// Puts bytes at path as one whole file (mode 0644): they are written to a new file in the same
// folder, which is then renamed over path. Whatever fails (a full disk, a folder that is not there
// or not writable), what was at path before is left as it was and no partial or empty file stays
// behind; a symlink at path is replaced by the file, never written through. A device, pipe or
// socket at path is written into instead (-o /dev/null), never replaced. Returns an empty
// string, or one line naming path and the cause ("cannot write PATH: No space left on device").
std::string replaceFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace dunvel
