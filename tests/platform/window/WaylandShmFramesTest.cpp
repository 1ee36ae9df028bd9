#include "platform/window/WaylandShmFrames.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/link/ChildProcess.h"
#include "platform/link/LinkTestSupport.h"

namespace dunvel {
namespace {

using testing::ChildProcess;
using testing::TempFolder;

// Weston's headless backend with its pixman renderer, on a socket of the test's own: the
// compositor keeps the buffer a surface shows until another is attached, as on a desktop.
class HeadlessWeston {
 public:
  HeadlessWeston() {
    const std::string config = (runtime_.path() / "weston.ini").string();
    std::ofstream(config) << "[shell]\npanel-position=none\nlocking=false\n";
    process_ = std::make_unique<ChildProcess>(
        "/usr/bin/weston",
        std::vector<std::string>{"--backend=headless-backend.so", "--use-pixman",
                                 "--socket=wl-frames", "--idle-time=0", "--config=" + config},
        std::vector<std::string>{"XDG_RUNTIME_DIR=" + runtime_.path().string(),
                                 "WAYLAND_DISPLAY=", "DISPLAY="});
    if (process_->waitForOutput("weston-desktop-shell'")) {
      display_ = wl_display_connect((runtime_.path() / "wl-frames").c_str());
    }
  }
  ~HeadlessWeston() {
    if (display_ != nullptr) wl_display_disconnect(display_);
    process_->signal(SIGTERM);
    process_->exitStatus();
  }
  HeadlessWeston(const HeadlessWeston&) = delete;
  HeadlessWeston& operator=(const HeadlessWeston&) = delete;

  wl_display* display() const { return display_; }
  const std::string& log() const { return process_->output(); }

 private:
  TempFolder runtime_;
  std::unique_ptr<ChildProcess> process_;
  wl_display* display_ = nullptr;
};

// A surface of the client's own, made on the connection's default queue.
wl_surface* newSurface(wl_display* display, wl_compositor*& compositor) {
  static const wl_registry_listener listener{
      [](void* found, wl_registry* registry, std::uint32_t name, const char* interface,
         std::uint32_t) {
        if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
          *static_cast<wl_compositor**>(found) = static_cast<wl_compositor*>(
              wl_registry_bind(registry, name, &wl_compositor_interface, 4));
        }
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &listener, &compositor);
  wl_display_roundtrip(display);
  wl_registry_destroy(registry);
  return compositor != nullptr ? wl_compositor_create_surface(compositor) : nullptr;
}

void fill(cairo_surface_t* image, const Rect& rect, double red, double green, double blue) {
  cairo_t* cr = cairo_create(image);
  cairo_set_source_rgb(cr, red, green, blue);
  cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_flush(image);
}

// How many pixels of the buffer shown differ from the image.
int differing(const WaylandShmFrames& frames, cairo_surface_t* image) {
  const std::uint8_t* shown = frames.stats().shownPixels;
  if (shown == nullptr) return -1;
  const int width = cairo_image_surface_get_width(image);
  const int height = cairo_image_surface_get_height(image);
  const int stride = cairo_image_surface_get_stride(image);
  const std::uint8_t* data = cairo_image_surface_get_data(image);
  int wrong = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      wrong += std::memcmp(shown + (y * width + x) * 4, data + y * stride + x * 4, 4) != 0;
    }
  }
  return wrong;
}

// Each frame changes another part of the image and says only that; the buffer the compositor
// gets must hold the whole frame all the same, also when it was last written frames ago.
TEST(WaylandShmFrames, EachBufferAttachedHoldsTheWholeFrameThoughOnlyWhatChangedWasCopied) {
  HeadlessWeston weston;
  ASSERT_NE(weston.display(), nullptr) << weston.log();
  wl_compositor* compositor = nullptr;
  wl_surface* surface = newSurface(weston.display(), compositor);
  ASSERT_NE(surface, nullptr);
  constexpr int kWidth = 64;
  constexpr int kHeight = 48;
  auto frames = WaylandShmFrames::open(weston.display(), surface, kWidth, kHeight);
  ASSERT_NE(frames, nullptr);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  fill(image, Rect{0, 0, kWidth, kHeight}, 0.1, 0.2, 0.3);
  frames->show(image, {});
  EXPECT_EQ(differing(*frames, image), 0) << "the first frame goes whole";

  // Parts apart from each other, overlapping, fractional (covered by whole pixels), past the
  // edges (clipped), and one frame that changes two parts at once.
  const std::vector<std::vector<Rect>> changes{
      {{2, 2, 10, 10}},   {{40, 30, 20, 10}}, {{5, 5, 30, 30}}, {{0.5, 20.25, 7, 3.5}},
      {{-8, 40, 20, 30}}, {{50, -5, 30, 12}}, {{20, 0, 4, 48}}, {{1, 1, 3, 3}, {60, 44, 4, 4}},
      {{30, 20, 8, 8}}};
  int frame = 0;
  for (const auto& changed : changes) {
    ++frame;
    SCOPED_TRACE("frame " + std::to_string(frame));
    for (const Rect& part : changed) {
      fill(image, part.intersection(Rect{0, 0, kWidth, kHeight}), frame * 0.1, 1.0 - frame * 0.1,
           frame % 2);
    }
    frames->show(image, changed);
    EXPECT_EQ(differing(*frames, image), 0);
    // Now and then the connection is read in between, as the window's thread reads it while
    // it waits; otherwise the frames find out about released buffers themselves.
    if (frame % 3 == 0) wl_display_roundtrip(weston.display());
  }
  // The compositor holds only the buffer it shows: frames take turns in two.
  EXPECT_EQ(frames->stats().buffers, 2u);
  frames.reset();
  cairo_surface_destroy(image);
  wl_surface_destroy(surface);
  wl_compositor_destroy(compositor);
  // Nothing asked of the compositor was a protocol error.
  EXPECT_GE(wl_display_roundtrip(weston.display()), 0);
}

}  // namespace
}  // namespace dunvel
