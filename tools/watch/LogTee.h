#pragma once

#include <functional>
#include <ostream>
#include <streambuf>
#include <string>

namespace dunvel {

// A log that also hands each whole line it writes to a listener (without its newline): the
// browser view's panel shows the log's last lines. Writes go through to the stream below as they
// come; a write that fails there fails here. One thread only, like the main thread's log.
class LogTee final : public std::streambuf {
 public:
  LogTee(std::ostream& below, std::function<void(const std::string&)> line)
      : below_(below), line_(std::move(line)) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync() == 0 ? 0 : c;
    const char ch = traits_type::to_char_type(c);
    return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
  }

  std::streamsize xsputn(const char* text, std::streamsize count) override {
    if (!below_.write(text, count)) return 0;
    for (std::streamsize i = 0; i < count; ++i) {
      if (text[i] != '\n') {
        pending_.push_back(text[i]);
        continue;
      }
      const std::string line = std::move(pending_);
      pending_.clear();
      if (line_) line_(line);
    }
    return count;
  }

  int sync() override { return below_.flush() ? 0 : -1; }

 private:
  std::ostream& below_;
  std::function<void(const std::string&)> line_;
  std::string pending_;
};

}  // namespace dunvel
