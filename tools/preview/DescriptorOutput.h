#pragma once

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <streambuf>

namespace dunvel {

// A stream buffer that writes to a file descriptor and keeps what it could not write. Standard
// output through stdio drops its buffer when a write fails, so a later flush succeeds and the
// cause is lost; with this one every flush after a failure tries again, and fails again with
// the system's reason in errno (a full disk, a closed pipe) for the message that names it.
class DescriptorOutput final : public std::streambuf {
 public:
  explicit DescriptorOutput(int fd) : fd_(fd) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }
  ~DescriptorOutput() override { drain(); }
  DescriptorOutput(const DescriptorOutput&) = delete;
  DescriptorOutput& operator=(const DescriptorOutput&) = delete;

 protected:
  int_type overflow(int_type ch) override {
    if (drain() != 0) return traits_type::eof();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }
  int sync() override { return drain(); }

 private:
  // Writes out what the buffer holds: 0, or -1 with errno set and the rest still held.
  int drain() {
    char* at = pbase();
    while (at < pptr()) {
      const ssize_t n = ::write(fd_, at, static_cast<std::size_t>(pptr() - at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        const auto rest = static_cast<int>(pptr() - at);
        std::memmove(buffer_.data(), at, static_cast<std::size_t>(rest));
        setp(buffer_.data(), buffer_.data() + buffer_.size());
        pbump(rest);
        return -1;
      }
      at += n;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return 0;
  }

  int fd_;
  std::array<char, 64 * 1024> buffer_{};
};

}  // namespace dunvel
