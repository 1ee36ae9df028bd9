#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "views/toolkit/Color.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/Font.h"

namespace dunvel {

// A text or symbol of a screen as the wearer sees it: what it shows, and the font, colour and
// line limit it is drawn with as the layout inherits them (the innermost set on it or on any
// element around it wins), wherever in the tree they are set.
struct ShownLook {
  // The text shown, or the symbol's name for an image.
  std::string shown;
  // Translated through the string table (texts the app writes), not the host's own words.
  bool localizable = false;
  std::optional<Font> font;
  std::optional<Color> color;
  // 1: cut after one line with "…"; none: wraps onto as many lines as it needs.
  std::optional<int> lineLimit;

  friend bool operator==(const ShownLook&, const ShownLook&) = default;
  friend void PrintTo(const ShownLook& look, std::ostream* out) {
    *out << "\"" << look.shown << "\"" << (look.localizable ? " localizable" : "")
         << (look.font ? " font" : " no font") << (look.color ? " colour" : " no colour")
         << (look.lineLimit ? " limit " + std::to_string(*look.lineLimit) : " wraps");
  }
};

namespace shown_looks {

inline void collect(const Element& e, ShownLook inherited, std::vector<ShownLook>& out) {
  // Modifiers are stored innermost first: the outermost applies first, the innermost wins.
  for (auto it = e.modifiers.rbegin(); it != e.modifiers.rend(); ++it) {
    if (it->kind == ModifierKind::font && it->font) inherited.font = it->font;
    if (it->kind == ModifierKind::foregroundColor && it->color) inherited.color = it->color;
    if (it->kind == ModifierKind::lineLimit) inherited.lineLimit = it->lineLimit;
  }
  if (e.kind == ElementKind::image || e.kind == ElementKind::label) {
    ShownLook symbol = inherited;
    symbol.shown = e.systemName;
    out.push_back(symbol);
  }
  if ((e.kind == ElementKind::text || e.kind == ElementKind::label) && e.text) {
    ShownLook text = inherited;
    text.shown = e.text->shown();
    text.localizable = e.text->isLocalizable();
    out.push_back(text);
  }
  for (const Element& child : e.children) collect(child, inherited, out);
}

}  // namespace shown_looks

// The texts and symbols under root, in tree order (the reading order: top to bottom, and in a
// row from its leading edge).
inline std::vector<ShownLook> shownLooks(const Element& root) {
  std::vector<ShownLook> out;
  shown_looks::collect(root, ShownLook{}, out);
  return out;
}

}  // namespace dunvel
