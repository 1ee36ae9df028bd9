#pragma once

#include <filesystem>
#include <string>

#include "files/FileDescriptor.h"

namespace dunvel {

// A new file made beside a path, filled, then renamed over it: whoever opens the path finds the
// old file or the whole new one, never a part, and a rename replaces whatever entry is there (a
// symbolic link included) without opening it. Hidden and named after the file (".NAME.XXXXXX"),
// so a left-over one (the program killed mid-write) says what it was for. Removed again when it
// goes before it was put in place.
class TemporaryFile {
 public:
  // Makes the file beside target (mode 0600, close-on-exec, open for writing with the extra
  // open flags given, such as O_APPEND). When it cannot be made, error() says why.
  explicit TemporaryFile(const std::filesystem::path& target, int flags = 0);
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // 0, or the errno of making the file.
  int error() const { return error_; }
  int fd() const { return descriptor_.get(); }

  // Closes the file: 0, or the errno of the close (a full disk may show only here).
  int close() { return descriptor_.close(); }
  // Renames the file over target: 0, or the errno of the rename (the file is then removed
  // when this goes).
  int replace();
  // Renames the file to target only when nothing is there: 0, EEXIST when something is, or
  // another errno.
  int placeIfAbsent();
  // The descriptor, for whoever goes on writing to the file once it is in place.
  FileDescriptor takeDescriptor() { return std::move(descriptor_); }

 private:
  std::filesystem::path target_;
  std::string path_;
  FileDescriptor descriptor_;
  int error_ = 0;
  bool placed_ = false;
};

}  // namespace dunvel
