#include "platform/window/WaylandShmFrames.h"

#include <cairo.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "files/FileDescriptor.h"
#include "render/FaceRenderer.h"

namespace dunvel {

namespace {

// Enough while the compositor releases a buffer by the time the next frame comes (it holds at
// most the one it shows): a third is made only when it does not.
constexpr std::size_t kBuffersAtFirst = 2;
constexpr std::size_t kMostBuffers = 4;
// A buffer missing more parts than this is brought up to date whole: copying the frame costs
// less than keeping a long list.
constexpr std::size_t kMostStaleParts = 32;

}  // namespace

std::unique_ptr<WaylandShmFrames> WaylandShmFrames::open(wl_display* display, wl_surface* surface,
                                                         int width, int height) {
  if (display == nullptr || surface == nullptr || width <= 0 || height <= 0 ||
      width > INT_MAX / 4 / height) {
    return nullptr;
  }
  std::unique_ptr<WaylandShmFrames> frames(new WaylandShmFrames(display, surface, width, height));
  if (!frames->bindGlobals()) return nullptr;
  frames->makeSubsurface();
  return frames;
}

WaylandShmFrames::WaylandShmFrames(wl_display* display, wl_surface* surface, int width, int height)
    : display_(display),
      window_(surface),
      surface_(surface),
      width_(width),
      height_(height),
      stride_(width * 4) {}

WaylandShmFrames::~WaylandShmFrames() = default;

WaylandShmFrames::Buffer::~Buffer() {
  if (pixels != nullptr) munmap(pixels, size);
}

WaylandShmFrames::Stats WaylandShmFrames::stats() const {
  return Stats{buffers_.size(), shown_ != nullptr ? shown_->pixels : nullptr};
}

void WaylandShmFrames::present(const FaceRenderer& renderer) {
  show(renderer.image(), renderer.damage());
}

bool WaylandShmFrames::bindGlobals() {
  queue_.reset(wl_display_create_queue(display_));
  if (queue_ == nullptr) return false;
  wrapper_.reset(static_cast<wl_display*>(wl_proxy_create_wrapper(display_)));
  if (wrapper_ == nullptr) return false;
  wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(wrapper_.get()), queue_.get());
  registry_.reset(wl_display_get_registry(wrapper_.get()));
  if (registry_ == nullptr) return false;
  static const wl_registry_listener listener{
      [](void* frames, wl_registry* registry, std::uint32_t name, const char* interface,
         std::uint32_t version) {
        auto* self = static_cast<WaylandShmFrames*>(frames);
        auto bind = [&](const wl_interface& wanted, std::uint32_t most) {
          return std::strcmp(interface, wanted.name) == 0
                     ? wl_registry_bind(registry, name, &wanted, std::min(version, most))
                     : nullptr;
        };
        // Version 1 of wl_shm has all that is used here, and XRGB8888 is a format every
        // compositor takes; version 4 of the compositor damages surfaces in buffer pixels.
        if (self->shm_ == nullptr)
          self->shm_.reset(static_cast<wl_shm*>(bind(wl_shm_interface, 1)));
        if (self->compositor_ == nullptr) {
          self->compositor_.reset(static_cast<wl_compositor*>(bind(wl_compositor_interface, 4)));
        }
        if (self->subcompositor_ == nullptr) {
          self->subcompositor_.reset(
              static_cast<wl_subcompositor*>(bind(wl_subcompositor_interface, 1)));
        }
      },
      [](void*, wl_registry*, std::uint32_t) {}};
  wl_registry_add_listener(registry_.get(), &listener, this);
  // Globals are announced at once on binding the registry; one round trip has them all. It is
  // the only one: frames wait for nothing.
  return wl_display_roundtrip_queue(display_, queue_.get()) >= 0 && shm_ != nullptr;
}

