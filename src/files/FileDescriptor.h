#pragma once

namespace dunvel {

// A file descriptor closed when its owner goes, on every way out. Moves, never copies.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives the descriptor up to the caller, who closes it.
  int release() {
    const int kept = fd_;
    fd_ = -1;
    return kept;
  }
  // Closes the descriptor held (if any) and holds fd instead.
  void reset(int fd = -1);
  // Closes now and says how that went: 0, or the errno of the close. A file system may report
  // a full disk only when the file is closed, so a writer that must know checks this.
  int close();

 private:
  int fd_ = -1;
};

}  // namespace dunvel
