#pragma once

#include <cerrno>
#include <cstring>
#include <mutex>
#include <ostream>
#include <string>

namespace dunvel {

// Serialises whole lines from several threads onto one stream, each flushed as it is written.
class LineWriter {
 public:
  explicit LineWriter(std::ostream& stream) : stream_(stream) {}

  // Whether the line, and every line before it, reached the stream.
  bool write(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (!stream_) return false;
    errno = 0;
    stream_ << line << '\n' << std::flush;
    if (stream_) return true;
    problem_ = errno != 0 ? std::strerror(errno) : "the stream failed";
    return false;
  }

  // Why a write failed, once one has.
  std::string problem() {
    std::lock_guard lock(mutex_);
    return problem_;
  }

 private:
  std::mutex mutex_;
  std::ostream& stream_;
  std::string problem_;
};

}  // namespace dunvel
