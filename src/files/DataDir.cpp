#include "files/DataDir.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

#ifndef DUNVEL_BUILD_DIR
#define DUNVEL_BUILD_DIR ""
#endif
#ifndef DUNVEL_SOURCE_DATA_DIR
#define DUNVEL_SOURCE_DATA_DIR ""
#endif

namespace dunvel {
namespace fs = std::filesystem;

namespace {

bool holdsData(const fs::path& dir) {
  std::error_code ignored;
  return fs::is_regular_file(dir / "fonts.conf", ignored);
}

// Whether path lies inside dir, both with their symbolic links resolved.
bool isInside(const fs::path& path, const fs::path& dir) {
  if (path.empty() || dir.empty()) return false;
  std::error_code error;
  const fs::path p = fs::weakly_canonical(path, error);
  if (error) return false;
  const fs::path d = fs::weakly_canonical(dir, error);
  if (error) return false;
  auto pi = p.begin();
  for (auto di = d.begin(); di != d.end(); ++di, ++pi) {
    if (di->empty()) continue;  // the empty last element of a path ending in '/'
    if (pi == p.end() || *pi != *di) return false;
  }
  return true;
}

}  // namespace

DataDirSearch findDataDir(const DataDirPlaces& places) {
  DataDirSearch search;
  auto consider = [&search](const fs::path& dir, const std::string& label) {
    search.tried.push_back(label);
    if (holdsData(dir)) search.found = dir;
    return search.found.has_value();
  };
  if (places.environment && places.environment->empty()) {
    search.problem =
        "$DUNVEL_DATA_DIR is set but empty: name the folder that holds fonts.conf, or unset it";
    return search;
  }
  if (places.environment) {
    if (consider(*places.environment, "$DUNVEL_DATA_DIR (" + *places.environment + ")")) {
      return search;
    }
  } else {
    search.tried.push_back("$DUNVEL_DATA_DIR (not set)");
  }
  if (!places.executable.empty()) {
    const fs::path installed =
        (places.executable.parent_path() / ".." / "share" / "dunvel").lexically_normal();
    if (consider(installed, installed.string())) return search;
  }
  if (isInside(places.executable, places.buildDir) && !places.sourceDataDir.empty()) {
    consider(places.sourceDataDir, places.sourceDataDir.string());
  }
  return search;
}

DataDirPlaces currentDataDirPlaces() {
  DataDirPlaces places;
  if (const char* dir = std::getenv("DUNVEL_DATA_DIR")) places.environment = dir;
  std::error_code error;
  places.executable = fs::read_symlink("/proc/self/exe", error);
  if (error) places.executable.clear();
  places.buildDir = DUNVEL_BUILD_DIR;
  places.sourceDataDir = DUNVEL_SOURCE_DATA_DIR;
  return places;
}

fs::path dataDir() {
  const DataDirSearch search = findDataDir(currentDataDirPlaces());
  if (search.found) return *search.found;
  if (!search.problem.empty()) throw std::runtime_error(search.problem);
  std::string tried;
  for (const std::string& place : search.tried) tried += (tried.empty() ? "" : ", ") + place;
  throw std::runtime_error("no data folder with fonts.conf; looked in " + tried);
}

}  // namespace dunvel
