#include "platform/link/LinkPath.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace dunvel {

std::filesystem::path defaultLinkPath() {
  // An empty XDG_RUNTIME_DIR counts as unset, as the base-directory rules say.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != 0) {
    return std::filesystem::path(runtime) / "dunvel" / "link.sock";
  }
  return std::filesystem::path("/tmp") / ("dunvel-" + std::to_string(getuid())) / "link.sock";
}

std::filesystem::path resolveLinkPath(const std::optional<std::string>& linkOption) {
  if (linkOption && !linkOption->empty()) return std::filesystem::path(*linkOption);
  return defaultLinkPath();
}

std::string checkLinkPathLength(const std::filesystem::path& socketPath) {
  // sun_path holds 108 bytes, the terminating zero included.
  constexpr std::size_t kLimit = sizeof(sockaddr_un::sun_path) - 1;
  const std::string name = socketPath.string();
  if (name.size() <= kLimit) return {};
  return "socket path " + name + " is too long (" + std::to_string(name.size()) +
         " bytes; a Unix socket path holds at most " + std::to_string(kLimit) + ")";
}

namespace {

std::string octalMode(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

std::string prepareLinkFolder(const std::filesystem::path& socketPath, LinkFolderPolicy policy) {
  std::filesystem::path folder = socketPath.parent_path();
  if (folder.empty()) folder = ".";
  const std::string name = folder.string();

  // Only the last component is created: a missing grandparent means a mistyped path, and
  // creating a whole chain would hide that.
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return "cannot create folder " + name + ": " + std::strerror(errno);
  }
  // Our own folder is inspected with lstat, so a symbolic link planted in its place is refused
  // rather than followed; a folder the user named may well be reached through a link.
  struct stat info {};
  const int inspected = policy == LinkFolderPolicy::privateFolder ? lstat(folder.c_str(), &info)
                                                                  : stat(folder.c_str(), &info);
  if (inspected != 0) {
    return "cannot inspect folder " + name + ": " + std::strerror(errno);
  }
  if (!S_ISDIR(info.st_mode)) {
    return "refusing " + name + " as the link folder: it is not a folder";
  }
  if (info.st_uid != getuid()) {
    return "refusing link folder " + name + ": it belongs to uid " + std::to_string(info.st_uid) +
           ", not to this user (uid " + std::to_string(getuid()) + ")";
  }
  const mode_t forbidden = policy == LinkFolderPolicy::privateFolder ? mode_t{077} : mode_t{022};
  if ((info.st_mode & forbidden) != 0) {
    return "refusing link folder " + name + ": its mode " + octalMode(info.st_mode) +
           (policy == LinkFolderPolicy::privateFolder ? " gives group or others access"
                                                      : " lets group or others write to it") +
           " (chmod 700 " + name + " to fix)";
  }
  return {};
}

}  // namespace dunvel
