#include "files/FolderWithin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "files/ReplaceFile.h"

namespace dunvel {

namespace fs = std::filesystem;

FolderWithin openFolderWithin(const fs::path& root, const fs::path& relative,
                              MissingFolders missing) {
  FolderWithin result;
  const fs::path start = root.empty() ? fs::path(".") : root;
  if (missing == MissingFolders::make) {
    // The root is the caller's to name, links and all.
    std::error_code error;
    fs::create_directories(start, error);
    if (error) {
      result.problem = "cannot make the folder " + start.string() + ": " + error.message();
      return result;
    }
  }
  result.folder.reset(::open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!result.folder.valid()) {
    if (errno == ENOENT && missing == MissingFolders::leave) {
      result.absent = true;
    } else {
      result.problem = "cannot open the folder " + start.string() + ": " + std::strerror(errno);
    }
    return result;
  }
  fs::path reached = root;
  for (const fs::path& part : relative) {
    if (part.empty() || part == ".") continue;
    reached /= part;
    if (part == ".." || part.has_root_directory()) {
      result.problem = reached.string() + ": leads out of " + root.string();
      result.folder.reset();
      return result;
    }
    int next = ::openat(result.folder.get(), part.c_str(),
                        O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT) {
      if (missing == MissingFolders::leave) {
        result.absent = true;
        result.folder.reset();
        return result;
      }
      // Another writer may make the same folder at the same moment: EEXIST is not a failure.
      if (::mkdirat(result.folder.get(), part.c_str(), 0777) != 0 && errno != EEXIST) {
        result.problem = "cannot make the folder " + reached.string() + ": " + std::strerror(errno);
        result.folder.reset();
        return result;
      }
      next = ::openat(result.folder.get(), part.c_str(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      const int error = errno;
      struct stat seen {};
      const bool link =
          ::fstatat(result.folder.get(), part.c_str(), &seen, AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISLNK(seen.st_mode);
      result.problem =
          link ? reached.string() +
                     ": is a symbolic link, and nothing is written through a link "
                     "inside " +
                     root.string()
               : "cannot open the folder " + reached.string() + ": " + std::strerror(error);
      result.folder.reset();
      return result;
    }
    result.folder.reset(next);
  }
  return result;
}

std::string replaceFileWithin(const fs::path& root, const fs::path& relative,
                              std::string_view bytes) {
  const FolderWithin folder = openFolderWithin(root, relative.parent_path(), MissingFolders::make);
  if (!folder.problem.empty()) return folder.problem;
  // Always a new file renamed into place, whatever is there: a pipe or device in an output
  // folder is somebody's trap, not a destination.
  const fs::path path = root / relative;
  const int error = replaceWhole(path, bytes, 0644);
  return error == 0 ? std::string() : "cannot write " + path.string() + ": " + std::strerror(error);
}

std::string removeFileWithin(const fs::path& root, const fs::path& relative) {
  const FolderWithin folder = openFolderWithin(root, relative.parent_path(), MissingFolders::leave);
  if (!folder.problem.empty()) return folder.problem;
  if (folder.absent) return {};
  const std::string name = relative.filename().string();
  struct stat seen {};
  if (::fstatat(folder.folder.get(), name.c_str(), &seen, AT_SYMLINK_NOFOLLOW) != 0) {
    return errno == ENOENT
               ? std::string()
               : "cannot remove " + (root / relative).string() + ": " + std::strerror(errno);
  }
  if (S_ISDIR(seen.st_mode)) return {};
  if (::unlinkat(folder.folder.get(), name.c_str(), 0) != 0 && errno != ENOENT) {
    return "cannot remove " + (root / relative).string() + ": " + std::strerror(errno);
  }
  return {};
}

}  // namespace dunvel
