#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/link/LinkTestSupport.h"
#include "preview/PreviewCommand.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun preview(std::vector<std::string> args) {
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  PreviewIo io{in, out, err};
  args.insert(args.begin(), "dunvel-preview");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  const int code = runDunvelPreview(io, static_cast<int>(argv.size()), argv.data());
  return {code, out.str(), err.str()};
}

// Threads that each draw with their own renderers and fonts draw what one thread draws, and
// find the same differences.
TEST(VerifyJobs, ImagesDrawnOnSeveralThreadsEqualThoseDrawnOnOne) {
  testing::TempFolder folder;
  const fs::path snaps = folder.path() / "snaps";
  fs::create_directories(snaps);
  for (const char* name : {"question", "answer", "board"}) {
    fs::copy_file(fs::path(DUNVEL_SOURCE_DIR) / "examples" / (std::string(name) + ".json"),
                  snaps / (std::string(name) + ".json"));
  }
  const fs::path refs = folder.path() / "refs";
  const std::vector<std::string> verify = {
      "verify",      snaps.string(), "--references",
      refs.string(), "--out",        (folder.path() / "out").string(),
      "--size",      "all",          "--text-size",
      "xSmall",      "--text-size",  "AX3"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = verify;
    args.insert(args.end(), more.begin(), more.end());
    return preview(args);
  };
  const ToolRun recorded = with({"--record", "--jobs", "1"});
  ASSERT_EQ(recorded.exitCode, 0) << recorded.err;
  const ToolRun parallel = with({"--jobs", "4"});
  EXPECT_EQ(parallel.exitCode, 0) << parallel.out << parallel.err;
  EXPECT_EQ(parallel.out, "verify: 18 images, 18 equal, 0 differ, 0 missing\n");

  std::ofstream(snaps / "answer.json", std::ios::trunc) << R"({"screen": "idle"})";
  const ToolRun changed = with({"--jobs", "3"});
  EXPECT_EQ(changed.exitCode, 1);
  EXPECT_NE(changed.out.find("verify: 18 images, 12 equal, 6 differ, 0 missing"), std::string::npos)
      << changed.out;
}

}  // namespace
}  // namespace dunvel
