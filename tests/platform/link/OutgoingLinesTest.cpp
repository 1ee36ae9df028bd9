#include "platform/link/OutgoingLines.h"

#include <gtest/gtest.h>

#include <string>

#include "wire/LineSplitter.h"

namespace dunvel {
namespace {

// A peer that does not read its answers stops being read only once more than the limit waits
// for it, and is read again as soon as it has caught up below it; lines go out oldest first.
TEST(OutgoingLines, ReadingPausesPastTheLimitAndResumesOnceTheLinesAreWritten) {
  OutgoingLines lines(10);
  lines.push("abcd");
  lines.push("efghij");
  EXPECT_EQ(lines.bytes(), 10u);
  EXPECT_FALSE(lines.full()) << "exactly the limit still reads";
  lines.push("k");
  EXPECT_TRUE(lines.full());
  EXPECT_EQ(lines.front(), "abcd");
  lines.pop();
  EXPECT_EQ(lines.front(), "efghij");
  EXPECT_EQ(lines.bytes(), 7u);
  EXPECT_FALSE(lines.full());
  lines.push(std::string(20, 'x'));
  EXPECT_TRUE(lines.full());
  lines.clear();
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(lines.bytes(), 0u);
  EXPECT_FALSE(lines.full());
}

// Both ways in share the one limit: four answers of a full line each fit, a fifth does not.
TEST(OutgoingLines, TheLinkLimitHoldsFourFullLines) {
  OutgoingLines lines;
  for (int i = 0; i < 4; ++i) lines.push(std::string(kMaxLinkLineBytes, 'x'));
  EXPECT_FALSE(lines.full());
  lines.push("x");
  EXPECT_TRUE(lines.full());
}

}  // namespace
}  // namespace dunvel
