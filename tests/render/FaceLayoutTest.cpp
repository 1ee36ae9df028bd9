#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "RenderedScreen.h"
#include "render/DesignSystem.h"
#include "render/LayoutBuilder.h"

namespace dunvel {
namespace {

constexpr double kFaceWidth = 198.0;  // 45 mm

const Element* parentOf(const Element& root, const Element& child) {
  return root.find([&child](const Element& e) {
    for (const Element& c : e.children) {
      if (&c == &child) return true;
    }
    return false;
  });
}

bool inside(const Rect& inner, const Rect& outer) {
  constexpr double e = 1e-6;
  return inner.x >= outer.x - e && inner.y >= outer.y - e && inner.maxX() <= outer.maxX() + e &&
         inner.maxY() <= outer.maxY() + e;
}

std::string boardOf(int teams, const std::string& name = "فريق") {
  std::string json = R"({"screen": "board", "gameName": "ليلة", "teams": [)";
  for (int i = 0; i < teams; ++i) {
    if (i) json += ',';
    json += R"({"id": "t)" + std::to_string(i) + R"(", "name": ")" + name + R"(", "points": )" +
            std::to_string(i * 5) + "}";
  }
  return json + "]}";
}

TEST(FaceLayout, ScoreboardRowsRunRightToLeftWithTheirGaps) {
  const RenderedScreen s(exampleSnapshot("board"));
  const Element& root = s.preview.tree();
  const std::vector<const Element*> rows = root.findAll(ElementKind::hstack);
  ASSERT_EQ(rows.size(), 4u);

  // The header stands at the right, in line with the rows' right edge.
  const Rect header = s.frameOfText("ليلة الأسئلة");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Element& row = *rows[i];
    const Rect frame = s.frame(row);
    // Rows span the width inside the 4-point side paddings.
    EXPECT_DOUBLE_EQ(frame.x, 4.0);
    EXPECT_DOUBLE_EQ(frame.width, kFaceWidth - 8.0);
    EXPECT_DOUBLE_EQ(header.maxX(), frame.maxX());
    if (i > 0) {
      EXPECT_NEAR(frame.y - s.frame(*rows[i - 1]).maxY(), 6.0, 1e-9);
    }

    // Dot at the right edge inside the 8-point padding, then the name, the points at the left.
    const Rect dot = s.frame(row.children[0]);
    const Rect name = s.frame(row.children[1]);
    const Rect points = s.frame(row.children[3]);
    EXPECT_EQ(dot.width, 8.0);
    EXPECT_NEAR(dot.maxX(), frame.maxX() - 8.0, 1e-9);
    EXPECT_LT(name.maxX(), dot.x);
    EXPECT_NEAR(points.x, frame.x + 8.0, 1e-9);
    EXPECT_GT(name.x, points.maxX());
    EXPECT_TRUE(inside(name, frame));
  }
  // The long name is cut to one line; its points still show on the face.
  const Element& longName = rows[3]->children[1];
  EXPECT_EQ(s.layout->linesOf(longName), 1);
  EXPECT_TRUE(s.layout->isTruncated(longName));
  EXPECT_FALSE(s.layout->isTruncated(rows[0]->children[1]));
  EXPECT_GE(s.frame(rows[3]->children[3]).x, 0.0);
}

TEST(FaceLayout, HostRemoteStatusRowAndControlsKeepTheirPlaces) {
  GameState state = exampleSnapshot("answer");
  const RenderedScreen s(state);
  const Element& root = s.preview.tree();
  const Element& timer = *root.find([](const Element& e) { return e.systemName == "timer"; });
  const Element& statusRow = *parentOf(root, timer);
  const Element& stack = *parentOf(root, statusRow);

  // Timer symbol at the right inside both 4-point paddings, the clock 6 points to its left,
  // the question's points at the left edge.
  const Rect symbol = s.frame(timer);
  const Rect clock = s.frame(statusRow.children[1]);
  EXPECT_NEAR(symbol.maxX(), kFaceWidth - 8.0, 1e-9);
  EXPECT_NEAR(symbol.x - clock.maxX(), 6.0, 1e-9);
  EXPECT_NEAR(s.frame(statusRow.children[3]).x, 8.0, 1e-9);

  // The stack's children stand 8 points apart; the controls take its full width.
  for (std::size_t i = 1; i < stack.children.size(); ++i) {
    EXPECT_NEAR(s.frame(stack.children[i]).y - s.frame(stack.children[i - 1]).maxY(), 8.0, 1e-9);
  }
  const std::vector<const Element*> buttons = root.findAll(ElementKind::button);
  ASSERT_EQ(buttons.size(), 4u);
  for (const Element* button : buttons) {
    EXPECT_DOUBLE_EQ(s.frame(*button).x, 4.0);
    EXPECT_DOUBLE_EQ(s.frame(*button).width, kFaceWidth - 8.0);
  }
  // An award control's name is right of its points.
  const Rect name = s.frameOfText("الصقور");
  const Rect points = s.frameOfText("40");
  EXPECT_GT(name.x, points.maxX());
}

TEST(FaceLayout, TournamentCardSpansTheWidthAndLongTextsWrapOrCut) {
  const std::string longName(300, 'W');
  const std::string longStatus =
      "المباراة جارية الآن في الملعب الكبير والجمهور ينتظر النتيجة النهائية بفارغ الصبر";
  const RenderedScreen s(snapshotFromJson(R"({"screen": "tournament", "tournament": {
      "name": "كأس الحي", "roundLabel": "نصف النهائي", "teamA": ")" +
                                          longName + R"(", "teamB": "النمور", "status": ")" +
                                          longStatus + R"("}})"));
  const Element& root = s.preview.tree();
  const Element& trophy =
      *root.find([](const Element& e) { return e.systemName == "trophy.fill"; });
  EXPECT_NEAR(s.frame(trophy).x - s.frameOfText("كأس الحي").maxX(), 6.0, 1e-9);

