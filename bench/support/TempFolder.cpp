#include "support/TempFolder.h"

#include <stdlib.h>

#include <stdexcept>
#include <string>

namespace dunvel::bench {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "dunvel-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder in " +
                             std::filesystem::temp_directory_path().string());
  }
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace dunvel::bench
