// The floor for the companion's memory with a window: the least a program showing the same face
// can hold. A bare SDL window of the face's size (45mm at 2 pixels per point), one frame painted
// with Pango and Cairo (the idle screen's texts, in the system's fonts) and copied into the
// window's framebuffer, then nothing but waiting for the window's events until SIGTERM or the
// window is closed. Prints "shown" once the frame is on the screen.
//
//   dunvel-bench-bare-window
#include <SDL.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <csignal>
#include <iostream>

#include "render/Owned.h"

namespace {

constexpr int kWidth = 396;
constexpr int kHeight = 484;

void paintFrame(cairo_surface_t* image) {
  {
    const dunvel::Owned<cairo_t> cr(cairo_create(image));
    cairo_set_source_rgb(cr.get(), 0, 0, 0);
    cairo_paint(cr.get());
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    const dunvel::Owned<PangoLayout> layout(pango_cairo_create_layout(cr.get()));
    pango_layout_set_width(layout.get(), (kWidth - 40) * PANGO_SCALE);
    pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
    pango_layout_set_markup(layout.get(),
                            "<span size='x-large' weight='bold'>Dunvel</span>\n"
                            "افتح التطبيق على الآيفون",
                            -1);
    cairo_move_to(cr.get(), 20, 180);
    pango_cairo_show_layout(cr.get(), layout.get());
  }
  cairo_surface_flush(image);
}

}  // namespace

int main() {
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    std::cerr << "dunvel-bench-bare-window: " << SDL_GetError() << '\n';
    return 1;
  }
  SDL_Window* window = SDL_CreateWindow("bare", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                        kWidth, kHeight, SDL_WINDOW_SHOWN);
  if (window == nullptr) {
    std::cerr << "dunvel-bench-bare-window: " << SDL_GetError() << '\n';
    return 1;
  }
  const dunvel::Owned<cairo_surface_t> image(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight));
  paintFrame(image.get());
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
      cairo_image_surface_get_data(image.get()), kWidth, kHeight, 32,
      cairo_image_surface_get_stride(image.get()), SDL_PIXELFORMAT_ARGB8888);
  SDL_BlitSurface(source, nullptr, SDL_GetWindowSurface(window), nullptr);
  SDL_UpdateWindowSurface(window);
  std::cout << "shown" << std::endl;

  SDL_Event event;
  while (SDL_WaitEvent(&event) != 0 && event.type != SDL_QUIT) {
    if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED) {
      SDL_UpdateWindowSurface(window);
    }
  }
  SDL_FreeSurface(source);
  SDL_DestroyWindow(window);
  SDL_Quit();
  return 0;
}
