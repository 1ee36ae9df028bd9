#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "preview/PreviewCommand.h"
#include "support/PreviewRun.h"

namespace dunvel {
namespace {

using Json = nlohmann::json;

// Every "text" shown in the tree, in order.
void collectTexts(const Json& element, std::vector<std::string>& texts) {
  if (element.contains("text")) texts.push_back(element["text"].get<std::string>());
  for (const Json& child : element["children"]) collectTexts(child, texts);
}
std::vector<std::string> texts(const Json& tree) {
  std::vector<std::string> result;
  collectTexts(tree, result);
  return result;
}

TEST(PreviewTree, PrintsTheRoutedScreenWithTheClockAtTheGivenMoment) {
  const std::string question =
      R"({"screen": "question", "questionPoints": 30, "questionMode": "سريع",
          "questionOpenedAt": 1700000000.25, "teams": [{"id": "t1", "name": "الصقور"}]})";
  ToolRun run = runPreview({"tree", "-", "--now", "1700000065.5"}, question);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const Json tree = Json::parse(run.out);
  EXPECT_EQ(tree["type"], "ContentView");
  EXPECT_EQ(tree["modifiers"][1]["layoutDirection"], "rightToLeft");
  ASSERT_EQ(tree["children"].size(), 1u);
  EXPECT_EQ(tree["children"][0]["type"], "HostRemoteView");
  EXPECT_EQ(texts(tree), (std::vector<std::string>{"1:05", "30", "سريع", "اعرض الإجابة"}));

  // The same snapshot as an answer: the award and no-answer controls.
  Json answer = Json::parse(question);
  answer["screen"] = "answer";
  run = runPreview({"tree", "-", "--now", "1700000001"}, answer.dump());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(texts(Json::parse(run.out)),
            (std::vector<std::string>{"0:00", "30", "سريع", "الصقور", "0", "محد جاوب"}));
}

TEST(PreviewTree, ReachableSetsThePublishedFlag) {
  ToolRun unreachable = runPreview({"tree", "-"}, R"({"screen": "idle"})");
  ASSERT_EQ(unreachable.exitCode, 0) << unreachable.err;
  EXPECT_EQ(texts(Json::parse(unreachable.out)),
            (std::vector<std::string>{"Dunvel", "افتح التطبيق على الآيفون"}));
  ToolRun reachable = runPreview({"tree", "--reachable", "-"}, R"({"screen": "idle"})");
  ASSERT_EQ(reachable.exitCode, 0) << reachable.err;
  EXPECT_EQ(texts(Json::parse(reachable.out)),
            (std::vector<std::string>{"Dunvel", "بانتظار بدء اللعب…"}));
}

TEST(PreviewTree, ExitCodesFollowTheStateCommand) {
  // Bad input: one line on standard error, nothing on standard output.
  for (const std::string& input :
       {std::string("{"), std::string(R"({"screen": null})"), std::string("[1]")}) {
    ToolRun run = runPreview({"tree", "-"}, input);
    EXPECT_EQ(run.exitCode, 1) << input;
    EXPECT_EQ(run.out, "") << input;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  ToolRun missing = runPreview({"tree", "/nonexistent/snapshot.json"}, "");
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("/nonexistent/snapshot.json"), std::string::npos) << missing.err;

  // Bad usage.
  EXPECT_EQ(runPreview({"tree"}, "").exitCode, 2);
  EXPECT_EQ(runPreview({"tree", "-", "--now"}, "{}").exitCode, 2);
  EXPECT_EQ(runPreview({"tree", "-", "--now", "soon"}, "{}").exitCode, 2);
  for (const char* now : {"nan", "inf", "-inf"}) {
    ToolRun run = runPreview({"tree", "-", "--now", now}, "{}");
    EXPECT_EQ(run.exitCode, 2) << now;
    EXPECT_EQ(run.out, "") << now;
    EXPECT_NE(run.err.find("--now"), std::string::npos) << run.err;
  }

  ToolRun help = runPreview({"tree", "--help"}, "");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--reachable"), std::string::npos);
}

