#pragma once

#include <sys/types.h>
#include <filesystem>
#include <optional>
#include <string>

namespace dunvel {

// The file beside the companion's socket that holds its WebSocket endpoint's URL, token included,
// for this user's host tools: SOCKET.url (link.sock.url), so that companions with sockets in one
// folder each have their own. The file is this process's while it lives: it is removed on
// destruction, and only if it is still the one written.
class LinkUrlFile {
 public:
  // SOCKET.url beside the socket.
  static std::filesystem::path pathFor(const std::filesystem::path& socketPath);

  LinkUrlFile() = default;
  ~LinkUrlFile();
  LinkUrlFile(const LinkUrlFile&) = delete;
  LinkUrlFile& operator=(const LinkUrlFile&) = delete;

  // Writes the text readable by this user only. A regular file or a symbolic link at the path is
  // replaced (the link itself, never what it points to); anything else (a FIFO, a folder, a
  // device) is refused rather than opened, which could block the start. Empty on success, else
  // one line naming the file and the cause.
  std::string write(const std::filesystem::path& path, const std::string& text);
  // Removes the file when it is still the one written: a companion started later on the same
  // socket may have replaced it. Idempotent.
  void remove();

  const std::filesystem::path& path() const { return path_; }

 private:
  struct Identity {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const Identity&, const Identity&) = default;
  };
  std::filesystem::path path_;
  std::optional<Identity> written_;
};

// Reads the URL from a file that a companion wrote: a regular file, at most a few kilobytes, one
// line. Empty on success, else one line naming the file and the cause.
std::string readLinkUrlFile(const std::filesystem::path& path, std::string& url);

// Reads a secret from the one line of a file the user keeps it in (dunvel-watch --token-file,
// --tls-key-pass-file), so it stays off the command line that other users see. holds names it
// in messages ("a token"); readableByOthers says whether the group or others may read the file
// too. Empty on success, else one line naming the file and the cause.
std::string readSecretFile(const std::filesystem::path& path, const std::string& holds,
                           std::string& secret, bool& readableByOthers);

}  // namespace dunvel
