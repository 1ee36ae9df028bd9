#include "preview/ProgressLine.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <utility>

namespace dunvel {
namespace {

// "about 5 s left", "about 3 min left"; nothing before anything is done or once all is.
std::string timeLeft(double fraction, std::chrono::duration<double> elapsed) {
  if (!(fraction > 0.0) || fraction >= 1.0 || !std::isfinite(elapsed.count())) return {};
  const double seconds = elapsed.count() * (1.0 - fraction) / fraction;
  if (!std::isfinite(seconds) || seconds > 1e7) return {};
  if (seconds < 90.0)
    return ", about " + std::to_string(std::lround(std::ceil(seconds))) + " s left";
  return ", about " + std::to_string(std::lround(seconds / 60.0)) + " min left";
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& err, bool enabled, std::string label, std::string unit)
    : err_(err),
      enabled_(enabled),
      label_(std::move(label)),
      unit_(std::move(unit)),
      start_(std::chrono::steady_clock::now()) {}

ProgressLine::~ProgressLine() {
  clear();
}

void ProgressLine::setTotal(std::size_t total) {
  const std::lock_guard lock(mutex_);
  total_ = total;
}

void ProgressLine::done(std::size_t steps, std::optional<double> part) {
  if (!enabled_) return;
  const std::lock_guard lock(mutex_);
  done_ += steps;
  if (part) part_ = part;
  // The first step and the last (all done, or all read) are always drawn.
  draw(done_ == steps || (total_ && done_ >= *total_) || (part_ && *part_ >= 1.0));
}

void ProgressLine::clear() {
  if (!enabled_) return;
  const std::lock_guard lock(mutex_);
  if (!shown_) return;
  // Back to the line's start, and everything to its end erased.
  err_ << "\r\x1b[K" << std::flush;
  shown_ = false;
}

std::string ProgressLine::text(const std::string& label, const std::string& unit, std::size_t done,
                               std::optional<std::size_t> total, std::optional<double> part,
                               std::chrono::duration<double> elapsed) {
  std::string line = label + ": " + std::to_string(done);
  if (total) {
    line += " of " + std::to_string(*total) + " " + unit;
    if (*total > 0)
      line += timeLeft(static_cast<double>(done) / static_cast<double>(*total), elapsed);
    return line;
  }
  // "1 frame", "2 frames".
  line += " " + (done == 1 && unit.ends_with('s') ? unit.substr(0, unit.size() - 1) : unit);
  if (part) {
    const double clamped = std::clamp(*part, 0.0, 1.0);
    line += ", " + std::to_string(std::lround(clamped * 100.0)) + " % read";
    line += timeLeft(clamped, elapsed);
  }
  return line;
}

void ProgressLine::draw(bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (!force && lastDrawn_ && now - *lastDrawn_ < std::chrono::milliseconds(100)) return;
  lastDrawn_ = now;
  err_ << "\r" << text(label_, unit_, done_, total_, part_, now - start_) << "\x1b[K" << std::flush;
  shown_ = true;
}

}  // namespace dunvel
