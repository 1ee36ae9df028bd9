#include "files/DataDir.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "files/ScratchFolder.h"

namespace dunvel {
namespace {
namespace fs = std::filesystem;

// A scratch tree: an installed prefix (prefix/bin, prefix/share/dunvel), a build folder with a
// program in it, a source data/ and a folder named by the environment.
struct Tree {
  testing::ScratchFolder scratch;
  fs::path root = scratch.path();
  Tree() {
    for (const char* dir : {"prefix/bin", "prefix/share/dunvel", "build/tools", "source/data",
                            "environment", "empty"}) {
      fs::create_directories(root / dir);
    }
    for (const char* dir : {"prefix/share/dunvel", "source/data", "environment"}) {
      std::ofstream(root / dir / "fonts.conf") << "<fontconfig/>\n";
    }
  }
};

TEST(DataDir, LooksInTheEnvironmentThenBesideTheExecutableThenTheSourceTreeOfItsBuild) {
  const Tree t;
  DataDirPlaces places;
  places.buildDir = t.root / "build";
  places.sourceDataDir = t.root / "source/data";

  // Installed: the environment first, then ../share/dunvel; never the source tree.
  places.executable = t.root / "prefix/bin/dunvel-preview";
  places.environment = (t.root / "environment").string();
  EXPECT_EQ(findDataDir(places).found, t.root / "environment");
  places.environment = (t.root / "empty").string();
  EXPECT_EQ(findDataDir(places).found, t.root / "prefix/share/dunvel");
  places.environment.reset();
  EXPECT_EQ(findDataDir(places).found, t.root / "prefix/share/dunvel");

  fs::remove(t.root / "prefix/share/dunvel/fonts.conf");
  DataDirSearch none = findDataDir(places);
  EXPECT_FALSE(none.found);
  ASSERT_EQ(none.tried.size(), 2u);
  EXPECT_EQ(none.tried[0], "$DUNVEL_DATA_DIR (not set)");
  EXPECT_EQ(none.tried[1], (t.root / "prefix/share/dunvel").string());

  // Inside its build folder the program falls back on the source tree's data/.
  places.executable = t.root / "build/tools/dunvel-preview";
  DataDirSearch built = findDataDir(places);
  EXPECT_EQ(built.found, t.root / "source/data");
  EXPECT_EQ(built.tried.back(), (t.root / "source/data").string());
  // A folder whose name merely starts with the build folder's is not inside it.
  places.buildDir = t.root / "buil";
  EXPECT_FALSE(findDataDir(places).found);
}

// An empty $DUNVEL_DATA_DIR is a mistake (a variable set from one that was not), said as such
// rather than passed over for the next place.
TEST(DataDir, AnEmptyEnvironmentIsAnErrorNotAFallback) {
  const Tree t;
  DataDirPlaces places;
  places.executable = t.root / "prefix/bin/dunvel-preview";
  places.environment = "";
  const DataDirSearch search = findDataDir(places);
  EXPECT_FALSE(search.found);
  EXPECT_EQ(search.problem,
            "$DUNVEL_DATA_DIR is set but empty: name the folder that holds fonts.conf, or unset "
            "it");
}

TEST(DataDir, ThisTestProgramFindsTheSourceTreeOrTheEnvironment) {
  // Run from the build folder, the search ends at a folder holding fonts.conf.
  const fs::path found = dataDir();
  EXPECT_TRUE(fs::is_regular_file(found / "fonts.conf")) << found;
}

}  // namespace
}  // namespace dunvel
