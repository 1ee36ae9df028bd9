#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "render/FaceSize.h"

namespace dunvel {

// Checks --size: one of the cases' names (40mm … 49mm-3), or also "all" where a tool draws
// several cases at once. The names come from the one list of cases the renderer knows.
inline CLI::Validator FaceSizeName(bool allowAll = false) {
  return CLI::Validator(
      [allowAll](const std::string& name) {
        if (parseFaceSize(name) || (allowAll && name == "all")) return std::string();
        return name + " is not " + faceSizeNames(allowAll ? "all" : "");
      },
      "CASE");
}

// The option's help: "The watch's case size: 40mm, …, 49mm or 49mm-3" and what a tool adds.
inline std::string faceSizeHelp(const std::string& more = {}) {
  return "The watch's case size: " + faceSizeNames() + more;
}

}  // namespace dunvel
