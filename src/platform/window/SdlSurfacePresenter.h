#pragma once

#include "platform/window/FramePresenter.h"

struct SDL_Window;

namespace dunvel {

// Frames shown by SDL itself, copied into the window's surface: on X11 when they cannot be put
// on the window directly (its own framebuffer, shared memory with the X server), on Wayland
// when the compositor takes no frames in shared memory (SDL's renderer, through EGL). The
// window is SDL's and outlives this. Main thread only.
class SdlSurfacePresenter final : public FramePresenter {
 public:
  explicit SdlSurfacePresenter(SDL_Window* window) : window_(window) {}

  void present(const FaceRenderer& renderer) override;
  void exposed(const FaceRenderer& renderer) override;

 private:
  SDL_Window* window_;
};

}  // namespace dunvel
