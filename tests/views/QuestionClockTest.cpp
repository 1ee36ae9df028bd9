#include "views/QuestionClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace dunvel {
namespace {

constexpr double kOpened = 1'700'000'000.0;
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

Date at(double seconds) {
  return Date{seconds};
}

TEST(QuestionClock, ElapsedSecondsTruncatesAndNeverGoesNegative) {
  EXPECT_EQ(elapsedSeconds(at(kOpened + 59.9), kOpened), 59);
  EXPECT_EQ(elapsedSeconds(at(kOpened + 60.0), kOpened), 60);
  EXPECT_EQ(elapsedSeconds(at(kOpened + 65.0), kOpened), 65);
  EXPECT_EQ(elapsedSeconds(at(kOpened), kOpened), 0);
  // The watch's clock behind the phone's: 0, not a negative count.
  EXPECT_EQ(elapsedSeconds(at(kOpened - 5.0), kOpened), 0);
  EXPECT_EQ(elapsedSeconds(at(kOpened - 0.5), kOpened), 0);
}

TEST(QuestionClock, UnknownOpeningMomentCountsNothing) {
  const Date now = at(kOpened);
  EXPECT_EQ(elapsedSeconds(now, 0.0), 0);
  EXPECT_EQ(elapsedSeconds(now, -0.0), 0);
  EXPECT_EQ(elapsedSeconds(now, -30.0), 0);
  EXPECT_EQ(elapsedSeconds(now, std::nan("")), 0);
  EXPECT_EQ(elapsedSeconds(now, -std::numeric_limits<double>::infinity()), 0);
}

// Every one of these would be undefined behaviour with a plain cast of the difference; the
// sanitizer build turns that into a failure.
TEST(QuestionClock, DifferencesOutsideInt64SaturateOrGiveZero) {
  const double inf = std::numeric_limits<double>::infinity();
  const double huge = std::numeric_limits<double>::max();
  EXPECT_EQ(elapsedSeconds(at(huge), 1.0), kMax);
  EXPECT_EQ(elapsedSeconds(at(inf), 1.0), kMax);
  EXPECT_EQ(elapsedSeconds(at(9223372036854775808.0), 0.5), kMax);  // exactly 2^63
  EXPECT_EQ(elapsedSeconds(at(9223372036854774784.0), 0.5),
            9223372036854774784);  // the largest double below 2^63 still converts
  EXPECT_EQ(elapsedSeconds(at(std::nan("")), kOpened), 0);
  EXPECT_EQ(elapsedSeconds(at(-inf), kOpened), 0);
  // An absurdly late opening moment with an infinite "now": inf - inf is NaN.
  EXPECT_EQ(elapsedSeconds(at(inf), inf), 0);
  EXPECT_EQ(elapsedSeconds(at(kOpened), huge), 0);
}

TEST(QuestionClock, OvertimeStartsAtAFullMinute) {
  EXPECT_FALSE(overtime(0));
  EXPECT_FALSE(overtime(59));
  EXPECT_TRUE(overtime(60));
  EXPECT_TRUE(overtime(kMax));
}

TEST(QuestionClock, ClockTextShowsUncappedMinutesAndTwoDigitSeconds) {
  EXPECT_EQ(clockText(0), "0:00");
  EXPECT_EQ(clockText(9), "0:09");
  EXPECT_EQ(clockText(59), "0:59");
  EXPECT_EQ(clockText(60), "1:00");
  EXPECT_EQ(clockText(65), "1:05");
  EXPECT_EQ(clockText(3599), "59:59");
  EXPECT_EQ(clockText(3600), "60:00");
  EXPECT_EQ(clockText(6000), "100:00");
  // Minutes beyond 32 bits keep all their digits ("%d" would cut them).
  EXPECT_EQ(clockText(std::int64_t{60} * 5'000'000'000 + 7), "5000000000:07");
  EXPECT_EQ(clockText(kMax), "153722867280912930:07");
  EXPECT_EQ(clockText(-5), "0:00");
}

}  // namespace
}  // namespace dunvel
