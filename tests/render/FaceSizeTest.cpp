#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "RenderedScreen.h"
#include "cli/FaceSizeOption.h"
#include "render/DesignSystem.h"

namespace dunvel {
namespace {

// Every case as the platform lists its display, in pixels at two pixels per point, and the text
// size it starts at.
struct PublishedCase {
  std::string_view name;
  FaceSize size;
  int width;
  int height;
  TextSize defaultTextSize;
};
constexpr PublishedCase kPublished[] = {
    {"40mm", FaceSize::mm40, 324, 394, TextSize::large},
    {"41mm", FaceSize::mm41, 352, 430, TextSize::large},
    {"42mm", FaceSize::mm42, 374, 446, TextSize::xLarge},
    {"44mm", FaceSize::mm44, 368, 448, TextSize::xLarge},
    {"45mm", FaceSize::mm45, 396, 484, TextSize::xLarge},
    {"46mm", FaceSize::mm46, 416, 496, TextSize::xLarge},
    {"49mm", FaceSize::mm49, 410, 502, TextSize::xLarge},
    {"49mm-3", FaceSize::mm49third, 422, 514, TextSize::xLarge},
};

TEST(FaceSize, EveryCaseHasItsPublishedDisplayNameAndDefaultTextSize) {
  ASSERT_EQ(std::size(kPublished), kAllFaceSizes.size());
  for (std::size_t i = 0; i < kAllFaceSizes.size(); ++i) {
    const PublishedCase& c = kPublished[i];
    SCOPED_TRACE(c.name);
    // The one list holds every case once, smallest display first.
    EXPECT_EQ(kAllFaceSizes[i], c.size);
    EXPECT_EQ(faceSizeName(c.size), c.name);
    EXPECT_EQ(parseFaceSize(c.name), c.size);
    EXPECT_EQ(faceMetrics(c.size).defaultTextSize, c.defaultTextSize);
    const FaceRenderer renderer(c.size, 2.0);
    EXPECT_EQ(renderer.pixelWidth(), c.width);
    EXPECT_EQ(renderer.pixelHeight(), c.height);
  }
  for (const char* unknown : {"43mm", "49mm-2", "49MM", "49mm3", "", "all", "45"}) {
    EXPECT_EQ(parseFaceSize(unknown), std::nullopt) << unknown;
  }
  EXPECT_EQ(faceSizeNames(), "40mm, 41mm, 42mm, 44mm, 45mm, 46mm, 49mm or 49mm-3");
  EXPECT_EQ(faceSizeNames("all"), "40mm, 41mm, 42mm, 44mm, 45mm, 46mm, 49mm, 49mm-3 or all");
}

TEST(FaceSize, TheCommandLinesTakeEveryCaseAndRefuseOthersNamingThem) {
  for (const FaceSize size : kAllFaceSizes) {
    EXPECT_EQ(FaceSizeName()(std::string(faceSizeName(size))), "") << faceSizeName(size);
  }
  EXPECT_EQ(FaceSizeName(true)("all"), "");
  EXPECT_EQ(FaceSizeName()("all"), "all is not " + faceSizeNames());
  EXPECT_EQ(FaceSizeName(true)("50mm"), "50mm is not " + faceSizeNames("all"));
}

TEST(FaceSize, EachCasesBandHoldsTheTimeClearOfTheCorner) {
  for (const FaceSize size : kAllFaceSizes) {
    SCOPED_TRACE(std::string(faceSizeName(size)));
    const FaceMetrics face = faceMetrics(size);
    // A corner within reason: rounder than nothing, and its bend (1.53 r) short of the middle.
    EXPECT_GT(face.displayCornerRadius, 0.0);
    EXPECT_LT(face.displayCornerRadius * 1.53, face.size.width / 2);
    RenderedScreen s(exampleSnapshot("idle"), HostReach::unreachable, kTestNow, size, 2.0);
    std::vector<Rect> times;
    for (const TextSize textSize : {TextSize::xSmall, face.defaultTextSize, TextSize::ax3}) {
      s.renderer.setTextSize(textSize);
      const FaceLayout& layout = s.renderer.layout(s.preview.tree());
      ASSERT_NE(layout.time(), nullptr);
      const Rect time = layout.time()->frame;
      EXPECT_GT(time.y, 0.0);
      EXPECT_LE(time.maxY(), face.safeAreaTop);
      EXPECT_NEAR(time.x, face.displayCornerRadius * design::timeTrailingInsetPerCornerRadius,
                  1e-9);
      times.push_back(time);
    }
    // The time keeps the case's own size whatever the wearer chose.
    EXPECT_EQ(times.front(), times.back());
  }
}

void collectFrames(const LayoutNode& node, std::vector<Rect>& frames) {
  frames.push_back(node.frame);
  for (const LayoutNode* child : node.children) collectFrames(*child, frames);
}

// Every screen of the examples on every case at every text size: nothing under the time band
// but the time, no scroll view past the face, and on the screens that do not scroll no box past
// the face either.
TEST(FaceSize, NoExampleDrawsPastTheFaceOrUnderTheBandOnAnyCaseAtAnyTextSize) {
  struct Example {
    const char* name;
    HostReach reach;
  };
  constexpr Example kExamples[] = {{"idle", HostReach::unreachable},
                                   {"question", HostReach::reachable},
                                   {"answer", HostReach::reachable},
                                   {"board", HostReach::reachable},
                                   {"tournament", HostReach::reachable}};
  for (const Example& example : kExamples) {
    const ScreenPreview preview(exampleSnapshot(example.name), example.reach, Date{kTestNow});
    for (const FaceSize size : kAllFaceSizes) {
      FaceRenderer renderer(size, 1.0);
      renderer.setTime(timeText(kTestNow));
      for (const TextSize textSize : kAllTextSizes) {
        const std::string where = std::string(example.name) + " " +
                                  std::string(faceSizeName(size)) + " " +
                                  std::string(textSizeName(textSize));
        renderer.setTextSize(textSize);
        const FaceLayout& layout = renderer.layout(preview.tree());
        const FaceMetrics& face = layout.face();
        for (const ScrollViewLayout& scroll : layout.scrollViews()) {
          EXPECT_GE(scroll.viewport.y, face.safeAreaTop - 1e-6) << where;
          EXPECT_LE(scroll.viewport.maxY(), face.size.height + 1e-6) << where;
          EXPECT_GE(scroll.viewport.x, -1e-6) << where;
          EXPECT_LE(scroll.viewport.maxX(), face.size.width + 1e-6) << where;
        }
        if (layout.scrollViews().empty()) {
          std::vector<Rect> frames;
          collectFrames(layout.root(), frames);
          for (const Rect& frame : frames) {
            EXPECT_GE(frame.y, face.safeAreaTop - 1e-6) << where;
            EXPECT_LE(frame.maxY(), face.size.height + 1e-6) << where;
            EXPECT_GE(frame.x, -1e-6) << where;
            EXPECT_LE(frame.maxX(), face.size.width + 1e-6) << where;
          }
        }
        EXPECT_EQ(paintedInTheBand(renderer, layout), "") << where;
      }
    }
  }
}

}  // namespace
}  // namespace dunvel
