#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace dunvel {

// The name of the number-th frame of a series written to a folder: "frame-000001.png", counted
// from 1, so the files sort in the order they were painted.
inline std::string frameFileName(std::size_t number) {
  char name[40];
  std::snprintf(name, sizeof name, "frame-%06zu.png", number);
  return name;
}

}  // namespace dunvel
