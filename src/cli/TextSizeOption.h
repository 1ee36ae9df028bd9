#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "render/FaceSize.h"
#include "render/TextSize.h"

namespace dunvel {

// Checks --text-size: one of the watch's text size names, in any case (the tools that take it
// draw faces, so they link the renderer that knows the names).
inline CLI::Validator TextSizeName() {
  return CLI::Validator(
      [](const std::string& name) {
        return parseTextSize(name) ? std::string() : "not a text size: " + name;
      },
      "TEXT-SIZE");
}

// The option's help, with what a tool adds to it. The cases' defaults are read from the list of
// cases: "large on 40mm and 41mm, xLarge on the others".
inline std::string textSizeHelp(const std::string& more = {}) {
  std::string large;
  for (const FaceSize size : kAllFaceSizes) {
    if (faceMetrics(size).defaultTextSize != TextSize::large) continue;
    if (!large.empty()) large += " and ";
    large += faceSizeName(size);
  }
  return "The wearer's text size: xSmall, small, large, xLarge, xxLarge, xxxLarge, AX1, AX2 or "
         "AX3 (any case); default the case's own (large on " +
         large + ", xLarge on the others)" + more;
}

}  // namespace dunvel
