#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "RenderedScreen.h"
#include "host/QuizNight.h"
#include "render/FaceRenderer.h"
#include "render/TimeText.h"
#include "state/ContextDecoding.h"

namespace dunvel {
namespace {

// One frame as the window asks for it.
struct Frame {
  const Element* tree = nullptr;
  ScrollOffsets offsets;
  PaintOptions options;
  TextSize textSize = TextSize::large;
  std::string time;
  std::string what;
};

// Paints the frames in order with one renderer, which lays out and repaints only what changed,
// and with another, which lays out and paints everything: the images must be equal byte for
// byte.
// Where they are not, the message says which frame and the first differing pixel. Returns the
// share of the pixels the partial paints painted, over all frames.
double expectPartialEqualsWhole(const std::vector<Frame>& frames, FaceSize size, double scale) {
  FaceRenderer partial(size, scale);
  FaceRenderer whole(size, scale);
  double repaintedShare = 0.0;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const Frame& frame = frames[i];
    for (FaceRenderer* renderer : {&partial, &whole}) {
      renderer->setTextSize(frame.textSize);
      renderer->setTime(frame.time);
    }
    // One lays out only what changed, the other everything: they must answer alike.
    const FaceLayout& changed = partial.layout(*frame.tree, frame.offsets);
    const FaceLayout& fresh =
        whole.layout(*frame.tree, frame.offsets, FaceRenderer::Relayout::whole);
    EXPECT_EQ(changed.buttons().size(), fresh.buttons().size()) << frame.what;
    for (std::size_t b = 0; b < std::min(changed.buttons().size(), fresh.buttons().size()); ++b) {
      EXPECT_EQ(changed.buttons()[b].element, fresh.buttons()[b].element) << frame.what;
      EXPECT_EQ(changed.buttons()[b].visible, fresh.buttons()[b].visible) << frame.what;
    }
    cairo_surface_t* got = partial.paint(frame.options);
    cairo_surface_t* want = whole.paint(frame.options, FaceRenderer::Repaint::whole);
    for (const Rect& part : partial.damage()) {
      repaintedShare += part.width * part.height / (whole.pixelWidth() * whole.pixelHeight());
    }
    const int stride = cairo_image_surface_get_stride(want);
    const unsigned char* a = cairo_image_surface_get_data(got);
    const unsigned char* b = cairo_image_surface_get_data(want);
    if (std::memcmp(a, b, static_cast<std::size_t>(stride) * whole.pixelHeight()) == 0) continue;
    for (int y = 0; y < whole.pixelHeight(); ++y) {
      for (int x = 0; x < whole.pixelWidth(); ++x) {
        if (std::memcmp(a + y * stride + x * 4, b + y * stride + x * 4, 4) == 0) continue;
        std::ostringstream damage;
        for (const Rect& part : partial.damage()) {
          damage << " (" << part.x << "," << part.y << " " << part.width << "x" << part.height
                 << ")";
        }
        ADD_FAILURE() << "frame " << i << " (" << frame.what << ") at " << scale
                      << " pixels a point differs first at pixel (" << x << ", " << y
                      << "); repainted:" << damage.str();
        return 1.0;
      }
    }
  }
  return repaintedShare / static_cast<double>(frames.size());
}

const Element* firstOf(const Element& tree, ElementKind kind) {
  const std::vector<const Element*> found = tree.findAll(kind);
  return found.empty() ? nullptr : found.front();
}

TEST(PartialRepaint, EveryTextSizeInTurnEqualsAWholePaint) {
  const GameState board = exampleSnapshot("board");
  const ScreenPreview preview(board, HostReach::reachable, Date{kTestNow});
  std::vector<Frame> frames;
  for (const TextSize textSize : kAllTextSizes) {
    Frame frame;
    frame.tree = &preview.tree();
    frame.textSize = textSize;
    frame.time = timeText(kTestNow);
    frame.what = "text size " + std::string(textSizeName(textSize));
    frames.push_back(frame);
  }
  for (const FaceSize size : {FaceSize::mm41, FaceSize::mm45, FaceSize::mm49}) {
    for (const double scale : {1.0, 2.0, 1.5}) expectPartialEqualsWhole(frames, size, scale);
  }
}

// What the window is told to show again: whole pixels of the image, no pixel twice, and only
// where something changed: nothing for a frame like the last, the time band for the minute's
// turn, the whole image when asked for a whole paint.
TEST(PartialRepaint, TheDamageIsWholePixelsOfTheImageEachOnceAndOnlyWhereTheFrameChanged) {
  const RenderedScreen screen(exampleSnapshot("question"));
  for (const double scale : {2.0, 1.5}) {
    FaceRenderer renderer(FaceSize::mm45, scale);
    renderer.setTime(timeText(kTestNow));
    renderer.layout(screen.preview.tree());
    renderer.paint();
    const double width = renderer.pixelWidth();
    const double height = renderer.pixelHeight();

    renderer.layout(screen.preview.tree());
    renderer.paint();
    EXPECT_TRUE(renderer.damage().empty()) << "an unchanged frame painted again at " << scale;

    renderer.setTime(timeText(kTestNow + 60.0));
    renderer.placeTime();
    renderer.paint();
    const std::vector<Rect>& damage = renderer.damage();
    ASSERT_FALSE(damage.empty()) << scale;
    const double bandBottom = std::ceil(renderer.face().safeAreaTop * scale);
    for (std::size_t i = 0; i < damage.size(); ++i) {
      const Rect& part = damage[i];
      EXPECT_EQ(part, (Rect{std::floor(part.x), std::floor(part.y), std::floor(part.width),
                            std::floor(part.height)}))
          << "not whole pixels at " << scale;
      EXPECT_GT(part.width, 0.0);
      EXPECT_GT(part.height, 0.0);
      EXPECT_GE(part.x, 0.0);
      EXPECT_GE(part.y, 0.0);
      EXPECT_LE(part.maxX(), width);
      EXPECT_LE(part.maxY(), bandBottom) << "the minute's turn repainted below the time band";
      for (std::size_t j = i + 1; j < damage.size(); ++j) {
        EXPECT_FALSE(part.overlaps(damage[j])) << "a pixel shown twice at " << scale;
      }
    }

    renderer.paint({}, FaceRenderer::Repaint::whole);
    EXPECT_EQ(renderer.damage(), (std::vector<Rect>{Rect{0.0, 0.0, width, height}}));
  }
}

}  // namespace
}  // namespace dunvel

