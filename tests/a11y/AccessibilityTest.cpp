// What a screen reader reads of each screen, and what the audit flags: checked for what a blind
// host depends on (order, roles, labels, controls) on the example snapshots, and each audit rule
// on a face built to break it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "RenderedScreen.h"
#include "a11y/AccessibilityAudit.h"
#include "a11y/AccessibilityTree.h"
#include "platform/runloop/ManualRunLoop.h"
#include "preview/AccessibilityCommand.h"
#include "support/PreviewRun.h"
#include "views/toolkit/Node.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

std::vector<AccessibilityElement> read(const RenderedScreen& screen) {
  return accessibilityElements(*screen.layout, screen.renderer.time());
}

std::vector<std::string> labels(const std::vector<AccessibilityElement>& elements) {
  std::vector<std::string> out;
  for (const AccessibilityElement& e : elements) out.push_back(e.label);
  return out;
}

std::vector<AccessibilityRole> roles(const std::vector<AccessibilityElement>& elements) {
  std::vector<AccessibilityRole> out;
  for (const AccessibilityElement& e : elements) out.push_back(e.role);
  return out;
}

std::vector<std::string> rules(const std::vector<AuditFinding>& findings) {
  std::vector<std::string> out;
  for (const AuditFinding& f : findings) out.push_back(f.rule);
  return out;
}

using R = AccessibilityRole;

TEST(AccessibilityTree, TheExamplesReadTimeFirstThenTopToBottomRightToLeft) {
  const RenderedScreen idle(exampleSnapshot("idle"), HostReach::unreachable);
  EXPECT_EQ(labels(read(idle)),
            (std::vector<std::string>{"7:45", "يد التحكم", "Dunvel", "افتح التطبيق على الآيفون"}));
  EXPECT_EQ(roles(read(idle)), (std::vector<R>{R::text, R::image, R::text, R::text}));

  // The status row reads from its right: the timer symbol, the clock, then the points.
  const RenderedScreen question(exampleSnapshot("question"));
  EXPECT_EQ(labels(read(question)),
            (std::vector<std::string>{"7:45", "مؤقت", "0:42", "10", "سؤال سرعة", "اعرض الإجابة"}));
  EXPECT_EQ(read(question).back().role, R::button);
  EXPECT_EQ(read(question).back().traits, (std::vector<std::string>{"button"}));

  // Each award control is one button read as its team's name, then its points; the no-answer
  // control below the face's edge is read too, marked out of sight.
  const RenderedScreen answer(exampleSnapshot("answer"));
  const std::vector<AccessibilityElement> controls = read(answer);
  ASSERT_EQ(controls.size(), 9u);
  const std::vector<std::string> controlLabels = labels(controls);
  EXPECT_EQ(std::vector<std::string>(controlLabels.begin() + 5, controlLabels.end()),
            (std::vector<std::string>{"الصقور, 40", "النمور, 35", "النجوم, 20", "محد جاوب"}));
  for (std::size_t i = 5; i < controls.size(); ++i) EXPECT_EQ(controls[i].role, R::button);
  EXPECT_TRUE(controls[7].showing);
  EXPECT_FALSE(controls[8].showing);
  EXPECT_GT(controls[8].frame.maxY(), answer.renderer.face().size.height);

  // Rows read name then points; the dots are no elements.
  const RenderedScreen board(exampleSnapshot("board"));
  const std::vector<AccessibilityElement> rows = read(board);
  EXPECT_EQ(rows.size(), 10u);
  const std::vector<std::string> rowLabels = labels(rows);
  EXPECT_EQ(std::vector<std::string>(rowLabels.begin() + 1, rowLabels.begin() + 5),
            (std::vector<std::string>{"ليلة الأسئلة", "الصقور", "50", "النمور"}));
  for (const AccessibilityElement& e : rows) EXPECT_EQ(e.role, R::text) << e.label;

  // The title row reads the trophy before the name, on its right.
  const RenderedScreen tournament(exampleSnapshot("tournament"));
  const std::vector<std::string> glance = labels(read(tournament));
  ASSERT_GE(glance.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(glance.begin() + 1, glance.begin() + 3),
            (std::vector<std::string>{"كأس", "كأس الحي"}));
}

