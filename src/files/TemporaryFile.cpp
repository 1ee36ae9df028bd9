#include "files/TemporaryFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>

namespace dunvel {

TemporaryFile::TemporaryFile(const std::filesystem::path& target, int flags) : target_(target) {
  const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
  path_ = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  descriptor_.reset(mkostemp(path_.data(), flags | O_CLOEXEC));
  if (!descriptor_.valid()) error_ = errno;
}

TemporaryFile::~TemporaryFile() {
  if (error_ == 0 && !placed_) ::unlink(path_.c_str());
}

int TemporaryFile::replace() {
  if (error_ != 0) return error_;
  if (std::rename(path_.c_str(), target_.c_str()) != 0) return errno;
  placed_ = true;
  return 0;
}

int TemporaryFile::placeIfAbsent() {
  if (error_ != 0) return error_;
  if (renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) != 0) {
    return errno;
  }
  placed_ = true;
  return 0;
}

}  // namespace dunvel
