#pragma once

#include <CLI/CLI.hpp>
#include <string>

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

// The option's help, with what a tool adds to it.
inline std::string textSizeHelp(const std::string& more = {}) {
  return "The wearer's text size: xSmall, small, large, xLarge, xxLarge, xxxLarge, AX1, AX2 or "
         "AX3 (any case); default the case's own (large on 41mm, xLarge on 45mm and 49mm)" +
         more;
}

}  // namespace dunvel
