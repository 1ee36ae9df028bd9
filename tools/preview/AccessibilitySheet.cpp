#include "preview/AccessibilitySheet.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "render/FaceRenderer.h"
#include "render/Owned.h"
#include "render/TextEngine.h"

namespace dunvel {
namespace {

// Points of the legend column, of one legend row and of the margins.
constexpr double kLegendWidth = 230;
constexpr double kRowHeight = 20;
constexpr double kMargin = 8;
constexpr double kBadge = 12;
// The legend's column of roles, at its left edge.
constexpr double kRoleWidth = 52;
// The legend's columns at most, each as tall as the face: a board of a hundred thousand teams
// would otherwise ask for an image taller than Cairo can make (and gigabytes on the way).
constexpr std::size_t kMaxLegendColumns = 4;

// Colours far apart in hue, light enough to stand out on the black face.
constexpr double kPalette[][3] = {
    {0.95, 0.33, 0.33}, {0.30, 0.75, 0.95}, {0.98, 0.80, 0.20}, {0.45, 0.90, 0.45},
    {0.85, 0.45, 0.95}, {1.00, 0.60, 0.25}, {0.35, 0.95, 0.85}, {0.95, 0.50, 0.75},
    {0.65, 0.70, 1.00}, {0.80, 0.95, 0.35},
};

const double* colourOf(std::size_t index) {
  return kPalette[index % (sizeof kPalette / sizeof kPalette[0])];
}

const ShapedText& shape(TextEngine& engine, std::string_view text, double width,
                        TextStyle style = TextStyle::footnote) {
  TextRequest request;
  request.text = text;
  request.style = style;
  request.textSize = TextSize::large;
  request.maxWidth = width;
  request.lineLimit = 1;
  request.direction = LayoutDirection::rightToLeft;
  return engine.shape(request);
}

// Draws text with its right edge at x, its top at y.
void drawFromRight(cairo_t* cr, const ShapedText& text, double x, double y) {
  cairo_move_to(cr, x - text.size.width - text.origin.x, y - text.origin.y);
  showShapedText(cr, text);
}

// Draws an element's number on its colour, right-aligned at right; returns the badge's width.
double badge(cairo_t* cr, TextEngine& engine, std::size_t number, const double* colour,
             double right, double top) {
  const std::string digits = std::to_string(number);
  const ShapedText& text = shape(engine, digits, 60, TextStyle::caption2);
  const double width = std::max(kBadge, text.size.width + 4);
  cairo_set_source_rgb(cr, colour[0], colour[1], colour[2]);
  cairo_rectangle(cr, right - width, top, width, kBadge);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  drawFromRight(cr, text, right - (width - text.size.width) / 2,
                top + (kBadge - text.size.height) / 2);
  return width;
}

}  // namespace

std::string writeAccessibilitySheet(FaceRenderer& renderer,
                                    const std::vector<AccessibilityElement>& elements,
                                    std::size_t leftOut, const std::string& path) {
  const double scale = renderer.scale();
  const Size face = renderer.face().size;
  // The legend fills columns of the face's height, right to left from the face; what does not
  // fit is one last row, "and N more".
  const auto rowsPerColumn =
      static_cast<std::size_t>(std::max(1.0, std::floor((face.height - 2 * kMargin) / kRowHeight)));
  const std::size_t capacity = rowsPerColumn * kMaxLegendColumns;
  const std::size_t listed = elements.size() <= capacity ? elements.size() : capacity - 1;
  const std::size_t rows = listed + (listed < elements.size() ? 1 : 0);
  const std::size_t columns = std::max<std::size_t>(1, (rows + rowsPerColumn - 1) / rowsPerColumn);
  const double legendWidth = kLegendWidth * static_cast<double>(columns);
  const int pixelWidth = static_cast<int>(std::ceil((legendWidth + face.width) * scale));
  const int pixelHeight = static_cast<int>(std::ceil(face.height * scale));
  Owned<cairo_surface_t> sheet(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixelWidth, pixelHeight));
  Owned<cairo_t> cr(cairo_create(sheet.get()));
  cairo_set_source_rgb(cr.get(), 0.11, 0.11, 0.12);
  cairo_paint(cr.get());
  // The face on the right, where a right-to-left reader starts.
  cairo_set_source_surface(cr.get(), renderer.image(), legendWidth * scale, 0);
  cairo_paint(cr.get());
  cairo_scale(cr.get(), scale, scale);

  TextEngine& engine = renderer.textEngine();
  const Rect faceArea{0, 0, face.width, face.height};
  for (std::size_t i = 0; i < elements.size(); ++i) {
    const AccessibilityElement& element = elements[i];
    const double* colour = colourOf(i);
    // The outline on the face, and the number on its top edge at its leading (right) corner,
    // where it hides least of what the element shows: only for what reaches the face.
    const Rect& f = element.frame;
    if (f.outset(kBadge).overlaps(faceArea)) {
      cairo_save(cr.get());
      cairo_rectangle(cr.get(), legendWidth, 0, face.width, face.height);
      cairo_clip(cr.get());
      cairo_set_source_rgb(cr.get(), colour[0], colour[1], colour[2]);
      cairo_set_line_width(cr.get(), 1.0);
      cairo_rectangle(cr.get(), legendWidth + f.x + 0.5, f.y + 0.5, std::max(0.0, f.width - 1),
                      std::max(0.0, f.height - 1));
      cairo_stroke(cr.get());
      badge(cr.get(), engine, i + 1, colour, legendWidth + f.maxX(), f.y - kBadge / 2);
      cairo_restore(cr.get());
    }
    if (i > listed) continue;

    // The legend row, right to left: the number on its colour, the label, and at the left edge
    // the role. Each is shaped on its own, so a Latin role never reorders an Arabic label.
    const std::size_t column = i / rowsPerColumn;
    const double top = kMargin + kRowHeight * static_cast<double>(i % rowsPerColumn);
    const double right = legendWidth - kLegendWidth * static_cast<double>(column) - kMargin;
    const double left = right + kMargin - kLegendWidth + kMargin;
    if (i == listed) {
      const std::string more =
          "and " + std::to_string(elements.size() - listed + leftOut) + " more";
      const ShapedText& text = shape(engine, more, right - left);
      cairo_set_source_rgb(cr.get(), 0.6, 0.6, 0.64);
      drawFromRight(cr.get(), text, right, top + (kRowHeight - text.size.height) / 2);
      continue;
    }
    const double badgeWidth =
        badge(cr.get(), engine, i + 1, colour, right, top + (kRowHeight - kBadge) / 2);
    const std::string label = element.label + (element.showing ? "" : " \xE2\x80\x94 out of sight");
    const double labelRight = right - badgeWidth - 6;
    const ShapedText& text = shape(engine, label, labelRight - left - kRoleWidth);
    cairo_set_source_rgb(cr.get(), 0.92, 0.92, 0.94);
    drawFromRight(cr.get(), text, labelRight, top + (kRowHeight - text.size.height) / 2);
    const ShapedText& role = shape(engine, roleName(element.role), kRoleWidth, TextStyle::caption2);
    cairo_set_source_rgb(cr.get(), 0.6, 0.6, 0.64);
    cairo_move_to(cr.get(), left - role.origin.x,
                  top + (kRowHeight - role.size.height) / 2 - role.origin.y);
    showShapedText(cr.get(), role);
  }
  return FaceRenderer::writePng(sheet.get(), path);
}

}  // namespace dunvel
