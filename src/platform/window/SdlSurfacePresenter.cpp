#include "platform/window/SdlSurfacePresenter.h"

#include <SDL.h>
#include <cairo.h>

#include "render/FaceRenderer.h"

namespace dunvel {

void SdlSurfacePresenter::present(const FaceRenderer& renderer) {
  SDL_Surface* target = SDL_GetWindowSurface(window_);
  if (target == nullptr) return;  // the window is going away
  cairo_surface_t* image = renderer.image();
  // Cairo's premultiplied ARGB32 is SDL's native-endian ARGB8888; copied without blending, the
  // premultiplied colours are the face composed over the black of the bezel.
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      cairo_image_surface_get_data(image), cairo_image_surface_get_width(image),
      cairo_image_surface_get_height(image), 32, cairo_image_surface_get_stride(image),
      SDL_PIXELFORMAT_ARGB8888);
  if (source == nullptr) return;
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  SDL_BlitSurface(source, nullptr, target, nullptr);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(window_);
}

void SdlSurfacePresenter::exposed(const FaceRenderer&) {
  SDL_UpdateWindowSurface(window_);
}

}  // namespace dunvel
