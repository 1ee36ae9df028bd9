#include "platform/recording/RecordingWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

namespace dunvel {

RecordingWriter::RecordingWriter(const Clock& wallClock,
                                 std::function<std::chrono::nanoseconds()> monotonic,
                                 std::ostream& log)
    : wallClock_(wallClock), monotonic_(std::move(monotonic)), log_(log) {}

RecordingWriter::~RecordingWriter() {
  close();
}

void RecordingWriter::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string RecordingWriter::open(const std::filesystem::path& path, std::string_view recorder) {
  close();
  path_ = path;
  const std::string name = path.string();
  // O_APPEND: every write lands at the end, whoever else appends, and nothing is truncated.
  fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return "cannot record to " + name + ": " + std::strerror(errno);
  struct stat info {};
  if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    close();
    return "cannot record to " + name + ": it is not a regular file";
  }
  // A recorder killed in the middle of a line left it without its newline; the next line must
  // not be glued onto it.
  if (info.st_size > 0) {
    const int reader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    char last = '\n';
    if (reader >= 0) {
      if (pread(reader, &last, 1, info.st_size - 1) != 1) last = '\n';
      ::close(reader);
    }
    if (last != '\n' && ::write(fd_, "\n", 1) != 1) {
      const std::string reason = std::strerror(errno);
      close();
      return "cannot record to " + name + ": " + reason;
    }
  }
  startedAt_ = monotonic_();
  RecordingEvent start;
  start.kind = RecordingEvent::Kind::start;
  start.recorder = std::string(recorder);
  write(std::move(start));
  if (fd_ < 0) return "cannot record to " + name + ": the first line could not be written";
  return {};
}

void RecordingWriter::write(RecordingEvent event) {
  if (fd_ < 0) return;
  // The start line is the origin of the time line by definition.
  const std::chrono::duration<double, std::milli> since = event.kind == RecordingEvent::Kind::start
                                                              ? std::chrono::nanoseconds{0}
                                                              : monotonic_() - startedAt_;
  event.t = since.count();
  event.wall = recordingWallText(wallClock_.now());
  const std::string line = event.line();
  // One write per line: a reader never sees half of one unless the program died inside it.
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      log_ << ("recording to " + path_.string() +
               " stopped: " + (n < 0 ? std::strerror(errno) : "nothing could be written") + "\n")
           << std::flush;
      close();
      return;
    }
    written += static_cast<std::size_t>(n);
  }
}

void RecordingWriter::hostConnected() {
  RecordingEvent event;
  event.kind = RecordingEvent::Kind::connect;
  write(std::move(event));
}

void RecordingWriter::hostDisconnected() {
  RecordingEvent event;
  event.kind = RecordingEvent::Kind::disconnect;
  write(std::move(event));
}

void RecordingWriter::frame(std::string_view json) {
  RecordingEvent event;
  event.kind = RecordingEvent::Kind::frame;
  event.frameJson = std::string(json);
  write(std::move(event));
}

void RecordingWriter::tap(std::string_view control, const std::optional<std::string>& teamId) {
  RecordingEvent event;
  event.kind = RecordingEvent::Kind::tap;
  event.control = std::string(control);
  event.teamId = teamId;
  write(std::move(event));
}

void RecordingWriter::command(const ContextDictionary& message) {
  RecordingEvent event;
  event.kind = RecordingEvent::Kind::command;
  event.message = message;
  write(std::move(event));
}

void RecordingWriter::haptic(HapticType type) {
  RecordingEvent event;
  event.kind = RecordingEvent::Kind::haptic;
  event.haptic = static_cast<int>(type);
  write(std::move(event));
}

void RecordingWriter::screen(std::string_view screen, std::string_view shows) {
  RecordingEvent event;
  event.kind = RecordingEvent::Kind::screen;
  event.screen = std::string(screen);
  event.shows = std::string(shows);
  write(std::move(event));
}

}  // namespace dunvel
