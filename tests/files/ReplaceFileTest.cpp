#include "files/ReplaceFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace dunvel {
namespace {

bool isCharacterDevice(const char* path) {
  struct stat s {};
  return ::lstat(path, &s) == 0 && S_ISCHR(s.st_mode);
}

TEST(ReplaceFile, ADevicePipeOrFolderAtThePathIsNeverReplaced) {
  // A device is written into: a full one fails with its reason, a null one takes everything,
  // and both are still the devices they were.
  EXPECT_EQ(replaceFile("/dev/full", "picture"), "cannot write /dev/full: No space left on device");
  EXPECT_EQ(replaceFile("/dev/null", "picture"), "");
  EXPECT_TRUE(isCharacterDevice("/dev/full"));
  EXPECT_TRUE(isCharacterDevice("/dev/null"));

  // A pipe nobody reads fails at once instead of waiting for a reader; it stays a pipe.
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("dunvel-replace-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::filesystem::path pipe = folder / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(replaceFile(pipe, "picture"),
            "cannot write " + pipe.string() + ": No such device or address");
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_EQ(replaceFile(folder, "picture"), "cannot write " + folder.string() + ": Is a directory");
  EXPECT_EQ(std::filesystem::directory_iterator(folder)->path(), pipe) << "nothing left behind";
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace dunvel
