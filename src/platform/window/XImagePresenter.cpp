#include "platform/window/XImagePresenter.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>

#include "render/FaceRenderer.h"

namespace dunvel {

namespace {

// Whether frames can be put on the window as they are: a 24-bit visual in Cairo's channel
// order.
bool takesCairoPixels(Display* display, Window window) {
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0) return false;
  const Visual* visual = attributes.visual;
  // Cairo's ARGB32 pixel is a native-endian 32-bit word, red in bits 16-23: what a depth-24
  // visual with these masks takes as a 32-bit ZPixmap pixel. SDL picks a direct-colour visual
  // where there is one, and puts the same pixels into it.
  return visual != nullptr && attributes.depth == 24 &&
         (visual->c_class == TrueColor || visual->c_class == DirectColor) &&
         visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
}

Rect wholeFrame(const FaceRenderer& renderer) {
  return Rect{0.0, 0.0, static_cast<double>(renderer.pixelWidth()),
              static_cast<double>(renderer.pixelHeight())};
}

}  // namespace

std::unique_ptr<XImagePresenter> XImagePresenter::open(Display* display, Window window) {
  if (!takesCairoPixels(display, window)) return nullptr;
  XGCValues values{};
  values.graphics_exposures = False;
  GC gc = XCreateGC(display, window, GCGraphicsExposures, &values);
  return std::unique_ptr<XImagePresenter>(new XImagePresenter(display, window, gc));
}

XImagePresenter::XImagePresenter(Display* display, Window window, GC gc)
    : display_(display), window_(window), gc_(gc) {}

XImagePresenter::~XImagePresenter() {
  // Calls on a connection that was lost return at once (its exit handler returns): freed
  // either way.
  XFreeGC(display_, gc_);
}

void XImagePresenter::present(const FaceRenderer& renderer) {
  // Every frame the renderer paints is presented, so what its last paint painted is all the
  // window lacks; the first frame goes whole.
  put(renderer, shownOnce_ ? renderer.damage() : std::vector<Rect>{wholeFrame(renderer)});
  shownOnce_ = true;
}

void XImagePresenter::exposed(const FaceRenderer& renderer) {
  if (shownOnce_) put(renderer, {wholeFrame(renderer)});
}

void XImagePresenter::put(const FaceRenderer& renderer, const std::vector<Rect>& parts) {
  cairo_surface_t* frame = renderer.image();
  cairo_surface_flush(frame);
  XImage* image = XCreateImage(display_, nullptr, 24, ZPixmap, 0,
                               reinterpret_cast<char*>(cairo_image_surface_get_data(frame)),
                               static_cast<unsigned>(cairo_image_surface_get_width(frame)),
                               static_cast<unsigned>(cairo_image_surface_get_height(frame)), 32,
                               cairo_image_surface_get_stride(frame));
  if (image == nullptr) return;
  // The pixels are in this machine's byte order; Xlib converts them if the server's differs.
  image->byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
  // The renderer's parts are whole pixels.
  for (const Rect& part : parts) {
    const int x = static_cast<int>(part.x);
    const int y = static_cast<int>(part.y);
    XPutImage(display_, window_, gc_, image, x, y, x, y, static_cast<unsigned>(part.width),
              static_cast<unsigned>(part.height));
  }
  image->data = nullptr;  // the renderer owns the pixels
  XDestroyImage(image);
  // Sent now rather than when the thread next sleeps: a frame is shown at once.
  XFlush(display_);
}

}  // namespace dunvel
