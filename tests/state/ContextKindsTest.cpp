#include "state/ContextKinds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace dunvel {
namespace {

constexpr auto kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr auto kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr auto kUint64Max = std::numeric_limits<std::uint64_t>::max();
constexpr double kTwoPow63 = 9223372036854775808.0;

TEST(ContextKinds, IntegerAcceptsIntegersAndWholeFloatingValuesInTheSigned64BitRange) {
  EXPECT_EQ(acceptInteger(ContextValue(5)), 5);
  EXPECT_EQ(acceptInteger(ContextValue(-5)), -5);
  EXPECT_EQ(acceptInteger(ContextValue(kInt64Max)), kInt64Max);
  EXPECT_EQ(acceptInteger(ContextValue(kInt64Min)), kInt64Min);
  EXPECT_EQ(acceptInteger(ContextValue(std::uint64_t{7})), 7);
  EXPECT_EQ(acceptInteger(ContextValue(static_cast<std::uint64_t>(kInt64Max))), kInt64Max);
  EXPECT_EQ(acceptInteger(ContextValue(5.0)), 5);
  EXPECT_EQ(acceptInteger(ContextValue(-0.0)), 0);
  EXPECT_EQ(acceptInteger(ContextValue(-kTwoPow63)), kInt64Min);
  // The largest double below 2^63.
  EXPECT_EQ(acceptInteger(ContextValue(std::nextafter(kTwoPow63, 0.0))),
            std::int64_t{9223372036854774784});
}

TEST(ContextKinds, IntegerRefusesEverythingElse) {
  EXPECT_EQ(acceptInteger(ContextValue(5.5)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(-0.5)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(static_cast<std::uint64_t>(kInt64Max) + 1)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(kUint64Max)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(kTwoPow63)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(std::nextafter(-kTwoPow63, -INFINITY))), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(1e300)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(std::nan(""))), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(INFINITY)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(-INFINITY)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(true)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(false)), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue("5")), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(ContextDate{5.0})), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(ContextData{5})), std::nullopt);
  EXPECT_EQ(acceptInteger(ContextValue(ContextArray{ContextValue(5)})), std::nullopt);
}

TEST(ContextKinds, FloatingAcceptsEveryDoubleAndExactlyRepresentableIntegers) {
  EXPECT_EQ(acceptFloating(ContextValue(2.5)), 2.5);
  EXPECT_EQ(acceptFloating(ContextValue(INFINITY)), INFINITY);
  EXPECT_EQ(acceptFloating(ContextValue(-INFINITY)), -INFINITY);
  const auto nan = acceptFloating(ContextValue(std::nan("")));
  ASSERT_TRUE(nan.has_value());
  EXPECT_TRUE(std::isnan(*nan));
  EXPECT_EQ(acceptFloating(ContextValue(90)), 90.0);
  EXPECT_EQ(acceptFloating(ContextValue(std::int64_t{1} << 53)), 9007199254740992.0);
  EXPECT_EQ(acceptFloating(ContextValue(kInt64Min)), -kTwoPow63);
  EXPECT_EQ(acceptFloating(ContextValue(std::uint64_t{1} << 63)), kTwoPow63);

  // Inexact conversions, including those that round up to 2^63 and 2^64.
  EXPECT_EQ(acceptFloating(ContextValue((std::int64_t{1} << 53) + 1)), std::nullopt);
  EXPECT_EQ(acceptFloating(ContextValue(kInt64Max)), std::nullopt);
  EXPECT_EQ(acceptFloating(ContextValue(kInt64Min + 1)), std::nullopt);
  EXPECT_EQ(acceptFloating(ContextValue(kUint64Max)), std::nullopt);
  EXPECT_EQ(acceptFloating(ContextValue((std::uint64_t{1} << 63) + 1)), std::nullopt);

  EXPECT_EQ(acceptFloating(ContextValue(true)), std::nullopt);
  EXPECT_EQ(acceptFloating(ContextValue("90")), std::nullopt);
  EXPECT_EQ(acceptFloating(ContextValue(ContextDate{90.0})), std::nullopt);
}

TEST(ContextKinds, TextDictionaryAndListOfDictionaries) {
  const ContextValue empty("");
  ASSERT_NE(acceptText(empty), nullptr);
  EXPECT_EQ(*acceptText(empty), "");
  EXPECT_EQ(acceptText(ContextValue(7)), nullptr);

  EXPECT_NE(acceptDictionary(ContextValue(ContextDictionary{})), nullptr);
  EXPECT_EQ(acceptDictionary(ContextValue(ContextArray{})), nullptr);

  EXPECT_NE(acceptDictionaryList(ContextValue(ContextArray{})), nullptr);
  EXPECT_NE(acceptDictionaryList(ContextValue(ContextArray{ContextValue(ContextDictionary{}),
                                                           ContextValue(ContextDictionary{})})),
            nullptr);
  EXPECT_EQ(acceptDictionaryList(
                ContextValue(ContextArray{ContextValue(ContextDictionary{}), ContextValue("x")})),
            nullptr);
  EXPECT_EQ(acceptDictionaryList(ContextValue(ContextDictionary{})), nullptr);
}

}  // namespace
}  // namespace dunvel