void WaylandShmFrames::makeSubsurface() {
  if (compositor_ == nullptr || subcompositor_ == nullptr) return;
  WaylandHandle<wl_surface> surface(wl_compositor_create_surface(compositor_.get()));
  const WaylandHandle<wl_region> nowhere(wl_compositor_create_region(compositor_.get()));
  if (surface == nullptr || nowhere == nullptr) return;
  // The pointer goes through it to the window's surface, where SDL takes it.
  wl_surface_set_input_region(surface.get(), nowhere.get());
  WaylandHandle<wl_subsurface> subsurface(
      wl_subcompositor_get_subsurface(subcompositor_.get(), surface.get(), window_));
  if (subsurface == nullptr) return;
  // Its commits show at once, not with the window surface's next one.
  wl_subsurface_set_desync(subsurface.get());
  surface_ = surface.get();
  ownSurface_ = std::move(surface);
  subsurface_ = std::move(subsurface);
}

void WaylandShmFrames::mapWindowSurface() {
  if (subsurface_ == nullptr) return;
  backdrop_ = newBuffer();
  if (backdrop_ == nullptr) return;
  // New memory is zeros: black, the bezel's colour. The subsurface's place takes effect with
  // this commit too.
  wl_surface_attach(window_, backdrop_->buffer.get(), 0, 0);
  wl_surface_damage(window_, 0, 0, width_, height_);
  wl_surface_commit(window_);
}

void WaylandShmFrames::release(void* buffer, wl_buffer*) {
  static_cast<Buffer*>(buffer)->busy = false;
}

std::unique_ptr<WaylandShmFrames::Buffer> WaylandShmFrames::newBuffer() {
  const auto size = static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_);
  // The compositor has its own handle on the memory once the pool is made.
  const FileDescriptor memory(memfd_create("dunvel-frame", MFD_CLOEXEC));
  if (!memory.valid() || ftruncate(memory.get(), static_cast<off_t>(size)) != 0) return nullptr;
  void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, memory.get(), 0);
  if (pixels == MAP_FAILED) return nullptr;
  auto buffer = std::make_unique<Buffer>();
  buffer->pixels = static_cast<std::uint8_t*>(pixels);
  buffer->size = size;
  const WaylandHandle<wl_shm_pool> pool(
      wl_shm_create_pool(shm_.get(), memory.get(), static_cast<std::int32_t>(size)));
  buffer->buffer.reset(
      wl_shm_pool_create_buffer(pool.get(), 0, width_, height_, stride_, WL_SHM_FORMAT_XRGB8888));
  static const wl_buffer_listener listener{release};
  wl_buffer_add_listener(buffer->buffer.get(), &listener, buffer.get());
  buffer->stale.push_back(Part{0, 0, width_, height_});
  return buffer;
}

WaylandShmFrames::Buffer* WaylandShmFrames::freeBuffer() {
  auto leastStale = [this]() -> Buffer* {
    Buffer* best = nullptr;
    for (const auto& buffer : buffers_) {
      if (!buffer->busy && (best == nullptr || buffer->stale.size() < best->stale.size())) {
        best = buffer.get();
      }
    }
    return best;
  };
  // Releases already read from the connection (while the thread was awake for its events).
  if (wl_display_dispatch_queue_pending(display_, queue_.get()) < 0) return nullptr;
  if (Buffer* free = leastStale()) return free;
  if (buffers_.size() < kBuffersAtFirst) {
    if (auto made = newBuffer()) return buffers_.emplace_back(std::move(made)).get();
    return nullptr;
  }
  // The compositor holds every buffer, or has let go without saying so yet: a round trip has
  // its word on every one it is done with.
  if (wl_display_roundtrip_queue(display_, queue_.get()) < 0) return nullptr;
  if (Buffer* free = leastStale()) return free;
  if (buffers_.size() < kMostBuffers) {
    if (auto made = newBuffer()) return buffers_.emplace_back(std::move(made)).get();
  }
  return nullptr;
}

