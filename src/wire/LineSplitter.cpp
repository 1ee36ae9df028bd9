#include "wire/LineSplitter.h"

namespace dunvel {

LineSplitter::LineSplitter(std::size_t maxLineBytes) : maxLineBytes_(maxLineBytes) {}

void LineSplitter::reset() {
  partial_.clear();
  partial_.shrink_to_fit();
  skipping_ = false;
}

void LineSplitter::feed(std::string_view bytes, const std::function<void(std::string_view)>& onLine,
                        const std::function<void()>& onOverlong) {
  while (!bytes.empty()) {
    const std::size_t newline = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, newline);
    const bool complete = newline != std::string_view::npos;
    bytes.remove_prefix(complete ? newline + 1 : bytes.size());

    if (!skipping_ && partial_.size() + piece.size() > maxLineBytes_) {
      // The limit counts the line's own bytes, so a line of exactly the limit is still read.
      // A trailing '\r' may push a line one byte past it; that is not worth a special case.
      partial_.clear();
      partial_.shrink_to_fit();
      skipping_ = true;
      onOverlong();
    }
    if (skipping_) {
      if (complete) skipping_ = false;
      continue;
    }
    if (!complete) {
      partial_.append(piece);
      continue;
    }
    std::string_view line = piece;
    if (!partial_.empty()) {
      partial_.append(piece);
      line = partial_;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) onLine(line);
    partial_.clear();
  }
}

}  // namespace dunvel
