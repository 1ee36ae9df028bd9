#include "views/toolkit/ElementJson.h"

#include <cmath>
#include <string>

namespace dunvel {

namespace {

using nlohmann::json;

const char* kindName(ElementKind kind) {
  switch (kind) {
    case ElementKind::vstack:
      return "vstack";
    case ElementKind::hstack:
      return "hstack";
    case ElementKind::scrollView:
      return "scrollView";
    case ElementKind::spacer:
      return "spacer";
    case ElementKind::text:
      return "text";
    case ElementKind::image:
      return "image";
    case ElementKind::label:
      return "label";
    case ElementKind::button:
      return "button";
    case ElementKind::circle:
      return "circle";
    case ElementKind::roundedRectangle:
      return "roundedRectangle";
    case ElementKind::view:
      return "view";
    case ElementKind::group:
      break;
  }
  return "group";
}

const char* modifierName(ModifierKind kind) {
  switch (kind) {
    case ModifierKind::font:
      return "font";
    case ModifierKind::foregroundColor:
      return "foregroundColor";
    case ModifierKind::tint:
      return "tint";
    case ModifierKind::lineLimit:
      return "lineLimit";
    case ModifierKind::multilineTextAlignment:
      return "multilineTextAlignment";
    case ModifierKind::padding:
      return "padding";
    case ModifierKind::frame:
      return "frame";
    case ModifierKind::background:
      return "background";
    case ModifierKind::clipShape:
      return "clipShape";
    case ModifierKind::environmentObject:
      return "environmentObject";
    case ModifierKind::environment:
      return "environment";
    case ModifierKind::onReceive:
      return "onReceive";
    case ModifierKind::onChange:
      break;
  }
  return "onChange";
}

const char* name(HorizontalAlignment a) {
  switch (a) {
    case HorizontalAlignment::leading:
      return "leading";
    case HorizontalAlignment::trailing:
      return "trailing";
    case HorizontalAlignment::center:
      break;
  }
  return "center";
}

const char* name(VerticalAlignment a) {
  switch (a) {
    case VerticalAlignment::top:
      return "top";
    case VerticalAlignment::bottom:
      return "bottom";
    case VerticalAlignment::center:
      break;
  }
  return "center";
}

const char* name(TextAlignment a) {
  switch (a) {
    case TextAlignment::leading:
      return "leading";
    case TextAlignment::trailing:
      return "trailing";
    case TextAlignment::center:
      break;
  }
  return "center";
}

const char* name(TextStyle s) {
  switch (s) {
    case TextStyle::title2:
      return "title2";
    case TextStyle::title3:
      return "title3";
    case TextStyle::headline:
      return "headline";
    case TextStyle::body:
      return "body";
    case TextStyle::footnote:
      return "footnote";
    case TextStyle::caption2:
      break;
  }
  return "caption2";
}

const char* name(RoundedCornerStyle s) {
  return s == RoundedCornerStyle::continuous ? "continuous" : "circular";
}

const char* name(LayoutDirection d) {
  return d == LayoutDirection::rightToLeft ? "rightToLeft" : "leftToRight";
}

// JSON has no infinity: an unbounded length is written as the string "infinity".
json length(double value) {
  if (std::isinf(value)) return value > 0 ? "infinity" : "-infinity";
  if (std::isnan(value)) return "nan";
  return value;
}

json optionalLength(const std::optional<double>& value) {
  return value ? length(*value) : json(nullptr);
}

json edgesJson(Edges edges) {
  switch (edges) {
    case Edges::all:
      return "all";
    case Edges::horizontal:
      return "horizontal";
    case Edges::vertical:
      return "vertical";
    default:
      break;
  }
  json list = json::array();
  if (contains(edges, Edges::top)) list.push_back("top");
  if (contains(edges, Edges::leading)) list.push_back("leading");
  if (contains(edges, Edges::bottom)) list.push_back("bottom");
  if (contains(edges, Edges::trailing)) list.push_back("trailing");
  return list;
}

json colorJson(const Color& color) {
  json out;
  if (color.kind() == Color::Kind::sRGB) {
    out["sRGB"] = {color.redComponent(), color.greenComponent(), color.blueComponent()};
  } else {
    out["name"] = std::string(color.name());
  }
  if (color.alpha() != 1.0) out["opacity"] = color.alpha();
  return out;
}

json fontJson(const Font& font) {
  json out;
  out["style"] = name(font.style());
  if (font.weight() == FontWeight::bold) out["weight"] = "bold";
  if (font.isMonospacedDigit()) out["monospacedDigit"] = true;
  return out;
}

json shapeJson(const ShapeGeometry& shape) {
  json out;
  if (shape.kind == ShapeGeometry::Kind::circle) {
    out["shape"] = "circle";
  } else {
    out["shape"] = "roundedRectangle";
    out["cornerRadius"] = length(shape.cornerRadius);
    out["style"] = name(shape.style);
  }
  return out;
}

void textJson(const TextContent& text, json& out) {
  out["text"] = text.shown();
  out["localizable"] = text.isLocalizable();
  if (text.isLocalizable()) {
    out["key"] = text.key();
    if (text.argument()) out["argument"] = *text.argument();
  }
}

json modifierJson(const Modifier& m) {
  json out;
  out["kind"] = modifierName(m.kind);
  switch (m.kind) {
    case ModifierKind::font:
      if (m.font) out["font"] = fontJson(*m.font);
      break;
    case ModifierKind::foregroundColor:
    case ModifierKind::tint:
    case ModifierKind::background:
      if (m.color) out["color"] = colorJson(*m.color);
      break;
    case ModifierKind::lineLimit:
      if (m.lineLimit) out["lines"] = *m.lineLimit;
      break;
    case ModifierKind::multilineTextAlignment:
      if (m.textAlignment) out["alignment"] = name(*m.textAlignment);
      break;
    case ModifierKind::padding:
      out["edges"] = edgesJson(m.edges);
      out["length"] = optionalLength(m.length);
      break;
    case ModifierKind::frame:
      if (m.fixedFrame) {
        out["width"] = optionalLength(m.fixedFrame->width);
        out["height"] = optionalLength(m.fixedFrame->height);
      }
      if (m.flexibleFrame) {
        const FlexibleFrame& f = *m.flexibleFrame;
        auto put = [&out](const char* key, const std::optional<double>& v) {
          if (v) out[key] = length(*v);
        };
        put("minWidth", f.minWidth);
        put("idealWidth", f.idealWidth);
        put("maxWidth", f.maxWidth);
        put("minHeight", f.minHeight);
        put("idealHeight", f.idealHeight);
        put("maxHeight", f.maxHeight);
      }
      break;
    case ModifierKind::clipShape:
      if (m.shape) out.update(shapeJson(*m.shape));
      break;
    case ModifierKind::environmentObject:
      out["type"] = m.objectType;
      break;
    case ModifierKind::environment:
      if (m.layoutDirection) out["layoutDirection"] = name(*m.layoutDirection);
      break;
    case ModifierKind::onReceive:
    case ModifierKind::onChange:
      break;
  }
  return out;
}

}  // namespace

json elementToJson(const Element& element) {
  return elementToJson(element, {});
}

json elementToJson(const Element& element, const ElementAnnotator& annotate) {
  json out;
  out["kind"] = kindName(element.kind);
  switch (element.kind) {
    case ElementKind::vstack:
      out["alignment"] = name(element.horizontalAlignment);
      out["spacing"] = optionalLength(element.spacing);
      break;
    case ElementKind::hstack:
      out["alignment"] = name(element.verticalAlignment);
      out["spacing"] = optionalLength(element.spacing);
      break;
    case ElementKind::scrollView:
      out["axis"] = element.axis == Axis::vertical ? "vertical" : "horizontal";
      out["showsIndicators"] = element.showsIndicators == ShowsIndicators::yes;
      break;
    case ElementKind::spacer:
      out["minLength"] = optionalLength(element.minLength);
      break;
    case ElementKind::text:
      if (element.text) textJson(*element.text, out);
      break;
    case ElementKind::image:
      out["systemName"] = element.systemName;
      break;
    case ElementKind::label:
      if (element.text) textJson(*element.text, out);
      out["systemName"] = element.systemName;
      break;
    case ElementKind::roundedRectangle:
      out["cornerRadius"] = length(element.shape.cornerRadius);
      out["style"] = name(element.shape.style);
      break;
    case ElementKind::view:
      out["type"] = element.viewType;
      break;
    case ElementKind::button:
    case ElementKind::circle:
    case ElementKind::group:
      break;
  }
  json modifiers = json::array();
  for (const Modifier& m : element.modifiers) modifiers.push_back(modifierJson(m));
  out["modifiers"] = std::move(modifiers);
  json children = json::array();
  for (const Element& child : element.children) {
    children.push_back(elementToJson(child, annotate));
  }
  out["children"] = std::move(children);
  if (annotate) annotate(element, out);
  return out;
}

}  // namespace dunvel
