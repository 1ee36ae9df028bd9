#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace dunvel {

// Where the companion listens and the host connects, and the checks that keep the link private
// to the user who runs it.

// The socket path used when none is given: $XDG_RUNTIME_DIR/dunvel/link.sock when the runtime
// folder is set, else /tmp/dunvel-<uid>/link.sock.
std::filesystem::path defaultLinkPath();

// The given path when there is one, else defaultLinkPath().
std::filesystem::path resolveLinkPath(const std::optional<std::string>& linkOption);

// Empty when the path fits a Unix socket address, else one line saying it is too long.
std::string checkLinkPathLength(const std::filesystem::path& socketPath);

// How strict prepareLinkFolder is with a folder that already exists.
enum class LinkFolderPolicy {
  // A folder this program owns (the default location): it must belong to this user and grant
  // group and others nothing at all.
  privateFolder,
  // A folder the user chose with --link: it must belong to this user and be writable by nobody
  // else, so nobody else can replace the socket file.
  chosenFolder,
};

// Creates the socket's folder (mode 0700) when it is missing, or checks the existing one against
// the policy. Returns an empty string when the folder is fit to use, else one line saying why not.
std::string prepareLinkFolder(const std::filesystem::path& socketPath, LinkFolderPolicy policy);

}  // namespace dunvel