TEST(AccessibilityAudit, FindsTheTurnDotAndACutNameButNothingOnTheQuestionScreen) {
  const RenderedScreen question(exampleSnapshot("question"));
  EXPECT_TRUE(auditAccessibility(read(question), *question.layout).empty());

  // The gold dot marks the turn by colour alone; the finding names the row's team.
  GameState turn = snapshotFromJson(
      R"({"screen": "board", "teams": [{"id": "a", "name": "الصقور"}, {"id": "b", "name": "النمور"}],)"
      R"( "turnTeamId": "b"})");
  const RenderedScreen board(turn);
  const std::vector<AccessibilityElement> elements = read(board);
  const std::vector<AuditFinding> findings = auditAccessibility(elements, *board.layout);
  ASSERT_EQ(rules(findings), (std::vector<std::string>{"colour-only"}));
  EXPECT_EQ(elements.at(findings[0].element - 1).label, "النمور");

  // A name that fits at the case's own size is cut at AX3 on 41 mm.
  turn.turnTeamId.reset();
  turn.teams[0] = TeamState("a", "فريق الأصدقاء", 5);
  const RenderedScreen fits(turn, HostReach::reachable, kTestNow, FaceSize::mm45);
  EXPECT_TRUE(auditAccessibility(read(fits), *fits.layout).empty());
  RenderedScreen large(turn, HostReach::reachable, kTestNow, FaceSize::mm41);
  large.renderer.setTextSize(TextSize::ax3);
  const FaceLayout& ax3 = large.renderer.layout(large.preview.tree());
  const std::vector<AccessibilityElement> ax3Elements = accessibilityElements(ax3, "7:45");
  const std::vector<AuditFinding> cut = auditAccessibility(ax3Elements, ax3);
  ASSERT_EQ(rules(cut), (std::vector<std::string>{"truncated"}));
  EXPECT_EQ(ax3Elements.at(cut[0].element - 1).label, "فريق الأصدقاء");
}

TEST(AccessibilityAudit, FaintTextAndASmallButtonAreFlaggedWithTheirRule) {
  ManualRunLoop loop;
  ViewGraph graph(VStack(HorizontalAlignment::center, 8,
                         {
                             Text(Verbatim{"faint"}).foregroundColor(Color::gray().opacity(0.5)),
                             Text(Verbatim{"plain"}),
                             Button([] {}, Text(Verbatim{"ok"})).frame(60, 30),
                         })
                      .environment(LayoutDirection::rightToLeft),
                  EnvironmentValues{}, loop);
  graph.evaluate();
  FaceRenderer renderer(FaceSize::mm45);
  const FaceLayout& layout = renderer.layout(graph.tree());
  const std::vector<AccessibilityElement> elements = accessibilityElements(layout, "");
  ASSERT_EQ(labels(elements), (std::vector<std::string>{"faint", "plain", "ok"}));
  const std::vector<AuditFinding> findings = auditAccessibility(elements, layout);
  ASSERT_EQ(rules(findings), (std::vector<std::string>{"contrast", "hit-area"}));
  EXPECT_EQ(findings[0].element, 1u);
  EXPECT_NE(findings[0].message.find("4.5:1"), std::string::npos);
  EXPECT_EQ(findings[1].element, 3u);
  EXPECT_NE(findings[1].message.find("60 by 30"), std::string::npos);
}

