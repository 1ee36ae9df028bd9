#pragma once

#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "app/ScreenPreview.h"
#include "render/FaceRenderer.h"
#include "render/TimeText.h"
#include "state/ContextDecoding.h"
#include "state/SnapshotJson.h"

namespace dunvel {

// A moment all render tests share, so the question clock shows the same thing every run.
inline constexpr double kTestNow = 1765136742.0;

inline GameState snapshotFromJson(const std::string& json) {
  JsonReadResult read = readSnapshotJson(json);
  if (!read.ok()) throw std::invalid_argument("bad test snapshot: " + read.error);
  return decodeGameState(read.dictionary);
}

inline GameState exampleSnapshot(const std::string& name) {
  std::ifstream file(std::string(DUNVEL_SOURCE_DIR) + "/examples/" + name + ".json");
  std::stringstream text;
  text << file.rdbuf();
  return snapshotFromJson(text.str());
}

struct Pixel {
  int r, g, b, a;
};

// Reads a pixel of an ARGB32 image (premultiplied; the face is opaque wherever it draws).
inline Pixel pixelAt(cairo_surface_t* image, int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
  const std::uint32_t v = reinterpret_cast<const std::uint32_t*>(row)[x];
  return {static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
          static_cast<int>(v & 0xFF), static_cast<int>(v >> 24)};
}

// Where, in a face painted at one pixel per point, something other than the time is painted in
// the time band ("x,y" of the first such pixel), or nothing when the band holds the time alone.
inline std::string paintedInTheBand(FaceRenderer& renderer, const FaceLayout& layout) {
  cairo_surface_t* image = renderer.paint();
  const Rect time = layout.time() ? layout.time()->frame : Rect{};
  for (int y = 0; y < static_cast<int>(layout.face().safeAreaTop); ++y) {
    for (int x = 0; x < renderer.pixelWidth(); ++x) {
      if (x + 1 >= time.x && x <= time.maxX() + 1 && y + 1 >= time.y && y <= time.maxY() + 1)
        continue;
      const Pixel p = pixelAt(image, x, y);
      if (p.r >= 12 || p.g >= 12 || p.b >= 12) return std::to_string(x) + "," + std::to_string(y);
    }
  }
  return {};
}

// The companion's screen for a snapshot, laid out and painted.
struct RenderedScreen {
  explicit RenderedScreen(const GameState& state, HostReach reach = HostReach::reachable,
                          double now = kTestNow, FaceSize size = FaceSize::mm45, double scale = 2.0,
                          const ScrollOffsets& offsets = {})
      : preview(state, reach, Date{now}), renderer(size, scale) {
    // The band's time in UTC, whatever zone the machine is in, as the reference images have it.
    setenv("TZ", "UTC0", 1);
    tzset();
    renderer.setTime(timeText(now));
    layout = &renderer.layout(preview.tree(), offsets);
    renderer.paint();
  }

  const Element& text(const std::string& shown) const {
    const Element* found = preview.tree().findText(shown);
    if (!found) throw std::invalid_argument("no text \"" + shown + "\" on the screen");
    return *found;
  }
  Rect frame(const Element& element) const {
    if (auto f = layout->frameOf(element)) return *f;
    throw std::invalid_argument("element not laid out");
  }
  Rect frameOfText(const std::string& shown) const { return frame(text(shown)); }

  ScreenPreview preview;
  FaceRenderer renderer;
  const FaceLayout* layout = nullptr;
};

}  // namespace dunvel
