#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>

namespace dunvel {

// How far a long command has come, on one line of a terminal rewritten in place: "verify: 12 of
// 64 images, about 5 s left". Drawn only when standard error is a terminal (CI logs stay
// clean), at most ten times a second and always for the first and the last step, and wiped
// before anything else is written: the command's own lines are never mixed with it.
class ProgressLine {
 public:
  // label: "verify"; unit: "images". Draws nothing unless enabled.
  ProgressLine(std::ostream& err, bool enabled, std::string label, std::string unit);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // How many steps there are, when known before they are done.
  void setTotal(std::size_t total);
  // `steps` more are done; the part of the whole they make, when no total is known (a recording
  // read so far), gives the time left. Callable from any thread.
  void done(std::size_t steps, std::optional<double> part = std::nullopt);
  // Wipes the line, so that what the command prints next starts at the line's beginning.
  void clear();

  // The line as it would be drawn after `done` of `total` (or of `part` of the whole) in
  // `elapsed`: "verify: 12 of 64 images, about 5 s left".
  static std::string text(const std::string& label, const std::string& unit, std::size_t done,
                          std::optional<std::size_t> total, std::optional<double> part,
                          std::chrono::duration<double> elapsed);

 private:
  void draw(bool force);

  std::ostream& err_;
  const bool enabled_;
  const std::string label_;
  const std::string unit_;
  std::mutex mutex_;
  std::optional<std::size_t> total_;
  std::optional<double> part_;
  std::size_t done_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::optional<std::chrono::steady_clock::time_point> lastDrawn_;
  bool shown_ = false;
};

}  // namespace dunvel
