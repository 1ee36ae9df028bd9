#include "wire/LineSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dunvel {
namespace {

struct Collected {
  std::vector<std::string> lines;
  int overlong = 0;
};

void feed(LineSplitter& splitter, std::string_view bytes, Collected& into) {
  splitter.feed(
      bytes, [&](std::string_view line) { into.lines.emplace_back(line); },
      [&] { ++into.overlong; });
}

TEST(LineSplitter, ReassemblesLinesAcrossChunksAndSkipsOverlongOnes) {
  LineSplitter splitter(8);
  Collected got;
  // Every split point of a stream gives the same lines.
  const std::string stream = "abc\r\n\n12345678\n123456789\nxy\n";
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    Collected pieces;
    LineSplitter fresh(8);
    feed(fresh, std::string_view(stream).substr(0, cut), pieces);
    feed(fresh, std::string_view(stream).substr(cut), pieces);
    EXPECT_EQ(pieces.lines, (std::vector<std::string>{"abc", "12345678", "xy"})) << cut;
    EXPECT_EQ(pieces.overlong, 1) << cut;
    EXPECT_FALSE(fresh.midLine());
  }

  // An over-long line fed byte by byte is reported once and skipped up to its newline.
  for (char byte : std::string(50, 'z')) feed(splitter, std::string_view(&byte, 1), got);
  EXPECT_EQ(got.overlong, 1);
  EXPECT_TRUE(splitter.midLine());
  feed(splitter, "still the same line\nok\n", got);
  EXPECT_EQ(got.overlong, 1);
  EXPECT_EQ(got.lines, std::vector<std::string>{"ok"});

  // A sender gone mid-line leaves nothing behind for the next one.
  feed(splitter, "half", got);
  EXPECT_TRUE(splitter.midLine());
  splitter.reset();
  feed(splitter, "new\n", got);
  EXPECT_EQ(got.lines, (std::vector<std::string>{"ok", "new"}));
}

}  // namespace
}  // namespace dunvel
