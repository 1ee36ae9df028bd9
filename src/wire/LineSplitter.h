#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace dunvel {

// The link carries one JSON object per line, at most 1 MiB a line.
inline constexpr std::size_t kMaxLinkLineBytes = std::size_t{1} << 20;

// Cuts a byte stream into lines without ever holding more than one line's limit. A line that
// passes the limit is reported once and then skipped up to its newline, so one bad line costs
// neither memory nor the lines after it.
class LineSplitter {
 public:
  explicit LineSplitter(std::size_t maxLineBytes = kMaxLinkLineBytes);

  // Calls onLine with each complete line (without its '\n', and without a '\r' before it) and
  // onOverlong once for each line longer than the limit. Empty lines are skipped.
  void feed(std::string_view bytes, const std::function<void(std::string_view)>& onLine,
            const std::function<void()>& onOverlong);

  // Whether bytes of an unfinished line are waiting for their newline.
  bool midLine() const { return !partial_.empty() || skipping_; }

  // Forgets an unfinished line, as when the sender goes away in the middle of one.
  void reset();

 private:
  std::size_t maxLineBytes_;
  std::string partial_;
  bool skipping_ = false;
};

}  // namespace dunvel
