#include "preview/SheetLabel.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include "render/TextEngine.h"

namespace dunvel {

void drawSheetLabel(cairo_t* cr, TextEngine& engine, std::string_view label, double x, double y,
                    double width) {
  TextRequest request;
  request.text = label;
  request.style = TextStyle::footnote;
  request.textSize = TextSize::large;
  request.monospacedDigit = true;
  request.maxWidth = width;
  request.lineLimit = 1;
  const ShapedText& shaped = engine.shape(request);
  cairo_set_source_rgb(cr, 0.85, 0.85, 0.87);
  cairo_move_to(cr, x - shaped.origin.x, y - shaped.origin.y);
  showShapedText(cr, shaped);
}

}  // namespace dunvel
