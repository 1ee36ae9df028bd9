#pragma once

#include <mutex>
#include <ostream>
#include <string>

namespace dunvel {

// Serialises whole lines from several threads onto one stream, each flushed as it is written.
class LineWriter {
 public:
  explicit LineWriter(std::ostream& stream) : stream_(stream) {}
  void write(const std::string& line) {
    std::lock_guard lock(mutex_);
    stream_ << line << '\n' << std::flush;
  }

 private:
  std::mutex mutex_;
  std::ostream& stream_;
};

}  // namespace dunvel
