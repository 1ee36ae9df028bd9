// verify on inputs, references and output folders that a pull request controls: what it
// writes stays inside --out and the references, it never waits on what it reads, and what it
// says is what happened.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "VerifyFiles.h"
#include "platform/link/LinkTestSupport.h"
#include "support/PreviewRun.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;
using verify_files::readAll;
using verify_files::replaceIn;
using verify_files::writeText;

fs::path example(const std::string& name) {
  return fs::path(DUNVEL_SOURCE_DIR) / "examples" / (name + ".json");
}

// Every file below folder with its size and a hash of its bytes, links as "-> TARGET", so a
// test can tell that nothing in it changed.
std::vector<std::string> contents(const fs::path& folder) {
  std::vector<std::string> seen;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    const fs::path relative = entry.path().lexically_relative(folder);
    if (entry.is_symlink()) {
      seen.push_back(relative.string() + " -> " + fs::read_symlink(entry.path()).string());
    } else if (entry.is_regular_file()) {
      const std::string bytes = readAll(entry.path());
      seen.push_back(relative.string() + ": " + std::to_string(bytes.size()) + " bytes, hash " +
                     std::to_string(std::hash<std::string>{}(bytes)));
    }
  }
  std::sort(seen.begin(), seen.end());
  return seen;
}

// Two snapshots, one in a subfolder, recorded as references and then changed, so that each
// image differs and verify writes its image, its diff and a copy of its reference.
struct ChangedSnapshots {
  TempFolder folder;
  fs::path snaps = folder.path() / "snaps";
  fs::path refs = folder.path() / "refs";
  fs::path out = folder.path() / "out";

  ChangedSnapshots() {
    fs::create_directories(snaps / "more");
    fs::copy_file(example("question"), snaps / "question.json");
    fs::copy_file(example("board"), snaps / "more/board.json");
    const ToolRun recorded =
        runPreview({"verify", snaps.string(), "--references", refs.string(), "--record"});
    EXPECT_EQ(recorded.exitCode, 0) << recorded.err;
    replaceIn(snaps / "question.json", "\"questionPoints\": 10", "\"questionPoints\": 20");
    replaceIn(snaps / "more/board.json", "\"points\": ", "\"points\": 1");
  }

  ToolRun verify(std::vector<std::string> more = {}) const {
    std::vector<std::string> args = {"verify",      snaps.string(), "--references",
                                     refs.string(), "--out",        out.string()};
    args.insert(args.end(), more.begin(), more.end());
    return runPreview(args);
  }
};

TEST(VerifyHostile, NothingIsWrittenThroughALinkInsideOut) {
  const ChangedSnapshots run;
  const fs::path victim = run.folder.path() / "victim";
  fs::create_directories(victim);
  writeText(victim / "precious", "not a picture\n");
  const std::vector<std::string> before = contents(victim);
  // What a pull request can commit in the output folder: links at the names of the copy and
  // of the image drawn, and a subfolder that leads out.
  fs::create_directories(run.out);
  fs::create_symlink(victim / "precious", run.out / "question@45mm-xLarge.reference.png");
  fs::create_symlink(victim / "precious", run.out / "question@45mm-xLarge.actual.png");
  fs::create_directory_symlink(victim, run.out / "more");

  const ToolRun verified = run.verify();
  EXPECT_EQ(verified.exitCode, 1);
  EXPECT_EQ(readAll(victim / "precious"), "not a picture\n");
  EXPECT_EQ(contents(victim), before) << verified.out << verified.err;
  // The links at file names are replaced by the files; the linked folder is refused by name.
  for (const char* name :
       {"question@45mm-xLarge.reference.png", "question@45mm-xLarge.actual.png"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(fs::is_symlink(run.out / name));
    EXPECT_TRUE(fs::is_regular_file(run.out / name));
  }
  EXPECT_EQ(readAll(run.out / "question@45mm-xLarge.reference.png"),
            readAll(run.refs / "question@45mm-xLarge.png"));
  EXPECT_NE(verified.err.find((run.out / "more").string() + ": is a symbolic link"),
            std::string::npos)
      << verified.err;

  // Recording follows no link inside the references either.
  const fs::path refs = run.folder.path() / "refs2";
  fs::create_directories(refs);
  fs::create_directory_symlink(victim, refs / "more");
  const ToolRun recorded =
      runPreview({"verify", run.snaps.string(), "--references", refs.string(), "--record"});
  EXPECT_EQ(recorded.exitCode, 1);
  EXPECT_EQ(contents(victim), before) << recorded.out << recorded.err;
  EXPECT_TRUE(fs::is_regular_file(refs / "question@45mm-xLarge.png"));
}

}  // namespace
}  // namespace dunvel
