// Inputs read without waiting, and folders reached without following a link: what verify
// relies on for files that come from a pull request.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "files/FolderWithin.h"
#include "files/ReadFile.h"
#include "files/ScratchFolder.h"

namespace dunvel {
namespace {

namespace fs = std::filesystem;
using testing::ScratchFolder;

TEST(ReadRegularFile, TakesOnlyARegularFileWithinItsLimitAndNeverWaits) {
  const ScratchFolder scratch;
  const fs::path& at = scratch.path();
  std::ofstream(at / "small") << "twelve bytes";
  std::ofstream(at / "large") << std::string(2048, 'x');
  fs::create_directory(at / "folder");
  ASSERT_EQ(::mkfifo((at / "fifo").c_str(), 0600), 0);
  fs::create_symlink(at / "nowhere", at / "dangling");
  fs::create_symlink(at / "small", at / "link");
  struct Case {
    const char* name;
    std::string bytes;
    std::string problem;
  };
  const std::vector<Case> cases = {
      {"small", "twelve bytes", ""},
      {"link", "twelve bytes", ""},
      {"large", "", "larger than 1024 bytes"},
      {"folder", "", "is a folder, not a regular file"},
      {"fifo", "", "is a FIFO, not a regular file"},
      {"dangling", "", "cannot open: No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FileBytes read = readRegularFile(at / c.name, 1024);
    EXPECT_EQ(read.problem, c.problem);
    EXPECT_EQ(read.bytes.value_or(""), c.bytes);
    EXPECT_EQ(read.tooLarge, c.problem.starts_with("larger"));
  }
  RegularFileStream fifo(at / "fifo");
  EXPECT_EQ(fifo.problem(), "is a FIFO, not a regular file");
  EXPECT_FALSE(fifo.stream().good());
  RegularFileStream small(at / "small");
  std::string word;
  small.stream() >> word;
  EXPECT_EQ(word, "twelve");
}

TEST(FolderWithin, WritesAndRemovesBelowTheRootAndNeverThroughALink) {
  const ScratchFolder scratch;
  const fs::path root = scratch.path() / "out";
  const fs::path elsewhere = scratch.path() / "elsewhere";
  fs::create_directories(elsewhere);
  std::ofstream(elsewhere / "kept.png") << "theirs";

  EXPECT_EQ(replaceFileWithin(root, "a/b/new.png", "mine"), "");
  EXPECT_TRUE(fs::is_regular_file(root / "a/b/new.png"));
  fs::create_directory_symlink(elsewhere, root / "link");
  EXPECT_EQ(replaceFileWithin(root, "link/kept.png", "mine"),
            (root / "link").string() +
                ": is a symbolic link, and nothing is written through a link inside " +
                root.string());
  EXPECT_EQ(removeFileWithin(root, "link/kept.png"),
            (root / "link").string() +
                ": is a symbolic link, and nothing is written through a link inside " +
                root.string());
  EXPECT_EQ(replaceFileWithin(root, "../kept.png", "mine"),
            (root / "..").string() + ": leads out of " + root.string());
  std::ifstream kept(elsewhere / "kept.png");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "theirs");

  // A link at the file's own name is removed, not what it leads to; a folder is left alone;
  // what is not there is nothing to do.
  fs::create_symlink(elsewhere / "kept.png", root / "a/b/linked.png");
  EXPECT_EQ(removeFileWithin(root, "a/b/linked.png"), "");
  EXPECT_FALSE(fs::is_symlink(root / "a/b/linked.png"));
  EXPECT_TRUE(fs::exists(elsewhere / "kept.png"));
  EXPECT_EQ(removeFileWithin(root, "a"), "");
  EXPECT_TRUE(fs::is_directory(root / "a"));
  EXPECT_EQ(removeFileWithin(root, "missing/x.png"), "");
  EXPECT_EQ(removeFileWithin(root, "a/b/new.png"), "");
  EXPECT_FALSE(fs::exists(root / "a/b/new.png"));
}

}  // namespace
}  // namespace dunvel
