#pragma once

#include <filesystem>

namespace dunvel::bench {

// A private folder for a measuring program's socket, removed with everything in it when the
// program is done with it, on every way out.
class TempFolder {
 public:
  // std::runtime_error when the folder cannot be made.
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace dunvel::bench