// dunvel-preview a11y, as a host app's CI calls it: JSON in reading order, and an audit whose
// exit status says whether anything was flagged.
TEST(AccessibilityCommand, PrintsTheTreeAsJsonAndTheAuditsStatusSaysIfAnythingWasFlagged) {
  const auto run = [](std::vector<std::string> arguments, nlohmann::json& json) {
    const ToolRun ran = runPreview(std::move(arguments));
    json = nlohmann::json::parse(ran.out);
    return ran.exitCode;
  };
  const std::string examples = std::string(DUNVEL_SOURCE_DIR) + "/examples/";
  nlohmann::json tree;
  ASSERT_EQ(run({"a11y", examples + "answer.json", "--json", "--now", "1765136742"}, tree), 0);
  ASSERT_EQ(tree.size(), 9u);
  EXPECT_EQ(tree[5]["role"], "button");
  EXPECT_EQ(tree[5]["label"], "الصقور, 40");
  EXPECT_EQ(tree[5]["traits"], nlohmann::json::array({"button"}));
  EXPECT_EQ(tree[5]["frame"], nlohmann::json::array({4.0, 90.0, 190.0, 44.0}));
  EXPECT_EQ(tree[8]["showing"], false);

  nlohmann::json audit;
  EXPECT_EQ(run({"a11y", examples + "question.json", "--audit", "--json"}, audit), 0);
  EXPECT_EQ(audit, nlohmann::json::array());
  EXPECT_EQ(run({"a11y", examples + "board.json", "--audit", "--json"}, audit), 1);
  ASSERT_FALSE(audit.empty());
  EXPECT_EQ(audit[0]["rule"], "colour-only");
  EXPECT_TRUE(audit[0]["element"].is_number_unsigned());
}

// The text output quotes each label as a field that ends at its own quote: a team name holding
// quotes or a right-to-left override cannot forge the fields after it or reorder the line, and
// --json gives the label as it is.
TEST(AccessibilityCommand, TextOutputQuotesLabelsAndEscapesWhatWouldMisleadATerminal) {
  const std::string snapshot =
      R"({"screen":"answer","teams":[{"id":"t","name":"say \"hi\" \u202eX","points":5}]})";
  const ToolRun text = runPreview({"a11y", "-"}, snapshot);
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_NE(text.out.find("\n5 button \"say \\\"hi\\\" \\u202eX, 5\" [button] ("),
            std::string::npos)
      << text.out;
  const ToolRun json = runPreview({"a11y", "-", "--json"}, snapshot);
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(nlohmann::json::parse(json.out)[4]["label"], "say \"hi\" \u202eX, 5");
}

// The audit judges what a screen shows, not where its list stands: the turn team's dot speaks
// by colour alone at the top of a long board and at its bottom, scrolled out of sight alike.
TEST(AccessibilityCommand, TheAuditFindsTheSameWhereverTheListStands) {
  for (const int turn : {0, 4, 9}) {
    SCOPED_TRACE(turn);
    nlohmann::json board = {{"screen", "board"}, {"turnTeamId", "t" + std::to_string(turn)}};
    for (int i = 0; i < 10; ++i) {
      board["teams"].push_back(
          {{"id", "t" + std::to_string(i)}, {"name", "Team " + std::to_string(i)}, {"points", i}});
    }
    const ToolRun tree = runPreview({"a11y", "-", "--json"}, board.dump());
    const ToolRun audit = runPreview({"a11y", "-", "--audit", "--json"}, board.dump());
    ASSERT_EQ(audit.exitCode, 1) << audit.out << audit.err;
    const nlohmann::json elements = nlohmann::json::parse(tree.out);
    const nlohmann::json findings = nlohmann::json::parse(audit.out);
    ASSERT_EQ(findings.size(), 1u) << findings.dump();
    EXPECT_EQ(findings[0]["rule"], "colour-only");
    const std::size_t element = findings[0]["element"];
    ASSERT_GE(element, 1u);
    ASSERT_LE(element, elements.size());
    EXPECT_EQ(elements[element - 1]["label"], "Team " + std::to_string(turn)) << elements.dump();
  }
}

