#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

struct stat;

#include "files/FileDescriptor.h"
#include "observation/Clock.h"
#include "platform/recording/RecordingEvent.h"
#include "state/ContextValue.h"
#include "views/toolkit/HapticType.h"

namespace dunvel {

// Writes a recording of a night (the format is RecordingEvent's): one line per event, each in a
// single write to a file opened for appending, so every line that reached the file is whole and
// survives the program being killed; a line that cannot be written whole is taken out again. An
// existing file is added to, never cut: its lines and the new start line are put together in a
// new file beside it, which replaces it, so a failure leaves the old file as it was and a symlink
// at the path is replaced rather than written through. The file stays locked (flock) while it is
// recorded to: one recorder per file. Main thread only: events from other threads are queued onto
// the main queue first.
//
// Taps: every control of the host remote screen sends exactly one command through the store as
// the first thing its action does, so the store's send observer (SessionPlatform::observeSend) is
// where taps are recorded, whatever delivered the tap (the window's click, a test, a replay).
// Code that runs a control's action any other way calls tap() itself.
class RecordingWriter {
 public:
  // wallClock gives each line's wall-clock time; monotonic the time since the start line.
  // Problems (a write that fails) are reported once, as one line on log.
  RecordingWriter(const Clock& wallClock, std::function<std::chrono::nanoseconds()> monotonic,
                  std::ostream& log);
  ~RecordingWriter();
  RecordingWriter(const RecordingWriter&) = delete;
  RecordingWriter& operator=(const RecordingWriter&) = delete;

  // Opens path for appending (creating it with mode 0600), ends with a newline a last line that
  // an earlier recorder left cut, and writes the start line, naming recorder. Returns an empty
  // string, or one line saying why the file cannot be recorded to: another recorder has it, it
  // is not a regular file (a FIFO or a device, which are never opened: opening one can block),
  // or the system's error.
  std::string open(const std::filesystem::path& path, std::string_view recorder);

  void hostConnected();
  void hostDisconnected();
  // json: the frame's line exactly as it came over the link.
  void frame(std::string_view json);
  void tap(std::string_view control, const std::optional<std::string>& teamId);
  void command(const ContextDictionary& message);
  void haptic(HapticType type);
  void screen(std::string_view screen, std::string_view shows);

  // Whether lines are being written: open succeeded and no write has failed since.
  bool isRecording() const { return fd_.valid(); }

 private:
  void write(RecordingEvent event);
  void close();
  // What one try of open() came to: the problem is set when the file is refused.
  struct OpenAttempt {
    enum class Outcome { opened, refused, replacedMeanwhile };
    Outcome outcome = Outcome::opened;
    std::string problem;
  };
  // One try of open(); replacedMeanwhile when the file was replaced between two looks at it
  // and another try may do.
  OpenAttempt openOnce(std::string_view recorder);
  // Opens and locks the regular file seen at the path.
  OpenAttempt lockExisting(const struct stat& seen, FileDescriptor& existing);
  // What was at the path when open() looked.
  enum class OldEntry { none, symlink, file };
  // Puts the old lines (of the file seen, locked as existing) and a start line together in a
  // new file and puts it at the path; the new file is the one recorded to.
  OpenAttempt replaceWithStarted(std::string_view recorder, OldEntry old, const struct stat& seen,
                                 const FileDescriptor& existing);
  // "cannot record to PATH: why".
  std::string cannot(const std::string& why) const;
  static OpenAttempt replacedMeanwhile();
  static OpenAttempt refused(std::string problem);
  // The event's line, with its time since the start line and its wall-clock time.
  std::string stamped(RecordingEvent event) const;

  const Clock& wallClock_;
  std::function<std::chrono::nanoseconds()> monotonic_;
  std::ostream& log_;
  std::chrono::nanoseconds startedAt_{0};
  std::filesystem::path path_;
  FileDescriptor fd_;
};

}  // namespace dunvel
