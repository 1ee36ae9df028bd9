#include "platform/recording/RecordingWriter.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>

#include "files/TemporaryFile.h"
#include "files/WriteAll.h"

namespace dunvel {

namespace {

// Copies from the start of one file to the end of the other, and ends the copy with a newline
// when the last line lacks one (a recorder killed in the middle of a line must not have the
// next line glued onto it). 0, or an errno.
int copyRecording(int from, int to) {
  char buffer[64 * 1024];
  char last = '\n';
  for (;;) {
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) break;
    last = buffer[got - 1];
    if (int error = writeAll(to, std::string_view(buffer, static_cast<std::size_t>(got)));
        error != 0) {
      return error;
    }
  }
  return last == '\n' ? 0 : writeAll(to, "\n");
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

RecordingWriter::RecordingWriter(const Clock& wallClock,
                                 std::function<std::chrono::nanoseconds()> monotonic,
                                 std::ostream& log)
    : wallClock_(wallClock), monotonic_(std::move(monotonic)), log_(log) {}

RecordingWriter::~RecordingWriter() {
  close();
}

void RecordingWriter::close() {
  fd_.reset();
}

std::string RecordingWriter::open(const std::filesystem::path& path, std::string_view recorder) {
  close();
  path_ = path;
  // Another recorder may replace the file between two looks at it; a few tries settle it.
  for (int attempt = 0; attempt < 5; ++attempt) {
    OpenAttempt tried = openOnce(recorder);
    if (tried.outcome != OpenAttempt::Outcome::replacedMeanwhile) return tried.problem;
  }
  return "cannot record to " + path.string() + ": it keeps being replaced";
}

std::string RecordingWriter::cannot(const std::string& why) const {
  return "cannot record to " + path_.string() + ": " + why;
}

RecordingWriter::OpenAttempt RecordingWriter::replacedMeanwhile() {
  return {OpenAttempt::Outcome::replacedMeanwhile, {}};
}

RecordingWriter::OpenAttempt RecordingWriter::refused(std::string problem) {
  return {OpenAttempt::Outcome::refused, std::move(problem)};
}

RecordingWriter::OpenAttempt RecordingWriter::openOnce(std::string_view recorder) {
  // Nothing here opens what is not a regular file: opening a FIFO with no reader, or some
  // devices, blocks, and the companion would never start.
  struct stat seen {};
  OldEntry old = OldEntry::none;
  if (::lstat(path_.c_str(), &seen) == 0) {
    if (S_ISLNK(seen.st_mode)) {
      old = OldEntry::symlink;  // replaced by the recording; what it points at is left alone
    } else if (S_ISREG(seen.st_mode)) {
      old = OldEntry::file;
      // Replacing the file needs only the folder's permission; a file its owner made read-only
      // is not for recording to.
      if (faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) != 0) {
        return refused(cannot(std::strerror(errno)));
      }
    } else {
      return refused(cannot(S_ISDIR(seen.st_mode) ? "it is a folder" : "it is not a regular file"));
    }
  } else if (errno != ENOENT) {
    return refused(cannot(std::strerror(errno)));
  }
  // The lock on the file at the path is what keeps a second recorder out.
  FileDescriptor existing;
  if (old == OldEntry::file) {
    if (OpenAttempt locked = lockExisting(seen, existing);
        locked.outcome != OpenAttempt::Outcome::opened) {
      return locked;
    }
  }
  return replaceWithStarted(recorder, old, seen, existing);
}

RecordingWriter::OpenAttempt RecordingWriter::lockExisting(const struct stat& seen,
                                                           FileDescriptor& existing) {
  existing.reset(::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat opened {};
  if (!existing.valid() || fstat(existing.get(), &opened) != 0 || !sameFile(opened, seen)) {
    return replacedMeanwhile();
  }
  if (flock(existing.get(), LOCK_EX | LOCK_NB) != 0) {
    return refused(errno == EWOULDBLOCK ? cannot("another companion is recording to it")
                                        : cannot(std::strerror(errno)));
  }
  // The recorder before may have replaced the file after it was opened here.
  struct stat now {};
  if (::lstat(path_.c_str(), &now) != 0 || !sameFile(now, opened)) return replacedMeanwhile();
  return {};
}

RecordingWriter::OpenAttempt RecordingWriter::replaceWithStarted(std::string_view recorder,
                                                                 OldEntry old,
                                                                 const struct stat& seen,
                                                                 const FileDescriptor& existing) {
  // The recording is put together beside the file and renamed over it: the old lines, then the
  // start line. Whatever fails, the old file stays as it was and nothing new is left behind.
  TemporaryFile made(path_, O_APPEND);
  if (made.error() != 0) return refused(cannot(std::strerror(made.error())));
  // Held from before the rename, so a recorder that finds the new file finds it locked.
  int error = flock(made.fd(), LOCK_EX | LOCK_NB) != 0 ? errno : 0;
  if (error == 0 && old == OldEntry::file) {
    error = fchmod(made.fd(), seen.st_mode & 07777) != 0 ? errno : 0;
    if (error == 0) error = copyRecording(existing.get(), made.fd());
  }
  if (error == 0) {
    startedAt_ = monotonic_();
    RecordingEvent start;
    start.kind = RecordingEvent::Kind::start;
    start.recorder = std::string(recorder);
    error = writeAll(made.fd(), stamped(std::move(start)));
  }
  // Where nothing was, another recorder that got there first must not be replaced.
  if (error == 0) error = old == OldEntry::none ? made.placeIfAbsent() : made.replace();
  if (old == OldEntry::none && error == EEXIST) return replacedMeanwhile();
  if (error != 0) return refused(cannot(std::strerror(error)));
  fd_ = made.takeDescriptor();
  return {};
}

std::string RecordingWriter::stamped(RecordingEvent event) const {
  // The start line is the origin of the time line by definition.
  const std::chrono::duration<double, std::milli> since = event.kind == RecordingEvent::Kind::start
                                                              ? std::chrono::nanoseconds{0}
                                                              : monotonic_() - startedAt_;
  event.t = since.count();
  event.wall = recordingWallText(wallClock_.now());
  return event.line();
}

void RecordingWriter::write(RecordingEvent event) {
  if (!fd_.valid()) return;
  const std::string line = stamped(std::move(event));
  const off_t before = lseek(fd_.get(), 0, SEEK_END);
  // One write per line: a reader never sees half of one unless the program died inside it.
  if (int error = writeAll(fd_.get(), line); error != 0) {
    // Whatever part of the line got in is taken out again, so the file keeps whole lines.
    if (before >= 0 && ftruncate(fd_.get(), before) != 0) {
      // Nothing more can be done; the reader skips a line cut short.
    }
    log_ << ("recording to " + path_.string() + " stopped: " + std::strerror(error) + "\n")
         << std::flush;
    close();
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
