#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "platform/recording/RecordingEvent.h"

namespace dunvel {

// Reads a recording as a stream of events, one line at a time, so a file of any size costs at
// most one line of memory (kMaxRecordingLineBytes). What cannot be used is skipped with a
// one-line warning that names the line: a line that is not JSON or lacks a field, an unknown
// event, a line longer than the limit, lines before the first start line, and a last line cut
// short (a companion killed while writing). A time earlier than the line before is taken as that
// line's time, with a warning. Every other event is delivered. A line that runs on past
// kMaxSkippedLineBytes is no recording's (an endless input such as /dev/zero): reading stops
// there, as failed.
class RecordingReader {
 public:
  // name is how warnings call the input ("night.jsonl"); warn receives each warning as
  // "name:line: what is wrong". After kMaxWarningsShown warnings, one more says that the rest
  // are only counted.
  RecordingReader(std::istream& in, std::string name, std::function<void(const std::string&)> warn);

  static constexpr std::size_t kMaxWarningsShown = 20;
  static constexpr std::size_t kMaxSkippedLineBytes = 16 * kMaxRecordingLineBytes;

  // Reading ends, as at the end of the input, once stop returns true; it is asked before each
  // read from the input, so an endless stream of unusable lines can be interrupted.
  void stopWhen(std::function<bool()> stop) { stop_ = std::move(stop); }

  // The next usable event, with the line it came from; false at the end of the input.
  bool next(RecordingEvent& event);

  // Which recording of the file the last event belongs to (1 for the first start line).
  std::size_t recording() const { return recording_; }
  // The line of the last event read.
  std::size_t line() const { return eventLine_; }
  std::size_t warnings() const { return warnings_; }
  // Whether the last line was cut short: the one warning a recording of a companion that was
  // killed carries by nature.
  bool endsCutShort() const { return endsCutShort_; }
  // Whether the input could not be read to its end (an I/O error, not bad content).
  bool failed() const { return failed_; }
  const std::string& name() const { return name_; }

 private:
  // How a line read ended: there was none (the end of the input), at its newline, or cut short
  // (a last line without its newline).
  enum class LineEnd { none, newline, cutShort };
  // The next line, without its newline.
  LineEnd nextLine(std::string& line);
  void warn(std::size_t line, const std::string& what);
  // Warns that the line just read ran past the longest a line may be, and empties it.
  void skipOverlong(std::string& line);

  std::istream& in_;
  std::string name_;
  std::function<void(const std::string&)> warn_;
  std::function<bool()> stop_;
  std::vector<char> chunk_;
  std::size_t chunkAt_ = 0;
  std::size_t chunkSize_ = 0;
  std::size_t lineNumber_ = 0;
  std::size_t eventLine_ = 0;
  std::size_t recording_ = 0;
  std::size_t warnings_ = 0;
  double lastTime_ = 0;
  bool beforeFirstStartWarned_ = false;
  bool failed_ = false;
  bool endsCutShort_ = false;
};

}  // namespace dunvel
