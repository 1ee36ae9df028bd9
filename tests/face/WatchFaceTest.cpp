#include "face/WatchFace.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "render/TimeText.h"
#include "views/ScreenHarness.h"

namespace dunvel {
namespace {

// The screens as the app shows them, drawn on a 45mm face by a watch face that follows the
// view graph; the test is the pointer and the crown.
class WatchFaceTest : public ::testing::Test {
 protected:
  WatchFaceTest() : renderer(FaceSize::mm45, 2.0), face(renderer, h.loop, h.loop) {
    face.show(h.tree());
    h.graph.onEvaluated([this](const Element& tree) { face.show(tree); });
    face.onTap([this](const Element& button) { tapped.push_back(button.identity); });
    h.session.setReachable(true);
  }

  void showTeams(const std::string& screen, int count, int pointsOfFirst = 0) {
    GameState state = snapshot(screen);
    for (int i = 1; i <= count; ++i) {
      state.teams.emplace_back("t" + std::to_string(i), "فريق " + std::to_string(i),
                               i == 1 ? pointsOfFirst : i);
    }
    h.show(state);
  }
  Point centreOf(const char* shown) const {
    const Element* button = h.tree().findButton(shown);
    EXPECT_NE(button, nullptr) << shown;
    const Rect frame = face.layout()->frameOf(*button).value();
    return Point{frame.x + frame.width / 2, frame.y + frame.height / 2};
  }
  const ScrollViewLayout& scrollView() const { return face.layout()->scrollViews().at(0); }
  // The painted pixel at a point of the face, as 0xRRGGBB over black.
  std::uint32_t pixelAt(double x, double y) const {
    cairo_surface_t* image = renderer.image();
    const unsigned char* row = cairo_image_surface_get_data(image) +
                               static_cast<int>(y * 2.0) * cairo_image_surface_get_stride(image);
    return reinterpret_cast<const std::uint32_t*>(row)[static_cast<int>(x * 2.0)] & 0xFFFFFF;
  }

