// Bytes as a reference image, against a face drawn once: the PNG header is read first, and the
// pixels are decoded and compared only when it declares the face's size, as verify does. A file
// from a pull request must never crash, never decode more than the face's pixels, and compare
// to a bounded, consistent count; a broken invariant aborts so the fuzzer keeps the input.
#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "app/ScreenPreview.h"
#include "preview/ImageDifference.h"
#include "render/FaceRenderer.h"
#include "render/TimeText.h"
#include "state/ContextDecoding.h"
#include "state/SnapshotJson.h"

namespace {

using namespace dunvel;

void require(bool condition) {
  if (!condition) std::abort();
}

// The answer screen at 45 mm, drawn once, as verify draws it.
cairo_surface_t* drawnFace() {
  static std::unique_ptr<FaceRenderer> renderer;
  static cairo_surface_t* image = nullptr;
  if (image != nullptr) return image;
  renderer = std::make_unique<FaceRenderer>(FaceSize::mm45, 2.0);
  const JsonReadResult json =
      readSnapshotJson(R"({"screen":"answer","teams":[{"id":"t1","name":"الصقور","points":30}],)"
                       R"("questionOpenedAt":1735724400})");
  require(json.ok());
  const Date now{1735724460.0};
  const ScreenPreview preview(decodeGameState(json.dictionary), HostReach::reachable, now);
  renderer->setTime(timeText(now.timeIntervalSince1970, TimeZone::utc));
  renderer->layout(preview.tree(), {}, FaceRenderer::Relayout::whole);
  image = renderer->paint({}, FaceRenderer::Repaint::whole);
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // Byte 0 is the tolerance; the rest is the file.
  const int tolerance = data[0];
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  cairo_surface_t* actual = drawnFace();
  const PngSize face{static_cast<std::uint32_t>(cairo_image_surface_get_width(actual)),
                     static_cast<std::uint32_t>(cairo_image_surface_get_height(actual))};
  const std::optional<PngSize> declared = pngSize(bytes);
  if (!declared || *declared != face) return 0;
  std::string problem;
  const Owned<cairo_surface_t> expected = decodePng(bytes, problem);
  if (!expected) {
    require(!problem.empty());
    return 0;
  }
  // What was decoded is what the header declared: never more pixels than the face's.
  require(cairo_image_surface_get_width(expected.get()) == static_cast<int>(face.width));
  require(cairo_image_surface_get_height(expected.get()) == static_cast<int>(face.height));
  const ImageDifference counted = compareImages(expected.get(), actual, tolerance, DiffImage::none);
  const std::int64_t pixels = std::int64_t{face.width} * face.height;
  require(!counted.sizesDiffer && counted.differingPixels >= 0 &&
          counted.differingPixels <= pixels);
  const ImageDifference drawn =
      compareImages(expected.get(), actual, tolerance, DiffImage::whenDifferent);
  require(drawn.differingPixels == counted.differingPixels);
  require(static_cast<bool>(drawn.diff) == (drawn.differingPixels > 0));
  return 0;
}