// A reading near sight and a bounded reading place and read only part of a long board: each
// must give exactly the whole reading's elements it stands for, wherever the list stands. Each
// reading has a layout of its own, since the whole reading places every row.
TEST(AccessibilityTree, ReadingsNearSightOrBoundedGiveTheWholeReadingsElements) {
  nlohmann::json board = {{"screen", "board"}, {"turnTeamId", "t3"}};
  for (int i = 0; i < 300; ++i) {
    board["teams"].push_back(
        {{"id", "t" + std::to_string(i)}, {"name", "Team " + std::to_string(i)}, {"points", i}});
  }
  const GameState state = snapshotFromJson(board.dump());
  std::string scroll;
  {
    const RenderedScreen first(state);
    ASSERT_EQ(first.layout->scrollViews().size(), 1u);
    scroll = first.layout->scrollViews()[0].identity;
  }
  const auto describe = [](const std::vector<AccessibilityElement>& elements) {
    std::vector<std::string> out;
    for (const AccessibilityElement& e : elements) {
      out.push_back(e.label + " " + std::to_string(e.frame.y) + " " + std::to_string(e.showing));
    }
    return out;
  };
  constexpr std::size_t kMost = 100;
  for (const double offset : {0.0, 5000.0, 1e7}) {
    SCOPED_TRACE(offset);
    const ScrollOffsets offsets{{scroll, offset}};
    const auto at = [&] {
      return RenderedScreen(state, HostReach::reachable, kTestNow, FaceSize::mm45, 2.0, offsets);
    };
    const RenderedScreen whole = at();
    const std::vector<AccessibilityElement> all = read(whole);
    ASSERT_GT(all.size(), 600u);

    const double height = whole.renderer.face().size.height;
    const Rect near{-1e6, -height, 2e6, 3 * height};
    std::vector<AccessibilityElement> nearAll;
    for (const AccessibilityElement& e : all) {
      if (e.element == nullptr || (e.frame.maxY() >= near.y && e.frame.y <= near.maxY())) {
        nearAll.push_back(e);
      }
    }
    const RenderedScreen nearScreen = at();
    EXPECT_EQ(
        describe(accessibilityElementsNear(*nearScreen.layout, nearScreen.renderer.time(), near)),
        describe(nearAll));

    const RenderedScreen bounded = at();
    const AccessibilityReading reading =
        readAccessibility(*bounded.layout, bounded.renderer.time(), kMost);
    EXPECT_EQ(describe(reading.elements), describe({all.begin(), all.begin() + kMost}));
    EXPECT_EQ(reading.leftOut, all.size() - kMost);
    // The audit of the first elements finds what the whole audit finds of them.
    std::vector<std::string> wholeFindings;
    for (const AuditFinding& f : auditAccessibility(all, *whole.layout)) {
      if (f.element <= kMost) wholeFindings.push_back(std::to_string(f.element) + f.rule);
    }
    std::vector<std::string> boundedFindings;
    for (const AuditFinding& f : auditAccessibility(reading.elements, *bounded.layout)) {
      boundedFindings.push_back(std::to_string(f.element) + f.rule);
    }
    EXPECT_EQ(boundedFindings, wholeFindings);

    const RenderedScreen unbounded = at();
    const AccessibilityReading everything =
        readAccessibility(*unbounded.layout, unbounded.renderer.time(), all.size());
    EXPECT_EQ(describe(everything.elements), describe(all));
    EXPECT_EQ(everything.leftOut, 0u);
  }
}

// A board of more elements than a reading lists gives its first ones and counts the rest: on
// the last line of the text, on standard error beside --json's array.
TEST(AccessibilityCommand, ALongBoardListsItsFirstElementsAndCountsTheRest) {
  nlohmann::json board = {{"screen", "board"}};
  const int teams = static_cast<int>(kMostElementsListed);
  for (int i = 0; i < teams; ++i) {
    board["teams"].push_back(
        {{"id", "t" + std::to_string(i)}, {"name", "Team " + std::to_string(i)}, {"points", i}});
  }
  // The time, and a name and points a team.
  const std::size_t all = 1 + 2 * kMostElementsListed;
  const std::string more = "and " + std::to_string(all - kMostElementsListed) +
                           " more elements, not listed (the first " +
                           std::to_string(kMostElementsListed) + " in reading order are)";
  const ToolRun text = runPreview({"a11y", "-"}, board.dump());
  ASSERT_EQ(text.exitCode, 0) << text.err;
  std::istringstream lines(text.out);
  std::vector<std::string> read;
  for (std::string line; std::getline(lines, line);) read.push_back(line);
  ASSERT_EQ(read.size(), kMostElementsListed + 1);
  EXPECT_EQ(read.back(), more);
  EXPECT_EQ(read[kMostElementsListed - 1].rfind(std::to_string(kMostElementsListed) + " ", 0), 0u);

  const ToolRun json = runPreview({"a11y", "-", "--json"}, board.dump());
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_EQ(nlohmann::json::parse(json.out).size(), kMostElementsListed);
  EXPECT_EQ(json.err, "dunvel-preview: -: " + more + "\n");
}

}  // namespace
}  // namespace dunvel