  ScreenHarness h;
  FaceRenderer renderer;
  WatchFace face;
  std::vector<std::string> tapped;
};

TEST_F(WatchFaceTest, TapsOnReleaseInTheButtonPressedAndShowsThePressOnlyWhileOnIt) {
  showTeams("answer", 2);
  const Point first = centreOf("فريق 1");
  const Point second = centreOf("فريق 2");
  const std::string firstId = h.tree().findButton("فريق 1")->identity;

  face.press(first);
  face.release(first);
  EXPECT_EQ(tapped, std::vector<std::string>{firstId});
  EXPECT_EQ(h.session.sentMessages(),
            (std::vector<ContextDictionary>{{{"action", "award"}, {"teamId", "t1"}}}));

  // Pressed: one frame with the pressed look; sliding sideways off the button: one without it.
  h.loop.drain();
  const std::size_t frames = face.stats().framesPainted;
  face.press(first);
  h.loop.drain();
  EXPECT_EQ(face.stats().framesPainted, frames + 1);
  face.move(Point{1.0, first.y});
  h.loop.drain();
  EXPECT_EQ(face.stats().framesPainted, frames + 2);
  face.release(Point{1.0, first.y});
  // Back onto the button before the release still taps, as a finger does.
  face.press(first);
  face.move(Point{1.0, first.y});
  face.move(first);
  face.release(first);
  // A release on another button, or a press on no button, taps nothing and paints nothing.
  face.press(first);
  face.release(second);
  h.loop.drain();
  const std::size_t settled = face.stats().framesPainted;
  face.press(Point{1.0, 1.0});
  face.release(Point{1.0, 1.0});
  h.loop.drain();
  EXPECT_EQ(face.stats().framesPainted, settled);

  EXPECT_EQ(tapped, (std::vector<std::string>{firstId, firstId}));
  EXPECT_EQ(h.session.sentMessages().size(), 2u);
}

TEST_F(WatchFaceTest, ScrollingIsClampedAndKeptForTheSameScreenOnly) {
  showTeams("board", 20);
  const std::string identity = scrollView().identity;
  const double maxOffset = scrollView().maxOffset();
  ASSERT_GT(maxOffset, 100.0) << "twenty teams are taller than the face";
  const Point middle{99.0, 150.0};

  face.scroll(middle, 2, ScrollUnit::line);
  EXPECT_EQ(face.stats().scrollOffset(identity), 48.0);
  EXPECT_EQ(scrollView().offset, 48.0) << "the layout shows the new position";
  face.scroll(middle, 1, ScrollUnit::page);
  EXPECT_EQ(face.stats().scrollOffset(identity), 48.0 + scrollView().viewport.height - 24.0);
  face.scroll(middle, 1e9, ScrollUnit::point);
  EXPECT_EQ(face.stats().scrollOffset(identity), maxOffset);
  // Past the end nothing moves, so nothing is painted.
  h.loop.drain();
  const std::size_t frames = face.stats().framesPainted;
  face.scroll(middle, 3, ScrollUnit::line);
  h.loop.drain();
  EXPECT_EQ(face.stats().framesPainted, frames);
  face.scroll(middle, -1e9, ScrollUnit::point);
  EXPECT_EQ(face.stats().scrollOffset(identity), 0.0);

  // A drag moves the content with the pointer.
  face.press(middle);
  face.move(Point{middle.x, middle.y - 40.0});
  face.release(Point{middle.x, middle.y - 40.0});
  EXPECT_EQ(face.stats().scrollOffset(identity), 40.0);

  // A new snapshot of the same screen keeps the position; another screen forgets it.
  showTeams("board", 20, 99);
  EXPECT_EQ(scrollView().identity, identity);
  EXPECT_EQ(scrollView().offset, 40.0);
  // Fewer teams: the position is clamped to what is left.
  showTeams("board", 4);
  ASSERT_LT(scrollView().maxOffset(), 40.0);
  EXPECT_EQ(face.stats().scrollOffset(identity), scrollView().maxOffset());
  h.show(snapshot("idle"));
  showTeams("board", 20);
  EXPECT_EQ(scrollView().offset, 0.0);
}

TEST_F(WatchFaceTest, DraggingOverAButtonScrollsAndTapsNothing) {
  showTeams("answer", 6);
  const std::string identity = scrollView().identity;
  ASSERT_GT(scrollView().maxOffset(), 30.0);
  const Point second = centreOf("فريق 2");
  face.press(second);
  face.move(Point{second.x, second.y - 30.0});
  face.release(Point{second.x, second.y - 30.0});
  EXPECT_EQ(face.stats().scrollOffset(identity), 30.0);
  EXPECT_TRUE(tapped.empty());
  EXPECT_TRUE(h.session.sentMessages().empty());
}

TEST_F(WatchFaceTest, EachHapticTypePulsesInItsOwnColourUntilItsTimeIsUp) {
  h.loop.drain();
  const Point edge{99.0, 1.0};  // inside every pulse's ring, outside the content
  ASSERT_EQ(pixelAt(edge.x, edge.y), 0x000000u);
  std::set<std::uint32_t> colours;
  for (HapticType type :
       {HapticType::notification, HapticType::success, HapticType::failure, HapticType::click}) {
    const std::size_t frames = face.stats().framesPainted;
    face.pulse(type);
    h.loop.drain();
    EXPECT_EQ(face.stats().framesPainted, frames + 1);
    colours.insert(pixelAt(edge.x, edge.y));
    h.loop.advance(1.0);
    EXPECT_EQ(face.stats().framesPainted, frames + 2);
    EXPECT_EQ(pixelAt(edge.x, edge.y), 0x000000u) << "the pulse is over";
  }
  EXPECT_EQ(colours.size(), 4u);
  EXPECT_EQ(colours.count(0x000000u), 0u);
}

TEST_F(WatchFaceTest, TheBandKeepsTheTimeAtEachTurnOfTheMinuteAndATextSizeLaysTheFaceOutAgain) {
  setenv("TZ", "UTC0", 1);
  tzset();
  showTeams("answer", 2);
  face.keepTime(h.loop);
  h.loop.drain();
  const double start = h.loop.now().timeIntervalSince1970;
  EXPECT_EQ(renderer.time(), timeText(start));
  ASSERT_NE(face.layout()->time(), nullptr);

  // Nothing is painted within the minute; just after its turn, the new time.
  const double untilTurn = 60.0 - std::fmod(start, 60.0);
  std::size_t frames = face.stats().framesPainted;
  h.loop.advance(untilTurn - 0.5);
  EXPECT_EQ(face.stats().framesPainted, frames);
  h.loop.advance(0.6);
  EXPECT_EQ(renderer.time(), timeText(start + untilTurn));
  EXPECT_NE(renderer.time(), timeText(start));
  EXPECT_EQ(face.stats().framesPainted, frames + 1);
  // And again at the next turn, a minute later.
  h.loop.advance(59.0);
  EXPECT_EQ(face.stats().framesPainted, frames + 1);
  h.loop.advance(1.0);
  EXPECT_EQ(renderer.time(), timeText(start + untilTurn + 60.0));

  // A step up in text size lays the face out again at once: a body line grows with it.
  const Element& name = *h.tree().findText("فريق 1");
  EXPECT_DOUBLE_EQ(face.layout()->frameOf(name)->height, 19.5);
  frames = face.stats().framesPainted;
  face.setTextSize(largerTextSize(face.textSize()));
  h.loop.drain();
  EXPECT_EQ(face.textSize(), TextSize::xxLarge);
  EXPECT_DOUBLE_EQ(face.layout()->frameOf(*h.tree().findText("فريق 1"))->height, 20.5);
  EXPECT_EQ(face.stats().framesPainted, frames + 1);
}

TEST_F(WatchFaceTest, AFaceNobodySeesPaintsNothingKeepsNoTimerAndIsPaintedWholeWhenSeenAgain) {
  showTeams("answer", 2);
  face.keepTime(h.loop);
  h.loop.drain();
  const std::size_t timers = h.loop.timerCount();
  const std::size_t frames = face.stats().framesPainted;
  face.setSeen(false);
  EXPECT_EQ(h.loop.timerCount(), timers - 1);
  // New snapshots, a text size and the minute's turn: no frame, no timer, no input taken.
  showTeams("answer", 3);
  face.setTextSize(largerTextSize(face.textSize()));
  h.loop.advance(120.0);
  const Point middle{99.0, 120.0};
  face.press(middle);
  face.release(middle);
  EXPECT_EQ(face.stats().framesPainted, frames);
  EXPECT_EQ(h.loop.timerCount(), timers - 1);
  EXPECT_TRUE(tapped.empty());

  // Seen again: the time now and its timer, and one frame equal to a whole paint of the latest.
  face.setSeen(true);
  h.loop.drain();
  EXPECT_EQ(face.stats().framesPainted, frames + 1);
  EXPECT_EQ(h.loop.timerCount(), timers);
  EXPECT_EQ(renderer.time(), timeText(h.loop.now().timeIntervalSince1970));
  ASSERT_NE(face.layout()->frameOf(*h.tree().findText("فريق 3")), std::nullopt);
  const std::vector<unsigned char> partial(
      cairo_image_surface_get_data(renderer.image()),
      cairo_image_surface_get_data(renderer.image()) +
          cairo_image_surface_get_stride(renderer.image()) * renderer.pixelHeight());
  renderer.paint({}, FaceRenderer::Repaint::whole);
  EXPECT_TRUE(
      std::equal(partial.begin(), partial.end(), cairo_image_surface_get_data(renderer.image())));
  const Point third = centreOf("فريق 3");
  face.press(third);
  face.release(third);
  EXPECT_EQ(tapped.size(), 1u);
}

// A new snapshot of the same look paints nothing; any other is painted, a board too long to
// keep a copy of to compare with included (such a board is painted at every show).
TEST_F(WatchFaceTest, AShowPaintsWhatChangedAndEveryTreeTooLongToCompare) {
  struct Case {
    int teams;
    int pointsOfFirst;
    bool painted;
  };
  const Case cases[] = {{3, 0, true},    {3, 0, false},   {3, 5, true},
                        {3000, 0, true}, {3000, 0, true}, {3000, 7, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.teams) + " teams, " + std::to_string(c.pointsOfFirst));
    const std::size_t frames = face.stats().framesPainted;
    showTeams("board", c.teams, c.pointsOfFirst);
    h.loop.drain();
    EXPECT_EQ(face.stats().framesPainted > frames, c.painted);
  }
}

}  // namespace
}  // namespace dunvel
