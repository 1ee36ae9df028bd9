#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dunvel {

// Where the data read at run time (fonts.conf) is looked for, in this order: $DUNVEL_DATA_DIR;
// ../share/dunvel beside the executable, as installed; the source tree's data/, but only for
// an executable inside the build folder it was built in, so an installed copy never reads a
// clone that happens to still be there.
struct DataDirPlaces {
  std::optional<std::string> environment;  // $DUNVEL_DATA_DIR, when set (empty or not)
  std::filesystem::path executable;        // this process's executable; empty when unknown
  std::filesystem::path buildDir;          // the build folder the program was built in
  std::filesystem::path sourceDataDir;     // the source tree's data/
};

struct DataDirSearch {
  std::optional<std::filesystem::path> found;  // the first folder holding fonts.conf
  std::vector<std::string> tried;              // each place looked at, in order
  // Set when the search stopped short: $DUNVEL_DATA_DIR set but empty, which is a mistake to
  // report rather than to pass over for the next place.
  std::string problem;
};

DataDirSearch findDataDir(const DataDirPlaces& places);

// The places of this process: its environment, /proc/self/exe and the folders of its build.
DataDirPlaces currentDataDirPlaces();

// The data folder of this process; std::runtime_error with one line naming the places tried
// when there is none, or saying that $DUNVEL_DATA_DIR is empty.
std::filesystem::path dataDir();

}  // namespace dunvel
