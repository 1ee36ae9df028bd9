#include "state/SnapshotJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace dunvel {
namespace {

const ContextValue& at(const ContextDictionary& d, const std::string& key) {
  const auto it = d.find(key);
  if (it == d.end()) throw std::runtime_error("no key " + key);
  return it->second;
}

TEST(SnapshotJson, MapsJsonKindsOntoContextValues) {
  const JsonReadResult r = readSnapshotJson(R"({
    "text": "الصقور", "empty": "", "int": -7, "zero": 0, "float": 2.5, "whole": 5.0, "exp": 1e2,
    "negZero": -0.0, "big": 9223372036854775807, "huge": 9223372036854775808,
    "max": 18446744073709551615, "min": -9223372036854775808, "yes": true, "no": false,
    "list": [1, "a", [], {}], "dict": {"k": {"deeper": [true]}}
  })");
  ASSERT_TRUE(r.ok()) << r.error;
  const ContextDictionary& d = r.dictionary;
  EXPECT_EQ(at(d, "text"), ContextValue("الصقور"));
  EXPECT_EQ(at(d, "empty"), ContextValue(""));
  EXPECT_EQ(at(d, "int"), ContextValue(std::int64_t{-7}));
  EXPECT_EQ(at(d, "zero"), ContextValue(std::int64_t{0}));
  EXPECT_EQ(at(d, "float"), ContextValue(2.5));
  // With a fraction or exponent a number is floating, even when whole.
  EXPECT_EQ(at(d, "whole"), ContextValue(5.0));
  EXPECT_EQ(at(d, "exp"), ContextValue(100.0));
  ASSERT_NE(at(d, "negZero").get_if<double>(), nullptr);
  EXPECT_TRUE(std::signbit(*at(d, "negZero").get_if<double>()));
  // Unsigned only above INT64_MAX; signed otherwise.
  EXPECT_EQ(at(d, "big"), ContextValue(std::numeric_limits<std::int64_t>::max()));
  EXPECT_EQ(at(d, "huge"), ContextValue(std::uint64_t{1} << 63));
  EXPECT_EQ(at(d, "max"), ContextValue(std::numeric_limits<std::uint64_t>::max()));
  EXPECT_EQ(at(d, "min"), ContextValue(std::numeric_limits<std::int64_t>::min()));
  EXPECT_EQ(at(d, "yes"), ContextValue(true));
  EXPECT_EQ(at(d, "no"), ContextValue(false));
  EXPECT_EQ(at(d, "list"), ContextValue(ContextArray{
                               ContextValue(std::int64_t{1}), ContextValue("a"),
                               ContextValue(ContextArray{}), ContextValue(ContextDictionary{})}));
  EXPECT_EQ(at(d, "dict"),
            ContextValue(ContextDictionary{
                {"k", ContextDictionary{{"deeper", ContextArray{ContextValue(true)}}}}}));
}

TEST(SnapshotJson, DuplicateKeysKeepTheLastValue) {
  const JsonReadResult r = readSnapshotJson(R"({"screen": "question", "screen": "board"})");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(at(r.dictionary, "screen"), ContextValue("board"));
}

TEST(SnapshotJson, NullIsRefusedWithItsPointer) {
  EXPECT_EQ(readSnapshotJson(R"({"teams": [{"id": "a"}, null]})").error,
            "/teams/1: null is not allowed (the link cannot carry it)");
  EXPECT_EQ(readSnapshotJson(R"({"screen": null})").error,
            "/screen: null is not allowed (the link cannot carry it)");
  // Keys are escaped as RFC 6901 says.
  EXPECT_EQ(readSnapshotJson(R"({"a/b": {"c~d": [0, 1, {"": null}]}})").error,
            "/a~1b/c~0d/2/: null is not allowed (the link cannot carry it)");
  // A key with a line break must not break the one-line message.
  EXPECT_EQ(readSnapshotJson(R"({"a\nb\u0001": {"c": null}})").error,
            "/a\\nb\\x01/c: null is not allowed (the link cannot carry it)");
  EXPECT_EQ(readSnapshotJson("null").error, "the top level is not a JSON object");
}

TEST(SnapshotJson, TopLevelMustBeAnObject) {
  for (const char* json : {"[]", "[{}]", "\"text\"", "5", "true", "-1.5"}) {
    EXPECT_EQ(readSnapshotJson(json).error, "the top level is not a JSON object") << json;
  }
  const JsonReadResult empty = readSnapshotJson(" {} ");
  EXPECT_TRUE(empty.ok()) << empty.error;
  EXPECT_TRUE(empty.dictionary.empty());
}

std::string repeat(const std::string& part, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += part;
  return out;
}

