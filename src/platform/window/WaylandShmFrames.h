#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/window/FramePresenter.h"
#include "platform/window/WaylandHandle.h"
#include "render/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace dunvel {

// Frames shown in a Wayland window whose surface somebody else (SDL) made and keeps, through
// buffers in shared memory (wl_shm): each frame copies only the parts that changed into a
// buffer the compositor has let go of, attaches it, damages those parts and commits, with
// nothing to wait for. The compositor may read a buffer until it releases it, so there are a
// few, each knowing what it lacks of the latest frame.
// The frames go to a surface of our own placed over the window's (a subsurface, committed on
// its own, that takes no input), not to the window's: SDL keeps a frame callback pending on its
// surface, and every commit there would have the compositor answer it after its next repaint,
// waking the thread that reads the connection once more a frame. The window's surface gets one
// black buffer, once, so that it is mapped and takes the input. Without a subcompositor the
// frames go to the window's surface itself.
// The events about these objects go to a queue of their own, so the window's owner, which reads
// and dispatches the connection's default queue, never runs them. Main thread only (the thread
// that reads the connection).
class WaylandShmFrames final : public FramePresenter {
 public:
  // Frames of width × height pixels for the window's surface; null when the compositor offers
  // no wl_shm or its connection fails.
  static std::unique_ptr<WaylandShmFrames> open(wl_display* display, wl_surface* surface, int width,
                                                int height);
  ~WaylandShmFrames() override;
  WaylandShmFrames(const WaylandShmFrames&) = delete;
  WaylandShmFrames& operator=(const WaylandShmFrames&) = delete;

  // Shows image (premultiplied ARGB32 of the frames' size), of which only the parts changed
  // (in pixels) differ from the image shown last; the first frame goes whole. A frame no
  // buffer is free for is not shown, and what it changed goes with the next.
  void show(cairo_surface_t* image, const std::vector<Rect>& changed);

  // Shows the renderer's image and its damage; the compositor keeps the last frame when the
  // window is uncovered.
  void present(const FaceRenderer& renderer) override;
  void exposed(const FaceRenderer&) override {}

  struct Stats {
    // How many buffers there are.
    std::size_t buffers = 0;
    // The pixels of the buffer attached last (XRGB8888, rows of width × 4 bytes; null before
    // the first frame): what the compositor was given to show.
    const std::uint8_t* shownPixels = nullptr;
  };
  Stats stats() const;

 private:
  // A part of the frame in whole pixels.
  struct Part {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
  };
  // A buffer and the shared memory it maps, unmapped when it goes.
  struct Buffer {
    Buffer() = default;
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    WaylandHandle<wl_buffer> buffer;
    std::uint8_t* pixels = nullptr;
    std::size_t size = 0;
    // Whether the compositor may be reading it.
    bool busy = false;
    // The parts of the latest frame it does not hold yet.
    std::vector<Part> stale;
  };

  WaylandShmFrames(wl_display* display, wl_surface* surface, int width, int height);
  bool bindGlobals();
  void makeSubsurface();
  Buffer* freeBuffer();
  std::unique_ptr<Buffer> newBuffer();
  // Maps the window's surface under the frames' (the first time a frame is shown).
  void mapWindowSurface();
  void copy(const Buffer& buffer, cairo_surface_t* image, const Part& part) const;
  void markStale(const Buffer& shown, const std::vector<Part>& parts);
  std::vector<Part> partsOf(const std::vector<Rect>& rects) const;
  static void release(void* buffer, wl_buffer*);

  wl_display* display_;
  // The window's surface, and the one the frames go to (the window's without a subsurface).
  wl_surface* window_;
  wl_surface* surface_;
  int width_;
  int height_;
  int stride_;
  // Destroyed in the reverse of this order: the subsurface before its surface, the surfaces
  // before the buffers they show, and the queue last, once no object sends events to it.
  WaylandHandle<wl_event_queue> queue_;
  // The display as a proxy whose new objects go to queue_.
  WaylandHandle<wl_display> wrapper_;
  WaylandHandle<wl_registry> registry_;
  WaylandHandle<wl_shm> shm_;
  WaylandHandle<wl_compositor> compositor_;
  WaylandHandle<wl_subcompositor> subcompositor_;
  // The window surface's black buffer, under the frames.
  std::unique_ptr<Buffer> backdrop_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  // The frames' own surface over the window's, when there is a subcompositor.
  WaylandHandle<wl_surface> ownSurface_;
  WaylandHandle<wl_subsurface> subsurface_;
  // What changed since the last frame shown (frames no buffer was free for).
  std::vector<Part> unshown_;
  const Buffer* shown_ = nullptr;
  bool shownOnce_ = false;
};

}  // namespace dunvel