  // The card spans the width inside the root's default 8-point padding; its texts sit inside
  // its 10-point inset, 4 points apart.
  const Element& teamA = s.text(longName);
  const Element& card = *parentOf(root, teamA);
  const Rect cardFrame = s.frame(card);
  EXPECT_DOUBLE_EQ(cardFrame.x, 8.0);
  EXPECT_DOUBLE_EQ(cardFrame.width, kFaceWidth - 16.0);
  const Rect inner{cardFrame.x + 10, cardFrame.y + 10, cardFrame.width - 20, cardFrame.height - 20};
  for (const Element& child : card.children) EXPECT_TRUE(inside(s.frame(child), inner));
  EXPECT_NEAR(s.frame(card.children[1]).y - s.frame(card.children[0]).maxY(), 4.0, 1e-9);
  EXPECT_EQ(s.layout->linesOf(teamA), 1);
  EXPECT_TRUE(s.layout->isTruncated(teamA));

  // The status wraps in the room the face has left, and no further: its last line shown ends
  // the text with "…", inside the face.
  const Element& status = s.text(longStatus);
  EXPECT_GT(*s.layout->linesOf(status), 1);
  EXPECT_LE(s.frame(status).width, kFaceWidth - 16.0);
  EXPECT_LE(s.frame(status).maxY(), 242.0);
}

TEST(FaceLayout, ListTallerThanTheFaceScrollsWithinItsContent) {
  const GameState board = snapshotFromJson(boardOf(20));
  const RenderedScreen top(board);
  ASSERT_EQ(top.layout->scrollViews().size(), 1u);
  const ScrollViewLayout& scroll = top.layout->scrollViews()[0];
  EXPECT_GT(scroll.contentHeight, scroll.viewport.height);
  EXPECT_EQ(scroll.offset, 0.0);

  const std::vector<const Element*> rows = top.preview.tree().findAll(ElementKind::hstack);
  const RenderedScreen moved(board, HostReach::reachable, kTestNow, FaceSize::mm45, 2.0,
                             {{scroll.identity, 30.0}});
  const std::vector<const Element*> movedRows = moved.preview.tree().findAll(ElementKind::hstack);
  ASSERT_EQ(movedRows.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_NEAR(moved.frame(*movedRows[i]).y, top.frame(*rows[i]).y - 30.0, 1e-9);
  }

  // Past the end, the offset stops where the last row meets the bottom.
  const RenderedScreen end(board, HostReach::reachable, kTestNow, FaceSize::mm45, 2.0,
                           {{scroll.identity, 1e9}});
  const ScrollViewLayout& clamped = end.layout->scrollViews()[0];
  EXPECT_DOUBLE_EQ(clamped.offset, clamped.maxOffset());
  const Rect last = end.frame(*end.preview.tree().findAll(ElementKind::hstack).back());
  EXPECT_NEAR(last.maxY(), clamped.viewport.maxY(), 1e-6);
  const RenderedScreen before(board, HostReach::reachable, kTestNow, FaceSize::mm45, 2.0,
                              {{scroll.identity, -5}});
  EXPECT_EQ(before.layout->scrollViews()[0].offset, 0.0);
}

