#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "files/FileDescriptor.h"
#include "files/ReplaceFile.h"
#include "files/ScratchFolder.h"
#include "files/TemporaryFile.h"
#include "files/WriteAll.h"

namespace dunvel {
namespace {
namespace fs = std::filesystem;

using Folder = testing::ScratchFolder;

std::string contents(const fs::path& path) {
  std::ostringstream read;
  read << std::ifstream(path).rdbuf();
  return read.str();
}

bool isOpen(int fd) {
  return fcntl(fd, F_GETFD) != -1;
}

TEST(FileDescriptor, ClosesOnceWhereverItEndsUp) {
  int raw = -1;
  {
    FileDescriptor first(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    raw = first.get();
    ASSERT_TRUE(first.valid());
    FileDescriptor second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(second.get(), raw);
    FileDescriptor third;
    third = std::move(second);
    EXPECT_TRUE(isOpen(raw)) << "a move closes nothing";
  }
  EXPECT_FALSE(isOpen(raw)) << "the last owner closes it";

  FileDescriptor released(::open("/dev/null", O_RDONLY | O_CLOEXEC));
  raw = released.release();
  EXPECT_FALSE(released.valid());
  EXPECT_TRUE(isOpen(raw)) << "a released descriptor is the caller's";
  FileDescriptor closing(raw);
  EXPECT_EQ(closing.close(), 0);
  EXPECT_FALSE(isOpen(raw));
  EXPECT_EQ(closing.close(), 0) << "closing twice closes nothing the second time";
}

TEST(WriteAll, GoesOnAfterPartialWritesAndNamesTheFailure) {
  // More than a pipe holds, so the writes are partial until the reader catches up.
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  FileDescriptor reading(ends[0]);
  FileDescriptor writing(ends[1]);
  const std::string bytes(1 << 20, 'x');
  std::string got;
  std::thread reader([&] {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(reading.get(), buffer, sizeof buffer)) > 0) got.append(buffer, n);
  });
  EXPECT_EQ(writeAll(writing.get(), bytes), 0);
  writing.reset();
  reader.join();
  EXPECT_EQ(got.size(), bytes.size());

  FileDescriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
  EXPECT_EQ(writeAll(full.get(), "x"), ENOSPC);
  EXPECT_EQ(writeAll(-1, "x"), EBADF);
  EXPECT_EQ(writeAll(-1, ""), 0) << "nothing to write is no failure";
}

TEST(TemporaryFile, IsPutInPlaceOnlyWhenAskedAndOtherwiseLeavesNothing) {
  const Folder folder;
  const fs::path target = folder.path() / "night.jsonl";
  {
    TemporaryFile dropped(target);
    ASSERT_EQ(dropped.error(), 0);
    ASSERT_EQ(writeAll(dropped.fd(), "half"), 0);
    EXPECT_EQ(folder.entries(), 1u);
  }
  EXPECT_EQ(folder.entries(), 0u) << "dropped before it was placed: removed";

  std::ofstream(target) << "old";
  {
    TemporaryFile second(target);
    ASSERT_EQ(writeAll(second.fd(), "new"), 0);
    EXPECT_EQ(second.placeIfAbsent(), EEXIST);
    EXPECT_EQ(contents(target), "old") << "what is there is not replaced";
  }
  EXPECT_EQ(folder.entries(), 1u);
  {
    TemporaryFile third(target, O_APPEND);
    ASSERT_EQ(writeAll(third.fd(), "new"), 0);
    EXPECT_EQ(third.replace(), 0);
    // Whoever goes on writing keeps the descriptor; it is the file now at the path.
    FileDescriptor kept = third.takeDescriptor();
    ASSERT_EQ(writeAll(kept.get(), " and more"), 0);
  }
  EXPECT_EQ(contents(target), "new and more");
  EXPECT_EQ(folder.entries(), 1u);

  const TemporaryFile nowhere(folder.path() / "missing" / "file");
  EXPECT_EQ(nowhere.error(), ENOENT);
}

TEST(ReplaceWhole, GivesTheModeAndReplacesALinkWithoutWritingThroughIt) {
  const Folder folder;
  const fs::path aimedAt = folder.path() / "elsewhere";
  std::ofstream(aimedAt) << "keep";
  const fs::path path = folder.path() / "link.sock.url";
  fs::create_symlink(aimedAt, path);
  struct stat written {};
  ASSERT_EQ(replaceWhole(path, "ws://127.0.0.1:1/?token=x\n", 0600, &written), 0);
  EXPECT_EQ(contents(aimedAt), "keep");
  EXPECT_EQ(contents(path), "ws://127.0.0.1:1/?token=x\n");
  struct stat now {};
  ASSERT_EQ(::lstat(path.c_str(), &now), 0);
  EXPECT_TRUE(S_ISREG(now.st_mode));
  EXPECT_EQ(now.st_mode & 07777, 0600u);
  EXPECT_EQ(now.st_ino, written.st_ino) << "the identity given is the new file's";

  EXPECT_EQ(replaceWhole(folder.path() / "missing" / "file", "x", 0644), ENOENT);
  EXPECT_EQ(folder.entries(), 2u) << "nothing left behind";
}

}  // namespace
}  // namespace dunvel
