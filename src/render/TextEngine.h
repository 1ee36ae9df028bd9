#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "render/ShapedText.h"
#include "render/TextRequest.h"

namespace dunvel {

// Shapes texts with Pango (HarfBuzz underneath) in the fonts pinned by data/fonts.conf, and
// caches the layouts between frames by text, font and offered width: a frame of an unchanged
// screen shapes nothing. Each text is a paragraph of its own, so a bidi control inside one text
// cannot reorder anything outside it. An engine is used only on the thread that made it; engines
// of different threads may shape at the same time (each thread has its own Pango font map).
class TextEngine {
 public:
  // fontsConf: the fontconfig file naming the only fonts to use; empty for the one the build
  // finds (see DataDir.h). std::runtime_error when there is none or it cannot be loaded.
  explicit TextEngine(const std::string& fontsConf = {});
  ~TextEngine();
  TextEngine(const TextEngine&) = delete;
  TextEngine& operator=(const TextEngine&) = delete;

  const ShapedText& shape(const TextRequest& request);

  // Marks the start of a frame; texts not asked for since the previous mark may be evicted,
  // the longest unused first (down to half the bounds), once the cache holds more than
  // kMaxCachedTexts texts or kMaxCachedBytes (estimated) of layouts.
  void beginFrame();
  static constexpr std::size_t kMaxCachedTexts = 4096;
  static constexpr std::size_t kMaxCachedBytes = 32 * 1024 * 1024;

  // What the engine has done since it was made, for tests and benchmarks.
  struct Stats {
    // Layouts shaped (cache misses).
    std::size_t shaped = 0;
  };
  Stats stats() const;

  // Texts longer than these are cut (with "…") before shaping: a line cannot show more, and a
  // frame must paint in bounded time whatever the host sends.
  static constexpr std::size_t kMaxOneLineCodePoints = 400;
  static constexpr std::size_t kMaxWrappedBytes = 16 * 1024;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The fonts.conf of the data folder (dataDir()); std::runtime_error naming the places tried when
// there is none.
std::string defaultFontsConf();

}  // namespace dunvel