TEST(FaceLayout, TheLongestBoardScrollsToItsLastRow) {
  // As many teams as fit a snapshot line under 1 MiB, the last one named.
  std::string json = R"({"screen":"board","teams":[)";
  for (int i = 0; i < 95'304; ++i) json += R"({"id":""},)";
  json += R"({"id":"","name":"الأخير","points":7}]})";
  const GameState board = snapshotFromJson(json);
  ASSERT_EQ(board.teams.size(), 95'305u);
  const RenderedScreen top(board);
  ASSERT_EQ(top.layout->scrollViews().size(), 1u);
  const std::string identity = top.layout->scrollViews()[0].identity;

  const RenderedScreen end(board, HostReach::reachable, kTestNow, FaceSize::mm45, 2.0,
                           {{identity, 1e9}});
  const ScrollViewLayout& scroll = end.layout->scrollViews()[0];
  EXPECT_DOUBLE_EQ(scroll.offset, scroll.maxOffset());
  const std::vector<const Element*> rows = end.preview.tree().findAll(ElementKind::hstack);
  ASSERT_EQ(rows.size(), 95'305u);
  const Rect last = end.frame(*rows.back());
  EXPECT_NEAR(last.maxY(), scroll.viewport.maxY(), 1e-6);
  // Every row is as tall as the first, 6 points apart, all the way down.
  const Rect first = top.frame(*top.preview.tree().findAll(ElementKind::hstack).front());
  EXPECT_NEAR(last.height, first.height, 1e-9);
  EXPECT_NEAR(scroll.contentHeight, 95'305 * (first.height + 6.0) - 6.0, 1e-3);
  const Rect name = end.frameOfText("الأخير");
  EXPECT_TRUE(inside(name, scroll.viewport));
  EXPECT_EQ(end.layout->linesOf(*end.preview.tree().findText("الأخير")), 1);
}

// A layout placed again for a scroll answers and paints exactly as a new layout of the tree at
// that offset: every frame, text, button, scroll view and pixel.
void expectSameAsNewLayout(const RenderedScreen& again, const RenderedScreen& fresh) {
  cairo_surface_t* a = again.renderer.image();
  cairo_surface_t* b = fresh.renderer.image();
  const auto bytes = static_cast<std::size_t>(cairo_image_surface_get_stride(a)) *
                     static_cast<std::size_t>(cairo_image_surface_get_height(a));
  EXPECT_EQ(std::memcmp(cairo_image_surface_get_data(a), cairo_image_surface_get_data(b), bytes),
            0);
  ASSERT_EQ(again.layout->scrollViews().size(), fresh.layout->scrollViews().size());
  for (std::size_t i = 0; i < fresh.layout->scrollViews().size(); ++i) {
    const ScrollViewLayout& x = again.layout->scrollViews()[i];
    const ScrollViewLayout& y = fresh.layout->scrollViews()[i];
    EXPECT_EQ(x.identity, y.identity);
    EXPECT_EQ(x.viewport, y.viewport);
    EXPECT_EQ(x.contentHeight, y.contentHeight);
    EXPECT_EQ(x.offset, y.offset);
  }
  ASSERT_EQ(again.layout->buttons().size(), fresh.layout->buttons().size());
  for (std::size_t i = 0; i < fresh.layout->buttons().size(); ++i) {
    EXPECT_EQ(again.layout->buttons()[i].element->identity,
              fresh.layout->buttons()[i].element->identity);
    EXPECT_EQ(again.layout->buttons()[i].visible, fresh.layout->buttons()[i].visible);
  }
  const auto all = [](const Element&) { return true; };
  const std::vector<const Element*> xs = again.preview.tree().findAll(all);
  const std::vector<const Element*> ys = fresh.preview.tree().findAll(all);
  ASSERT_EQ(xs.size(), ys.size());
  for (std::size_t i = 0; i < xs.size(); ++i) {
    EXPECT_EQ(again.layout->frameOf(*xs[i]), fresh.layout->frameOf(*ys[i])) << xs[i]->identity;
    EXPECT_EQ(again.layout->linesOf(*xs[i]), fresh.layout->linesOf(*ys[i])) << xs[i]->identity;
    EXPECT_EQ(again.layout->isTruncated(*xs[i]), fresh.layout->isTruncated(*ys[i]));
  }
}

TEST(FaceLayout, AScrollPlacedAgainIsTheNewLayoutAtThatOffset) {
  // A long board, and the answer screen's award buttons in a scroll view; names long enough to
  // be cut, and one that wraps.
  GameState board = snapshotFromJson(boardOf(600, "فريق الصقور الذهبية من المدينة القديمة"));
  board.teams[7] = TeamState("t7", "", 0);
  GameState answer = exampleSnapshot("answer");
  for (int i = 0; i < 40; ++i) {
    answer.teams.emplace_back("a" + std::to_string(i), "فريق " + std::to_string(i), i);
  }
  for (const GameState& state : {board, answer}) {
    RenderedScreen again(state);
    ASSERT_FALSE(again.layout->scrollViews().empty());
    const std::string identity = again.layout->scrollViews()[0].identity;
    // Down by odd amounts, past the end (clamped) and back to the top.
    for (const double offset : {333.25, 4000.0, 77.5, 1e9, 0.0}) {
      const FaceLayout* placed = again.renderer.scroll({{identity, offset}});
      ASSERT_EQ(placed, again.layout);
      again.renderer.paint();
      const RenderedScreen fresh(state, HostReach::reachable, kTestNow, FaceSize::mm45, 2.0,
                                 {{identity, offset}});
      SCOPED_TRACE(offset);
      expectSameAsNewLayout(again, fresh);
    }
  }
  // The turn of a minute: only the time is laid out again.
  RenderedScreen again(board);
  again.renderer.setTime(timeText(kTestNow + 60));
  again.renderer.placeTime();
  again.renderer.paint();
  expectSameAsNewLayout(again, RenderedScreen(board, HostReach::reachable, kTestNow + 60));
}

TEST(FaceLayout, HostileTextsStayInsideTheirRows) {
  const std::string megabyte(1 << 20, 'x');
  std::string combining = "e";
  for (int i = 0; i < 2000; ++i) combining += "\u0301";
  const std::vector<std::string> names = {
      megabyte, combining, "\U0001F600\U0001F3C6 فريق Team", "tab\there\nnew\x01line",
      "",       "\u202E"};
  for (const std::string& name : names) {
    GameState state = snapshotFromJson(boardOf(1));
    state.teams = {TeamState("t", name, -9223372036854775807LL - 1)};
    const RenderedScreen s(state);
    const Element& row = *s.preview.tree().findAll(ElementKind::hstack).at(0);
    const Rect rowFrame = s.frame(row);
    for (const Element& child : row.children) EXPECT_TRUE(inside(s.frame(child), rowFrame));
    EXPECT_EQ(s.layout->linesOf(row.children[1]), 1);
  }
  // Ten thousand rows lay out and paint; the content is as tall as all of them.
  const RenderedScreen many(snapshotFromJson(boardOf(10000)));
  const ScrollViewLayout& scroll = many.layout->scrollViews().at(0);
  const Rect firstRow = many.frame(*many.preview.tree().findAll(ElementKind::hstack).at(0));
  EXPECT_GT(scroll.contentHeight, 10000 * (firstRow.height + 6.0) - 6.0);
}

TEST(FaceLayout, AnUnchangedFrameShapesNothingAndATickOnlyTheClock) {
  const GameState question = exampleSnapshot("question");
  const ScreenPreview first(question, HostReach::reachable, Date{kTestNow});
  FaceRenderer renderer(FaceSize::mm45);
  renderer.layout(first.tree());
  const std::size_t shaped = renderer.textEngine().stats().shaped;
  renderer.layout(first.tree());
  EXPECT_EQ(renderer.textEngine().stats().shaped, shaped);

  const ScreenPreview tick(question, HostReach::reachable, Date{kTestNow + 1.0});
  renderer.layout(tick.tree());
  // The clock's new text, once: its row has room for each of its children at its natural
  // width, so none is probed offered no width (a shaping wrapped at every character).
  EXPECT_EQ(renderer.textEngine().stats().shaped, shaped + 1);
}

// A tree that differs from the last only in a text keeps the last layout, whatever became of
// the last tree: a new text that takes the same room is only shaped, another measured again
// with the boxes around it. A tree of another shape is laid out anew. Either way every box
// stands where a new layout of the tree puts it.
TEST(FaceLayout, ANewTextIsPlacedInTheLastLayoutAndATreeOfAnotherShapeLaidOutAnew) {
  const auto rowShowing = [](const std::string& clock, const std::string& points) {
    Element row;
    row.kind = ElementKind::hstack;
    row.identity = "row";
    for (const std::string& shown : {clock, points}) {
      Element text;
      text.kind = ElementKind::text;
      text.identity = "row/" + std::to_string(row.children.size());
      text.text = Verbatim{shown};
      Modifier font;
      font.kind = ModifierKind::font;
      font.font = Font::title3().monospacedDigit();
      text.modifiers = {font};
      row.children.push_back(text);
    }
    // As the clock's row: a spacer between its texts, so that it spans the face.
    Element spacer;
    spacer.kind = ElementKind::spacer;
    spacer.identity = "row/spacer";
    row.children.insert(row.children.begin() + 1, spacer);
    return row;
  };
  const auto expectAsNew = [&rowShowing](const FaceLayout& layout, const Element& tree) {
    FaceRenderer fresh(FaceSize::mm45);
    const FaceLayout& want = fresh.layout(tree);
    for (const Element* e : tree.findAll([](const Element&) { return true; })) {
      EXPECT_EQ(layout.frameOf(*e), want.frameOf(*e)) << e->identity;
    }
  };
  FaceRenderer renderer(FaceSize::mm45);
  auto tree = std::make_unique<Element>(rowShowing("0:41", "10"));
  const double width = renderer.layout(*tree).frameOf(tree->children[0])->width;
  const std::size_t shaped = renderer.textEngine().stats().shaped;
  ASSERT_EQ(renderer.stats().wholeLayouts, 1u);

  // The next second, the last tree gone first: the same layout, one text shaped.
  tree = std::make_unique<Element>(rowShowing("0:42", "10"));
  EXPECT_EQ(renderer.layout(*tree).frameOf(tree->children[0])->width, width);
  EXPECT_EQ(renderer.stats().wholeLayouts, 1u);
  EXPECT_EQ(renderer.textEngine().stats().shaped, shaped + 1);
  expectAsNew(*renderer.lastLayout(), *tree);

  // Wider texts, and one of two lines: measured again in the last layout; trees of another
  // shape: laid out anew.
  const std::size_t whole = renderer.stats().wholeLayouts;
  for (const Element& next : {rowShowing("10:00", "10"), rowShowing("10:00", "1000"),
                              rowShowing("0:42\n0:43", "10"), rowShowing("0:43", "10")}) {
    tree = std::make_unique<Element>(next);
    renderer.layout(*tree);
    EXPECT_EQ(renderer.stats().wholeLayouts, whole);
    expectAsNew(*renderer.lastLayout(), *tree);
  }
  Element column = rowShowing("0:42", "10");
  column.kind = ElementKind::vstack;
  Element fewer = rowShowing("0:42", "10");
  fewer.children.pop_back();
  std::size_t anew = whole;
  for (const Element& next : {column, fewer}) {
    tree = std::make_unique<Element>(next);
    renderer.layout(*tree);
    EXPECT_EQ(renderer.stats().wholeLayouts, ++anew);
    expectAsNew(*renderer.lastLayout(), *tree);
  }
}

TEST(FaceLayout, ARowGivesTextsTheirNaturalWidthAndAFlexibleFrameItsShare) {
  const auto text = [](const std::string& shown) {
    Element e;
    e.kind = ElementKind::text;
    e.text = Verbatim{shown};
    return e;
  };
  Element row;
  row.kind = ElementKind::hstack;
  row.spacing = 4.0;
  Element filling = text("نقطة");
  Modifier wide;
  wide.kind = ModifierKind::frame;
  wide.flexibleFrame = FlexibleFrame{.maxWidth = std::numeric_limits<double>::infinity()};
  filling.modifiers = {wide};
  // Short texts and a symbol, which fit side by side many times over, and a frame that grows.
  Element symbol;
  symbol.kind = ElementKind::image;
  symbol.systemName = "timer";
  row.children = {text("10"), filling, symbol, text("0:42")};

  FaceRenderer renderer(FaceSize::mm45);
  const FaceLayout& layout = renderer.layout(row);
  double taken = 3 * *row.spacing;
  for (const Element* child : {&row.children[0], &row.children[2], &row.children[3]}) {
    const Rect f = *layout.frameOf(*child);
    EXPECT_GT(f.width, 0.0);
    EXPECT_LT(f.width, kFaceWidth / 4);
    taken += f.width;
  }
  EXPECT_EQ(layout.linesOf(row.children[3]), 1);
  // The frame grows to the share it is offered, at least an equal one of the row (its text
  // alone is far narrower), and the row holds them all.
  const double frame = layout.frameOf(row.children[1])->width;
  EXPECT_GE(frame, (kFaceWidth - 3 * *row.spacing) / 4 - 1e-6);
  EXPECT_LE(frame + taken, kFaceWidth + 1e-6);
}

TEST(FaceLayout, AWideRowWithSpacersKeepsItsChildrenInOrderRightToLeftAndFillsItsWidth) {
  // More children than a stack measures without the heap, spacers among them: each child keeps
  // its own place, whatever order the stack sizes them in.
  Element row;
  row.kind = ElementKind::hstack;
  row.spacing = 2.0;
  for (int i = 0; i < 21; ++i) {
    Element child;
    if (i % 3 == 1) {
      child.kind = ElementKind::spacer;
      child.minLength = 0.0;
    } else {
      child.kind = ElementKind::text;
      child.text = Verbatim{std::to_string(i)};
    }
    row.children.push_back(child);
  }
  Modifier rtl;
  rtl.kind = ModifierKind::environment;
  rtl.layoutDirection = LayoutDirection::rightToLeft;
  row.modifiers = {rtl};

  FaceRenderer renderer(FaceSize::mm45);
  const FaceLayout& layout = renderer.layout(row);
  const Rect whole = *layout.frameOf(row);
  double right = whole.maxX();
  for (const Element& child : row.children) {
    const Rect f = *layout.frameOf(child);
    EXPECT_NEAR(f.maxX(), right, 1e-6) << "child " << (&child - row.children.data());
    if (child.kind == ElementKind::text) {
      EXPECT_GT(f.width, 0.0);
    }
    right = f.x - 2.0;
  }
  // The seven spacers share what the texts leave: the row spans the face.
  EXPECT_NEAR(right + 2.0, whole.x, 1e-6);
  EXPECT_NEAR(whole.width, 198.0, 1e-6);
}

TEST(FaceLayout, ASpacerKeepsItsMinimumAlongItsStacksAxisAndAShapeOfferedNoLengthItsIdealOne) {
  const auto element = [](ElementKind kind) {
    Element e;
    e.kind = kind;
    return e;
  };
  // A row whose two boxes overflow it: the spacer between them keeps its minimum width.
  Element spacer = element(ElementKind::spacer);
  spacer.minLength = 30.0;
  Element box = element(ElementKind::roundedRectangle);
  Modifier wide;
  wide.kind = ModifierKind::frame;
  wide.fixedFrame = FixedFrame{120.0, 20.0};
  box.modifiers = {wide};
  Element row = element(ElementKind::hstack);
  row.spacing = 0.0;
  row.children = {box, spacer, box};
  // A column in a scroll view, offered no limit in height: its spacer is its minimum tall, and
  // a shape the design system's ideal length.
  Element column = element(ElementKind::vstack);
  column.spacing = 0.0;
  column.children = {row, spacer, element(ElementKind::circle)};
  Element scroll = element(ElementKind::scrollView);
  scroll.children = {column};

  FaceRenderer renderer(FaceSize::mm45);
  const FaceLayout& layout = renderer.layout(scroll);
  const Element& inColumn = scroll.children[0];
  const Rect across = *layout.frameOf(inColumn.children[0].children[1]);
  EXPECT_DOUBLE_EQ(across.width, 30.0);
  EXPECT_DOUBLE_EQ(across.height, 0.0);
  const Rect down = *layout.frameOf(inColumn.children[1]);
  EXPECT_DOUBLE_EQ(down.width, 0.0);
  EXPECT_DOUBLE_EQ(down.height, 30.0);
  const Rect circle = *layout.frameOf(inColumn.children[2]);
  EXPECT_DOUBLE_EQ(circle.height, design::shapeIdealLength);
  EXPECT_DOUBLE_EQ(circle.width, kFaceWidth);
}

}  // namespace
}  // namespace dunvel

namespace dunvel {
namespace {

// A long list's painting visits only the rows around what is in sight, found by halving: no row
// in sight may be missed. Rows that all look alike, 200 of them (culled by halving) and 62 (with
// the list's title, 63 children: each visited), must paint the same at the same offsets, but for
// the scroll indicator, whose length follows the content's.
TEST(FaceLayout, ALongListCulledByHalvingPaintsEveryRowInSight) {
  auto alike = [](int teams) {
    std::string json = R"({"screen": "board", "gameName": "ليلة", "teams": [)";
    for (int i = 0; i < teams; ++i) {
      json += (i ? "," : "") + std::string(R"({"id": "t)") + std::to_string(i) +
              R"(", "name": "فريق", "points": 7})";
    }
    return snapshotFromJson(json + "]}");
  };
  const ScreenPreview many(alike(200), HostReach::reachable, Date{kTestNow});
  const ScreenPreview few(alike(62), HostReach::reachable, Date{kTestNow});
  FaceRenderer manyRenderer(FaceSize::mm45);
  FaceRenderer fewRenderer(FaceSize::mm45);
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, manyRenderer.pixelWidth());
  // Left of the indicator, in pixels.
  const int compared =
      static_cast<int>((manyRenderer.face().size.width - 2 * design::scrollIndicatorInset -
                        design::scrollIndicatorWidth) *
                       manyRenderer.scale());
  // Offsets within the shorter list's reach (it scrolls to about 2 385 points).
  for (const double offset : {0.0, 301.0, 1200.0, 1800.0}) {
    SCOPED_TRACE(offset);
    const std::string view = many.tree().findAll(ElementKind::scrollView).at(0)->identity;
    manyRenderer.layout(many.tree(), {{view, offset}});
    fewRenderer.layout(few.tree(), {{view, offset}});
    const unsigned char* a = cairo_image_surface_get_data(manyRenderer.paint());
    const unsigned char* b = cairo_image_surface_get_data(fewRenderer.paint());
    int differing = 0;
    for (int y = 0; y < manyRenderer.pixelHeight(); ++y) {
      differing += std::memcmp(a + y * stride, b + y * stride, compared * 4) != 0;
    }
    EXPECT_EQ(differing, 0) << "rows of pixels that differ";
  }
}

// Out of sight, a box is still placed when a button or a scroll view is under it (taps and
// scrolls find them) or a clip shape is around it (painting the clip looks at every box inside);
// any other box is left for later, the clip shape's own box among them.
TEST(FaceLayout, BoxesUnderTapsScrollsAndClipsArePlacedEvenOutOfSight) {
  using Kind = LayoutNode::Kind;
  LayoutNode root, clip, clipped, clippedText, row, button, label, text, scroll;
  root.kind = Kind::vstack;
  clip.kind = Kind::clip;
  clipped.kind = Kind::padding;
  clippedText.kind = Kind::text;
  row.kind = Kind::hstack;
  button.kind = Kind::button;
  label.kind = Kind::text;
  text.kind = Kind::text;
  scroll.kind = Kind::scrollView;
  root.children = {&clip, &row, &text};
  clip.children = {&clipped};
  clipped.children = {&clippedText};
  row.children = {&button};
  button.children = {&label};

  EXPECT_TRUE(LayoutBuilder::markAlwaysPlaced(root, LayoutBuilder::Enclosure::none));
  EXPECT_TRUE(root.alwaysPlaced && row.alwaysPlaced && button.alwaysPlaced);
  EXPECT_TRUE(clipped.alwaysPlaced && clippedText.alwaysPlaced);
  EXPECT_FALSE(clip.alwaysPlaced);
  EXPECT_FALSE(label.alwaysPlaced);
  EXPECT_FALSE(text.alwaysPlaced);

  EXPECT_FALSE(LayoutBuilder::markAlwaysPlaced(clip, LayoutBuilder::Enclosure::none));
  EXPECT_FALSE(LayoutBuilder::markAlwaysPlaced(text, LayoutBuilder::Enclosure::clipShape));
  EXPECT_TRUE(text.alwaysPlaced);
  EXPECT_TRUE(LayoutBuilder::markAlwaysPlaced(scroll, LayoutBuilder::Enclosure::none));
  EXPECT_TRUE(scroll.alwaysPlaced);
}

}  // namespace
}  // namespace dunvel
