#pragma once

namespace dunvel {

class FaceRenderer;

// One way of putting the renderer's frames on the window: one per window system, chosen when
// the window opens. Each owns what it made on the display's connection and frees it when it
// goes, so it must go before that connection closes. Main thread only.
class FramePresenter {
 public:
  virtual ~FramePresenter() = default;
  // Shows the renderer's image, of which only its last paint's damage changed since the last
  // frame presented.
  virtual void present(const FaceRenderer& renderer) = 0;
  // The window was uncovered: shows the last frame presented again (nothing is painted for it).
  virtual void exposed(const FaceRenderer& renderer) = 0;
};

}  // namespace dunvel