std::vector<WaylandShmFrames::Part> WaylandShmFrames::partsOf(
    const std::vector<Rect>& rects) const {
  std::vector<Part> parts;
  for (const Rect& rect : rects) {
    if (!std::isfinite(rect.x) || !std::isfinite(rect.y) || !std::isfinite(rect.width) ||
        !std::isfinite(rect.height)) {
      continue;
    }
    // Whole pixels covering the rectangle, inside the frame (checked before converting).
    const double left = std::clamp(std::floor(rect.x), 0.0, static_cast<double>(width_));
    const double top = std::clamp(std::floor(rect.y), 0.0, static_cast<double>(height_));
    const double right = std::clamp(std::ceil(rect.maxX()), 0.0, static_cast<double>(width_));
    const double bottom = std::clamp(std::ceil(rect.maxY()), 0.0, static_cast<double>(height_));
    if (right <= left || bottom <= top) continue;
    parts.push_back(Part{static_cast<int>(left), static_cast<int>(top),
                         static_cast<int>(right - left), static_cast<int>(bottom - top)});
  }
  return parts;
}

void WaylandShmFrames::copy(const Buffer& buffer, cairo_surface_t* image, const Part& part) const {
  const std::uint8_t* from = cairo_image_surface_get_data(image);
  const auto fromStride = static_cast<std::size_t>(cairo_image_surface_get_stride(image));
  const auto stride = static_cast<std::size_t>(stride_);
  const auto x = static_cast<std::size_t>(part.x) * 4;
  const auto bytes = static_cast<std::size_t>(part.width) * 4;
  for (int row = part.y; row < part.y + part.height; ++row) {
    const auto y = static_cast<std::size_t>(row);
    std::memcpy(buffer.pixels + y * stride + x, from + y * fromStride + x, bytes);
  }
}

void WaylandShmFrames::markStale(const Buffer& shown, const std::vector<Part>& parts) {
  for (const auto& buffer : buffers_) {
    if (buffer.get() == &shown) continue;
    buffer->stale.insert(buffer->stale.end(), parts.begin(), parts.end());
    if (buffer->stale.size() > kMostStaleParts) buffer->stale = {Part{0, 0, width_, height_}};
  }
}

void WaylandShmFrames::show(cairo_surface_t* image, const std::vector<Rect>& changed) {
  if (cairo_image_surface_get_format(image) != CAIRO_FORMAT_ARGB32 ||
      cairo_image_surface_get_width(image) != width_ ||
      cairo_image_surface_get_height(image) != height_) {
    return;
  }
  std::vector<Part> parts = partsOf(changed);
  if (!shownOnce_) parts = {Part{0, 0, width_, height_}};
  unshown_.insert(unshown_.end(), parts.begin(), parts.end());
  if (unshown_.empty()) return;
  if (unshown_.size() > kMostStaleParts) unshown_ = {Part{0, 0, width_, height_}};
  Buffer* buffer = freeBuffer();
  if (buffer == nullptr) return;  // the compositor is gone, or holds every buffer
  cairo_surface_flush(image);
  // Cairo's premultiplied ARGB32 is, read as XRGB8888, the face composed over the black of
  // the bezel.
  for (const Part& part : buffer->stale) copy(*buffer, image, part);
  for (const Part& part : unshown_) copy(*buffer, image, part);
  buffer->stale.clear();
  markStale(*buffer, unshown_);

  wl_surface_attach(surface_, buffer->buffer.get(), 0, 0);
  for (const Part& part : unshown_) {
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(surface_)) >=
        WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
      wl_surface_damage_buffer(surface_, part.x, part.y, part.width, part.height);
    } else {
      // Surface coordinates, which are the buffer's at its scale of 1.
      wl_surface_damage(surface_, part.x, part.y, part.width, part.height);
    }
  }
  wl_surface_commit(surface_);
  buffer->busy = true;
  shown_ = buffer;
  if (!shownOnce_) mapWindowSurface();
  unshown_.clear();
  shownOnce_ = true;
  // Sent now rather than when the thread next sleeps: a frame is shown at once.
  wl_display_flush(display_);
}

}  // namespace dunvel
