#include "render/FontConfigFile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "render/TextEngine.h"

namespace dunvel {
namespace {
namespace fs = std::filesystem;

// A folder of its own in the test's output, emptied first.
struct Tree {
  fs::path root = fs::path(DUNVEL_TEST_OUTPUT_DIR) / "fontconfig";
  Tree() {
    fs::remove_all(root);
    fs::create_directories(root);
  }
};

// fontconfig reads what it is given to its end: a configuration that includes a device, a FIFO
// or a huge file is refused before it is handed over, and one that includes the usual things is
// not.
TEST(FontConfigFile, OnlyRegularFilesOfBoundedSizeAreIncluded) {
  const Tree t;
  const fs::path conf = t.root / "fonts.conf";
  const auto write = [&](const std::string& body) {
    std::ofstream(conf) << "<?xml version=\"1.0\"?>\n<fontconfig>\n" << body << "\n</fontconfig>\n";
  };
  EXPECT_EQ(checkFontConfigFile(DUNVEL_SOURCE_DIR "/data/fonts.conf"), "");
  write(
      "<include ignore_missing=\"yes\">missing.conf</include><include/>"
      "<!-- <include>/dev/zero</include> -->");
  EXPECT_EQ(checkFontConfigFile(conf), "");

  write("<include>/dev/zero</include>");
  EXPECT_NE(checkFontConfigFile(conf).find("/dev/zero is not a regular file"), std::string::npos)
      << checkFontConfigFile(conf);
  ASSERT_EQ(mkfifo((t.root / "fifo").c_str(), 0600), 0);
  write("<include>fifo</include>");
  EXPECT_NE(checkFontConfigFile(conf).find("fifo is not a regular file"), std::string::npos);
  std::ofstream(t.root / "huge.conf") << std::string(kMaxFontConfigBytes + 1, ' ');
  write("<include>  huge.conf\n</include>");
  EXPECT_NE(checkFontConfigFile(conf).find("larger than 1 MiB"), std::string::npos);
  // A folder is read for its *.conf files, and they are checked in turn.
  fs::create_directories(t.root / "conf.d");
  std::ofstream(t.root / "conf.d/10-zero.conf")
      << "<fontconfig><include>/dev/zero</include></fontconfig>";
  write("<include>conf.d</include>");
  EXPECT_NE(checkFontConfigFile(conf).find("/dev/zero"), std::string::npos);
  // A file that includes itself ends at the nesting limit.
  write("<include>fonts.conf</include>");
  EXPECT_NE(checkFontConfigFile(conf).find("deep"), std::string::npos);
  EXPECT_NE(checkFontConfigFile(t.root / "fifo").find("not a regular file"), std::string::npos);

  // The text engine refuses it with that line rather than spin.
  write("<include>/dev/zero</include>");
  try {
    TextEngine engine(conf.string());
    ADD_FAILURE() << "the engine took a configuration including /dev/zero";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find("/dev/zero"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace dunvel
