#include "render/LayoutJson.h"

#include "views/toolkit/ElementJson.h"

namespace dunvel {

nlohmann::json layoutToJson(const Element& tree, const FaceLayout& layout) {
  return elementToJson(tree, [&layout](const Element& element, nlohmann::json& out) {
    if (std::optional<Rect> frame = layout.frameOf(element)) {
      out["frame"] = {
          {"x", frame->x}, {"y", frame->y}, {"width", frame->width}, {"height", frame->height}};
    }
    if (element.kind == ElementKind::text || element.kind == ElementKind::label) {
      if (std::optional<int> lines = layout.linesOf(element)) out["lines"] = *lines;
      out["truncated"] = layout.isTruncated(element);
    }
  });
}

}  // namespace dunvel
