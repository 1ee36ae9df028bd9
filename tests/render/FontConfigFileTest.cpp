#include "render/FontConfigFile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fontconfig/fontconfig.h>

#include <filesystem>
#include <fstream>
#include <set>
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

// The configuration the companion draws with sees the font files shipped beside it and nothing
// else: no font of the machine's (its Noto packages installed or not) can be chosen, and every
// face the screens ask for is one of those files.
TEST(FontConfigFile, TheFacesFontsAreTheFilesShippedBesideItAndNoOthers) {
  const fs::path data = fs::path(DUNVEL_SOURCE_DIR) / "data";
  FcConfig* config = FcConfigCreate();
  ASSERT_TRUE(FcConfigParseAndLoad(
      config, reinterpret_cast<const FcChar8*>((data / "fonts.conf").c_str()), FcTrue));
  ASSERT_TRUE(FcConfigBuildFonts(config));
  std::set<std::string> files;
  const FcFontSet* fonts = FcConfigGetFonts(config, FcSetSystem);
  ASSERT_NE(fonts, nullptr);
  for (int i = 0; i < fonts->nfont; ++i) {
    FcChar8* file = nullptr;
    ASSERT_EQ(FcPatternGetString(fonts->fonts[i], FC_FILE, 0, &file), FcResultMatch);
    files.insert(fs::path(reinterpret_cast<const char*>(file)).lexically_normal().string());
  }
  std::set<std::string> shipped;
  for (const auto& entry : fs::directory_iterator(data / "fonts")) {
    if (entry.path().extension() == ".ttf")
      shipped.insert(entry.path().lexically_normal().string());
  }
  EXPECT_EQ(files, shipped);
  EXPECT_EQ(shipped.size(), 7u);

  // What the screens ask for: Latin and Arabic text, regular and semibold, and the symbols.
  struct Asked {
    const char* family;
    int weight;
    const char* file;
  };
  const Asked kAsked[] = {
      {"sans-serif", FC_WEIGHT_REGULAR, "NotoSans-Regular.ttf"},
      {"sans-serif", FC_WEIGHT_SEMIBOLD, "NotoSans-SemiBold.ttf"},
      {"Noto Sans Arabic UI", FC_WEIGHT_REGULAR, "NotoSansArabicUI-Regular.ttf"},
      {"Noto Sans Arabic UI", FC_WEIGHT_SEMIBOLD, "NotoSansArabicUI-SemiBold.ttf"},
      {"Material Icons", FC_WEIGHT_REGULAR, "MaterialIcons-Regular.ttf"}};
  for (const Asked& asked : kAsked) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(asked.family));
    FcPatternAddInteger(pattern, FC_WEIGHT, asked.weight);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    ASSERT_NE(match, nullptr) << asked.family;
    FcChar8* file = nullptr;
    ASSERT_EQ(FcPatternGetString(match, FC_FILE, 0, &file), FcResultMatch);
    EXPECT_EQ(fs::path(reinterpret_cast<const char*>(file)).lexically_normal(),
              (data / "fonts" / asked.file).lexically_normal())
        << asked.family << " " << asked.weight;
    FcPatternDestroy(match);
    FcPatternDestroy(pattern);
  }
  FcConfigDestroy(config);
}

}  // namespace
}  // namespace dunvel
