#include "platform/recording/RecordingReader.h"

#include <cstdio>
#include <cstring>
#include <istream>

namespace dunvel {

namespace {

constexpr std::size_t kChunkBytes = 64 * 1024;

}  // namespace

RecordingReader::RecordingReader(std::istream& in, std::string name,
                                 std::function<void(const std::string&)> warn)
    : in_(in), name_(std::move(name)), warn_(std::move(warn)), chunk_(kChunkBytes) {}

void RecordingReader::skipOverlong(std::string& line) {
  warn(lineNumber_,
       "longer than " + std::to_string(kMaxRecordingLineBytes >> 20) + " MiB: skipped");
  line.clear();
}

void RecordingReader::warn(std::size_t line, const std::string& what) {
  ++warnings_;
  if (!warn_ || warnings_ > kMaxWarningsShown + 1) return;
  if (warnings_ == kMaxWarningsShown + 1) {
    warn_(name_ + ": more warnings follow; only their number is given at the end");
    return;
  }
  warn_(name_ + ":" + std::to_string(line) + ": " + what);
}

RecordingReader::LineEnd RecordingReader::nextLine(std::string& line) {
  line.clear();
  bool any = false;
  bool overlong = false;
  std::size_t length = 0;
  for (;;) {
    if (chunkAt_ == chunkSize_) {
      if (!in_.good() || (stop_ && stop_())) break;
      in_.read(chunk_.data(), static_cast<std::streamsize>(chunk_.size()));
      chunkSize_ = static_cast<std::size_t>(in_.gcount());
      chunkAt_ = 0;
      if (in_.bad()) failed_ = true;
      if (chunkSize_ == 0) break;
    }
    any = true;
    const char* begin = chunk_.data() + chunkAt_;
    const std::size_t left = chunkSize_ - chunkAt_;
    const void* found = std::memchr(begin, '\n', left);
    const std::size_t piece =
        found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - begin) : left;
    // Past the limit the rest of the line is only skipped, never held.
    if (!overlong && line.size() + piece > kMaxRecordingLineBytes) {
      overlong = true;
      line.clear();
      line.shrink_to_fit();
    }
    if (!overlong) line.append(begin, piece);
    chunkAt_ += found != nullptr ? piece + 1 : piece;
    length += piece;
    if (found == nullptr && length > kMaxSkippedLineBytes) {
      ++lineNumber_;
      warn(lineNumber_, "runs on past " + std::to_string(kMaxSkippedLineBytes >> 20) +
                            " MiB without ending: this is no recording; read no further");
      failed_ = true;
      chunkAt_ = chunkSize_ = 0;
      in_.setstate(std::ios::failbit);
      return LineEnd::none;
    }
    if (found != nullptr) {
      ++lineNumber_;
      if (overlong) skipOverlong(line);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return LineEnd::newline;
    }
  }
  if (!any) return LineEnd::none;
  ++lineNumber_;
  if (overlong) skipOverlong(line);
  return LineEnd::cutShort;
}

bool RecordingReader::next(RecordingEvent& event) {
  std::string text;
  for (LineEnd end = nextLine(text); end != LineEnd::none; end = nextLine(text)) {
    const bool complete = end == LineEnd::newline;
    if (text.find_first_not_of(" \t") == std::string::npos) continue;
    RecordingEvent::Parsed parsed = RecordingEvent::parse(text);
    if (!parsed.event) {
      // Whatever is wrong with a last line without its newline, the likely story is a recorder
      // that was stopped in the middle of writing it.
      warn(lineNumber_, complete ? parsed.problem + ": skipped"
                                 : "cut short (the recording ends in the middle of this line): "
                                   "skipped");
      endsCutShort_ = !complete;
      continue;
    }
    event = std::move(*parsed.event);
    if (event.kind == RecordingEvent::Kind::start) {
      ++recording_;
      lastTime_ = 0;
      event.t = 0;
    } else if (recording_ == 0) {
      if (!beforeFirstStartWarned_) {
        warn(lineNumber_, "no start line before this one: skipped up to the first start line");
        beforeFirstStartWarned_ = true;
      }
      continue;
    } else if (event.t < lastTime_) {
      warn(lineNumber_, "time " + millisText(event.t) + " is earlier than the line before (" +
                            millisText(lastTime_) + "): taken as " + millisText(lastTime_));
      event.t = lastTime_;
    }
    lastTime_ = event.t;
    eventLine_ = lineNumber_;
    return true;
  }
  return false;
}

}  // namespace dunvel
