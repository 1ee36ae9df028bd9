// Bytes to pixels: a snapshot's JSON → decoding → the screen the router chooses, evaluated →
// layout → paint, on a face of any size at any current date-time. Any input must lay out and
// paint crash-free and sanitizer-clean, and the invariants below must hold; a broken invariant
// aborts so the fuzzer keeps the input.
//
// Input: byte 0 picks the face (modulo 8, the cases from 40mm to 49mm-3); byte 1's low bit says
// whether the host app is reachable; bytes 2 to 9 are the current date-time, a double in seconds
// since 1970 as the machine stores it (one that is not finite stands for 0, as --now refuses it);
// byte 10 is where each scroll view is scrolled to, ((byte - 64) × 10 points. The rest is the
// snapshot's JSON.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "app/ScreenPreview.h"
#include "render/FaceRenderer.h"
#include "state/ContextDecoding.h"
#include "state/SnapshotJson.h"

namespace {

using namespace dunvel;

constexpr std::size_t kHeaderBytes = 11;

void require(bool condition) {
  if (!condition) std::abort();
}

bool isFinite(const Rect& rect) {
  return std::isfinite(rect.x) && std::isfinite(rect.y) && std::isfinite(rect.width) &&
         std::isfinite(rect.height) && rect.width >= 0 && rect.height >= 0;
}

// One renderer a face, kept between inputs as the window keeps its own: texts stay shaped.
FaceRenderer& rendererFor(std::uint8_t pick) {
  static std::unique_ptr<FaceRenderer> renderers[kAllFaceSizes.size()];
  const std::size_t index = pick % kAllFaceSizes.size();
  if (!renderers[index])
    renderers[index] = std::make_unique<FaceRenderer>(kAllFaceSizes[index], 1.0);
  return *renderers[index];
}

void checkLayout(const FaceLayout& layout) {
  const Size face = layout.face().size;
  for (const ButtonHit& button : layout.buttons()) {
    require(isFinite(button.visible));
    if (button.visible.width < 1 || button.visible.height < 1) continue;
    // A button that shows can be tapped: the middle of what shows of it reaches a button.
    const Point middle{button.visible.x + button.visible.width / 2,
                       button.visible.y + button.visible.height / 2};
    if (middle.x >= 0 && middle.y >= 0 && middle.x < face.width && middle.y < face.height) {
      require(layout.buttonAt(middle) != nullptr);
    }
  }
  for (const ScrollViewLayout& scroll : layout.scrollViews()) {
    require(isFinite(scroll.viewport));
    require(std::isfinite(scroll.contentHeight) && scroll.contentHeight >= 0);
    require(scroll.offset >= 0 && scroll.offset <= scroll.maxOffset());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderBytes) return 0;
  const bool reachable = (data[1] & 1) != 0;
  double now = 0;
  std::memcpy(&now, data + 2, sizeof now);
  if (!std::isfinite(now)) now = 0;
  const double scrolledTo = (static_cast<int>(data[10]) - 64) * 10.0;

  const std::string_view json(reinterpret_cast<const char*>(data) + kHeaderBytes,
                              size - kHeaderBytes);
  const JsonReadResult read = readSnapshotJson(json);
  if (!read.ok()) return 0;
  const ScreenPreview preview(decodeGameState(read.dictionary), hostReach(reachable), Date{now});

  FaceRenderer& renderer = rendererFor(data[0]);
  const FaceLayout& top = renderer.layout(preview.tree());
  checkLayout(top);
  renderer.paint();

  // The same screen scrolled: every offset is clamped to the content, and it paints.
  if (top.scrollViews().empty()) return 0;
  ScrollOffsets offsets;
  for (const ScrollViewLayout& scroll : top.scrollViews()) offsets[scroll.identity] = scrolledTo;
  checkLayout(renderer.layout(preview.tree(), offsets));
  renderer.paint();
  return 0;
}
