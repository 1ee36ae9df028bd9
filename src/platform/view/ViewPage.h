#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/link/ViewerHub.h"

namespace dunvel {

// The view's page as it is served: its three files (view.html at /view, view.js, view.css) read
// from the data folder's view/ once, at start. Each must be a regular file of at most 1 MiB.
struct ViewPage {
  std::vector<ViewFile> files;
  // One line naming the file and what is wrong with it; empty when the files were read.
  std::string problem;
};

ViewPage readViewPage(const std::filesystem::path& dataFolder);

}  // namespace dunvel