TEST(PreviewTree, LayoutGivesFramesOnTheChosenFaceAndPngWritesIt) {
  const std::string board = R"({"screen": "board", "teams": [{"id": "a", "name": "الصقور"}]})";
  ToolRun run = runPreview({"tree", "-", "--layout", "--size", "41mm"}, board);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const Json tree = Json::parse(run.out);
  // The root fills the 41 mm face's width; the team name is one line, not cut.
  EXPECT_EQ(tree["frame"]["width"], 176.0);
  const Json* name = nullptr;
  std::vector<const Json*> pending{&tree};
  while (!pending.empty() && !name) {
    const Json* e = pending.back();
    pending.pop_back();
    if (e->value("text", "") == "الصقور") name = e;
    for (const Json& child : (*e)["children"]) pending.push_back(&child);
  }
  ASSERT_NE(name, nullptr);
  EXPECT_EQ((*name)["lines"], 1);
  EXPECT_EQ((*name)["truncated"], false);
  EXPECT_GT((*name)["frame"]["x"].get<double>(), 88.0);  // right to left: in the right half

  const std::string png = ::testing::TempDir() + "/board.png";
  EXPECT_EQ(runPreview({"png", "-", "-o", png, "--scale", "1"}, board).exitCode, 0);
  EXPECT_EQ(runPreview({"png", "-", "-o", "/nonexistent/dir/out.png"}, board).exitCode, 1);
  EXPECT_EQ(runPreview({"png", "-", "-o", png, "--size", "43mm"}, board).exitCode, 2);
  EXPECT_EQ(runPreview({"png", "-", "-o", png, "--scale", "0"}, board).exitCode, 2);
  EXPECT_EQ(runPreview({"png", "-"}, board).exitCode, 2);
}

// Every tool that lays out a face takes every case by its name, and only those.
TEST(PreviewTree, EveryCommandTakesEveryCaseByName) {
  const std::string board = R"({"screen": "board", "teams": [{"id": "t1", "name": "الصقور"}]})";
  const std::string png = ::testing::TempDir() + "/case.png";
  // Each case's width in points, and the time band's height above the screen.
  struct Case {
    const char* name;
    double width;
    double band;
  };
  for (const Case& c : {Case{"40mm", 162, 31}, Case{"41mm", 176, 34}, Case{"42mm", 187, 35},
                        Case{"44mm", 184, 35}, Case{"45mm", 198, 35}, Case{"46mm", 208, 36},
                        Case{"49mm", 205, 37}, Case{"49mm-3", 211, 37}}) {
    SCOPED_TRACE(c.name);
    const ToolRun tree = runPreview({"tree", "-", "--layout", "--size", c.name}, board);
    ASSERT_EQ(tree.exitCode, 0) << tree.err;
    const Json root = Json::parse(tree.out);
    EXPECT_EQ(root["frame"]["width"].get<double>(), c.width);
    EXPECT_EQ(root["frame"]["y"].get<double>(), c.band);
    EXPECT_EQ(runPreview({"png", "-", "-o", png, "--size", c.name, "--scale", "1"}, board).exitCode,
              0);
    EXPECT_EQ(runPreview({"a11y", "-", "--size", c.name}, board).exitCode, 0);
  }
  for (const char* other : {"43mm", "49mm-2", "all", "40MM", ""}) {
    const ToolRun run = runPreview({"png", "-", "-o", png, "--size", other}, board);
    EXPECT_EQ(run.exitCode, 2) << other;
    EXPECT_NE(run.err.find("is not 40mm, 41mm, 42mm, 44mm, 45mm, 46mm, 49mm or 49mm-3"),
              std::string::npos)
        << run.err;
  }
}

// Found by fuzzing the command line: arguments and file names may hold newlines, and quoted
// verbatim they split the error over several lines.
TEST(PreviewTree, ErrorsQuotingAnArgumentStayOnOneLine) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"tree", "missing\nsnapshot.json"},
        std::vector<std::string>{"tree", "-", "--now\n"},
        std::vector<std::string>{"tree", "-", "extra\r\x1b[2J"}}) {
    ToolRun run = runPreview(arguments, "{}");
    EXPECT_NE(run.exitCode, 0) << arguments[1];
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(run.err.back(), '\n') << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\r'), 0) << run.err;
  }
  EXPECT_NE(runPreview({"tree", "missing\nsnapshot.json"}, "").err.find("missing\\nsnapshot"),
            std::string::npos);
}

}  // namespace
}  // namespace dunvel