namespace dunvel {
namespace {

// A demo night played by itself, a frame a second, with what the window adds to it: the scroll
// view moved a line at a time, a control held down now and then, haptic rings, the minute
// turning in the time band, the screens changing.
TEST(PartialRepaint, ANightFrameByFrameEqualsWholePaints) {
  QuizNight night(kTestNow, Autoplay::on);
  std::deque<ScreenPreview> previews;
  std::vector<Frame> frames;
  int pressed = 0;
  int scrolled = 0;
  for (int second = 0; second < 600 && night.phase() != QuizNight::Phase::finished; ++second) {
    const double now = kTestNow + second;
    night.advance(now);
    previews.emplace_back(decodeGameState(night.context()), HostReach::reachable, Date{now});
    Frame frame;
    frame.tree = &previews.back().tree();
    frame.textSize = second % 40 < 30 ? TextSize::xLarge : TextSize::ax1;
    frame.time = timeText(now);
    frame.what = "second " + std::to_string(second);
    if (const Element* view = firstOf(*frame.tree, ElementKind::scrollView)) {
      frame.offsets[view->identity] = (second % 5) * 24.0;
      ++scrolled;
    }
    if (const Element* button = firstOf(*frame.tree, ElementKind::button); button && second % 3) {
      frame.options.pressedButton = button->identity;
      ++pressed;
    }
    if (second % 7 == 0) frame.options.haptic = HapticType::notification;
    frames.push_back(frame);
  }
  ASSERT_GT(frames.size(), 60u);
  ASSERT_GT(scrolled, 5);
  ASSERT_GT(pressed, 5);
  for (const double scale : {2.0, 1.5}) {
    // Most of a night's frames are a tick: if they were painted whole, the comparison above
    // proved nothing.
    EXPECT_LT(expectPartialEqualsWhole(frames, FaceSize::mm45, scale), 0.5) << frames.size();
  }
}

}  // namespace
}  // namespace dunvel