TEST(SnapshotJson, NestingIsBoundedWhateverTheInputDepth) {
  auto nested = [](int arrays) {
    return "{\"a\":" + std::string(static_cast<std::size_t>(arrays), '[') +
           std::string(static_cast<std::size_t>(arrays), ']') + "}";
  };
  // The top-level object is level 1: 63 arrays inside it reach exactly 64.
  EXPECT_TRUE(readSnapshotJson(nested(63)).ok()) << readSnapshotJson(nested(63)).error;
  const std::string tooDeep = readSnapshotJson(nested(64)).error;
  EXPECT_NE(tooDeep.find("nesting deeper than 64 levels"), std::string::npos) << tooDeep;
  EXPECT_EQ(tooDeep.rfind("/a/0/0/", 0), 0u) << tooDeep;

  // Far deeper than any stack could recurse, closed or unclosed.
  for (const std::string& json :
       {nested(100000), "{\"a\":" + std::string(100000, '['), repeat("{\"a\":", 100000)}) {
    const JsonReadResult r = readSnapshotJson(json);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.error.find("nesting deeper than 64 levels"), std::string::npos) << r.error;
  }
  // The limit is a parameter.
  EXPECT_TRUE(readSnapshotJson(R"({"a": {}})", 2).ok());
  EXPECT_FALSE(readSnapshotJson(R"({"a": {"b": []}})", 2).ok());
}

TEST(SnapshotJson, SyntaxErrorsNameLineAndColumn) {
  const std::string truncated =
      readSnapshotJson("{\n  \"screen\": \"idle\",\n  \"x\": tru }").error;
  EXPECT_EQ(truncated.rfind("line 3, column 11: ", 0), 0u) << truncated;

  const std::string trailing = readSnapshotJson("{}\n\n x").error;
  EXPECT_EQ(trailing.rfind("line 3, column 2: ", 0), 0u) << trailing;

  const std::string empty = readSnapshotJson("").error;
  EXPECT_EQ(empty.rfind("line 1, column 1: ", 0), 0u) << empty;

  const std::string unclosed = readSnapshotJson("{\"a\": [1, 2").error;
  EXPECT_EQ(unclosed.rfind("line 1, column 12: ", 0), 0u) << unclosed;

  // Ill-formed UTF-8 inside a string is a syntax error, not a text.
  const std::string badUtf8 = readSnapshotJson("{\"a\": \"\xFF\"}").error;
  EXPECT_EQ(badUtf8.rfind("line 1, column ", 0), 0u) << badUtf8;

  // A bad character at the end of a long text: the message quotes only the start of it.
  const std::string longText =
      readSnapshotJson("{\"a\": \"" + std::string(100000, 'x') + "\x01\"}").error;
  EXPECT_EQ(longText.rfind("line 1, column 100008: ", 0), 0u) << longText.substr(0, 100);
  EXPECT_LT(longText.size(), 300u);

  // Every error is one line.
  for (const std::string& e : {truncated, trailing, empty, unclosed, badUtf8, longText}) {
    EXPECT_EQ(e.find('\n'), std::string::npos) << e;
  }
}

TEST(SnapshotJson, IntegersBeyondBoth64BitRangesAreRefused) {
  // As a double this one would round to -2^63 and pass for an integer it is not.
  EXPECT_EQ(readSnapshotJson(R"({"questionPoints": -9223372036854775809})").error,
            "/questionPoints: integer -9223372036854775809 is beyond the 64-bit range");
  EXPECT_EQ(readSnapshotJson(R"({"a": [18446744073709551616]})").error,
            "/a/0: integer 18446744073709551616 is beyond the 64-bit range");
  // Floating literals of any size stay floating, as long as they are finite.
  EXPECT_TRUE(readSnapshotJson(R"({"a": 1e300, "b": -9223372036854775809.0})").ok());
  EXPECT_FALSE(readSnapshotJson(R"({"a": 1e400})").ok());
}

TEST(SnapshotJson, WriterRoundTripsAndCoversEveryKind) {
  const std::string json =
      R"({"list":[1,-2,2.5,true,"نص",{}],"max":18446744073709551615,"nested":{"a~/b":[[]]}})";
  const JsonReadResult r = readSnapshotJson(json);
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(writeContextJson(r.dictionary), json);

  const ContextDictionary kinds{{"date", ContextDate{1700000000.5}},
                                {"data", ContextData{'M', 'a', 'n'}},
                                {"data1", ContextData{'M'}},
                                {"data2", ContextData{'M', 'a'}},
                                {"empty", ContextData{}},
                                {"bad", std::string("a\xFF")}};
  EXPECT_EQ(writeContextJson(kinds),
            "{\"bad\":\"a\xEF\xBF\xBD\",\"data\":\"TWFu\",\"data1\":\"TQ==\",\"data2\":\"TWE=\","
            "\"date\":1700000000.5,\"empty\":\"\"}");

  // JSON has no NaN: the writer gives null, and the reader refuses it where it stands.
  const std::string nan = writeContextJson({{"questionOpenedAt", std::nan("")}});
  EXPECT_EQ(readSnapshotJson(nan).error,
            "/questionOpenedAt: null is not allowed (the link cannot carry it)");
}

}  // namespace
}  // namespace dunvel
