#pragma once

#include <memory>
#include <vector>

#include "platform/window/FramePresenter.h"
#include "render/Geometry.h"

struct _XDisplay;
struct _XGC;

namespace dunvel {

// Frames put on an X11 window directly (XPutImage), only the parts the renderer painted, with
// nothing for the X server to answer. SDL's own way sends the whole window and then waits for
// the server (XSync), and its graphics context asks for an exposure event after every image:
// two wake-ups of the main thread a frame. The graphics context made here asks for none; it is
// freed when this goes, which must be before the connection closes. Main thread only.
class XImagePresenter final : public FramePresenter {
 public:
  // Null when the window's visual does not take Cairo's pixels as they are.
  static std::unique_ptr<XImagePresenter> open(_XDisplay* display, unsigned long window);
  ~XImagePresenter() override;
  XImagePresenter(const XImagePresenter&) = delete;
  XImagePresenter& operator=(const XImagePresenter&) = delete;

  void present(const FaceRenderer& renderer) override;
  void exposed(const FaceRenderer& renderer) override;

 private:
  XImagePresenter(_XDisplay* display, unsigned long window, _XGC* gc);
  // Puts the given parts (in pixels) of the renderer's image on the window.
  void put(const FaceRenderer& renderer, const std::vector<Rect>& parts);

  _XDisplay* display_;
  unsigned long window_;
  _XGC* gc_;
  // Whether a first frame was shown: the later ones send only what their paint changed.
  bool shownOnce_ = false;
};

}  // namespace dunvel
