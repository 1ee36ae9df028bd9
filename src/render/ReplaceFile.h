#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace dunvel {

// Puts bytes at path as one whole file: they are written to a new file in the same folder,
// which is then renamed over path. Whatever fails (a full disk, a folder that is not there or
// not writable), what was at path before is left as it was and no partial or empty file stays
// behind; a symlink at path is replaced by the file, never written through. A device, pipe or
// socket at path is written into instead (-o /dev/null), never replaced. Returns an empty
// string, or one line naming path and the cause ("cannot write PATH: No space left on device").
std::string replaceFile(const std::filesystem::path& path, std::string_view bytes);

}  // namespace dunvel
