#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace dunvel {

// Lines waiting to go out to a peer that does not read them: past this the link stops reading
// from that peer until it catches up, so one that floods bad lines without reading its answers
// cannot grow the companion's memory. The same for every kind of stream.
inline constexpr std::size_t kMaxOutgoingBytes = std::size_t{4} << 20;

// The lines waiting to be written to one connection, oldest first, and the back-pressure they
// put on reading from it. Whatever the stream, one line is written at a time: front() until it
// is written, then pop().
class OutgoingLines {
 public:
  explicit OutgoingLines(std::size_t maxBytes = kMaxOutgoingBytes) : maxBytes_(maxBytes) {}

  void push(std::string line) {
    bytes_ += line.size();
    lines_.push_back(std::move(line));
  }
  bool empty() const { return lines_.empty(); }
  std::size_t size() const { return lines_.size(); }
  const std::string& front() const { return lines_.front(); }
  std::string& front() { return lines_.front(); }
  // The front line has been written.
  void pop() {
    bytes_ -= lines_.front().size();
    lines_.pop_front();
  }
  // The peer is gone: nothing waiting will reach it.
  void clear() {
    lines_.clear();
    bytes_ = 0;
  }

  // Whether reading from the peer waits until it has read more of its answers.
  bool full() const { return bytes_ > maxBytes_; }
  std::size_t bytes() const { return bytes_; }

 private:
  std::size_t maxBytes_;
  std::deque<std::string> lines_;
  std::size_t bytes_ = 0;
};

}  // namespace dunvel
