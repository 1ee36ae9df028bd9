#include "wire/LinkFrame.h"

#include <gtest/gtest.h>

namespace dunvel {
namespace {

LinkFrame parsedOrFail(const std::string& line) {
  LinkFrame::Parsed parsed = LinkFrame::parse(line);
  EXPECT_TRUE(parsed.frame) << line << ": " << parsed.problem;
  EXPECT_EQ(parsed.problem, "") << line;
  return parsed.frame.value_or(LinkFrame{});
}

std::string problemOf(const std::string& line) {
  const LinkFrame::Parsed parsed = LinkFrame::parse(line);
  EXPECT_FALSE(parsed.frame) << line;
  EXPECT_NE(parsed.problem, "") << line;
  return parsed.problem;
}

TEST(LinkFrame, WrittenLinesReadBackAndAreSingleLines) {
  const ContextDictionary payload{
      {"action", "award"},
      {"teamId", "فريق \"ب\"\n"},
      {"nested", ContextDictionary{{"list", ContextArray{1, 2.5, true}}}}};
  for (const std::string& line :
       {LinkFrame::contextLine(payload), LinkFrame::messageLine(payload)}) {
    ASSERT_FALSE(line.empty());
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "a frame is exactly one line";
    EXPECT_EQ(parsedOrFail(line.substr(0, line.size() - 1)).payload, payload);
  }
  EXPECT_EQ(parsedOrFail(LinkFrame::contextLine(payload)).type, LinkFrame::Type::context);
  EXPECT_EQ(parsedOrFail(LinkFrame::messageLine(payload)).type, LinkFrame::Type::message);
  EXPECT_FALSE(parsedOrFail(LinkFrame::reachabilityLine(false)).reachable);
  EXPECT_TRUE(parsedOrFail(LinkFrame::reachabilityLine(true)).reachable);

  // An error quoting bytes that are not UTF-8 still goes out, as valid JSON.
  const LinkFrame error = parsedOrFail(LinkFrame::errorLine("bad \xff byte \"here\""));
  EXPECT_EQ(error.type, LinkFrame::Type::error);
  EXPECT_NE(error.message.find("\"here\""), std::string::npos);
}

TEST(LinkFrame, RefusalsNameWhatIsWrongAndWhere) {
  EXPECT_NE(problemOf("{\"type\":").find("line 1, column"), std::string::npos);
  EXPECT_NE(problemOf(R"({"type":7})").find("/type"), std::string::npos);
  EXPECT_NE(problemOf(R"({"type":"context"})").find("/payload"), std::string::npos);
  EXPECT_NE(problemOf(R"({"type":"message","payload":"x"})").find("/payload"), std::string::npos);
  EXPECT_NE(problemOf(R"({"type":"context","payload":{"a":[{"b":null}]}})").find("/payload/a/0/b"),
            std::string::npos);
  EXPECT_NE(problemOf(R"({"type":"reachability"})").find("/reachable"), std::string::npos);
  EXPECT_NE(problemOf(R"({"type":"reachability","reachable":1})").find("/reachable"),
            std::string::npos);
  EXPECT_NE(problemOf(R"({"type":"Context","payload":{}})").find("\"Context\""), std::string::npos);
}

}  // namespace
}  // namespace dunvel
