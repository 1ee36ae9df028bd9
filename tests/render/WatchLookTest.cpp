#include <cairo.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "RenderedScreen.h"
#include "preview/PreviewCommand.h"
#include "preview/VariantsCommand.h"
#include "render/DesignSystem.h"
#include "render/Owned.h"
#include "render/TimeText.h"

namespace dunvel {
namespace {

bool dark(const Pixel& p) {
  return p.r < 12 && p.g < 12 && p.b < 12;
}

void forEachNode(const LayoutNode& node, const std::function<void(const LayoutNode&)>& visit) {
  visit(node);
  for (const LayoutNode* child : node.children) forEachNode(*child, visit);
}

std::string tournamentWithLongTexts() {
  std::string label;
  std::string status;
  while (label.size() < 2000) label += "نصف النهائي الطويل ";
  while (status.size() < 2000) status += "Quiz Night ليلة المباراة ";
  return R"({"screen": "tournament", "tournament": {"name": "كأس الحي", "roundLabel": ")" + label +
         R"(", "teamA": "الصقور", "teamB": "النمور", "status": ")" + status + R"("}})";
}

TEST(WatchLook, EveryLineOfATextIsItsStylesLeadingAtTheCasesTextSize) {
  // The cases' own text sizes: large on 40 and 41 mm, xLarge on the larger ones.
  for (const FaceSize size : kAllFaceSizes) {
    const bool small = size == FaceSize::mm40 || size == FaceSize::mm41;
    EXPECT_EQ(faceMetrics(size).textSize, small ? TextSize::large : TextSize::xLarge)
        << faceSizeName(size);
    EXPECT_EQ(faceMetrics(size).defaultTextSize, faceMetrics(size).textSize);
  }
  EXPECT_EQ(faceMetrics(FaceSize::mm45, TextSize::ax3).textSize, TextSize::ax3);

  const GameState answer = exampleSnapshot("answer");
  for (const FaceSize size : kAllFaceSizes) {
    for (const TextSize textSize : {TextSize::xSmall, faceMetrics(size).textSize, TextSize::ax1}) {
      FaceRenderer renderer(size, 1.0);
      renderer.setTextSize(textSize);
      const ScreenPreview preview(answer, HostReach::reachable, Date{kTestNow});
      const FaceLayout& layout = renderer.layout(preview.tree());
      int texts = 0;
      forEachNode(layout.root(), [&](const LayoutNode& n) {
        if (n.kind != LayoutNode::Kind::text || n.shaped == nullptr) return;
        const TextStyle style = n.environment->font.value_or(Font::body()).style();
        const double leading = textStyleMetrics(style, textSize).leading;
        EXPECT_NEAR(n.frame.height, n.shaped->lines * leading, 1e-3)
            << faceSizeName(size) << " " << textSizeName(textSize) << " "
            << pango_layout_get_text(n.shaped->layout);
        ++texts;
      });
      EXPECT_GT(texts, 5);
    }
  }
  // A body line (the award controls' team names) as the watch draws it.
  const RenderedScreen on45(answer);
  EXPECT_DOUBLE_EQ(on45.frameOfText("الصقور").height, 19.5);
  const RenderedScreen on41(answer, HostReach::reachable, kTestNow, FaceSize::mm41);
  EXPECT_DOUBLE_EQ(on41.frameOfText("الصقور").height, 18.5);
  // The one leading the type scale gives apart from size + 2.5.
  EXPECT_EQ(textStyleMetrics(TextStyle::title2, TextSize::ax1).leading, 41.0);
}

TEST(WatchLook, ATextOfferedLessHeightThanItsLinesShowsWhatFitsAndNothingLeavesTheFace) {
  const GameState state = snapshotFromJson(tournamentWithLongTexts());
  const ScreenPreview preview(state, HostReach::reachable, Date{kTestNow});
  const Element& label = *preview.tree().find(
      [](const Element& e) { return e.text && e.text->shown().starts_with("نصف"); });
  const Element& name = *preview.tree().findText("الصقور");
  for (const FaceSize size : kAllFaceSizes) {
    for (const TextSize textSize : kAllTextSizes) {
      FaceRenderer renderer(size, 1.0);
      renderer.setTextSize(textSize);
      renderer.setTime(timeText(kTestNow));
      const FaceLayout& layout = renderer.layout(preview.tree());
      const FaceMetrics& face = layout.face();
      const std::string where =
          std::string(faceSizeName(size)) + " " + std::string(textSizeName(textSize));
      forEachNode(layout.root(), [&](const LayoutNode& n) {
        EXPECT_GE(n.frame.y, face.safeAreaTop - 1e-6) << where;
        EXPECT_LE(n.frame.maxY(), face.size.height + 1e-6) << where;
        EXPECT_GE(n.frame.x, -1e-6) << where;
        EXPECT_LE(n.frame.maxX(), face.size.width + 1e-6) << where;
      });
      EXPECT_TRUE(layout.isTruncated(label)) << where;
      EXPECT_EQ(layout.linesOf(name), 1) << where;

      // Nothing is painted in the time band but the time.
      EXPECT_EQ(paintedInTheBand(renderer, layout), "") << where;
    }
  }
}

// Where the text's first character stands in its one-line layout, from the layout's left edge.
double firstCharacterX(const ShapedText& shaped) {
  PangoRectangle at{};
  pango_layout_index_to_pos(shaped.layout, 0, &at);
  return static_cast<double>(at.x) / PANGO_SCALE;
}

TEST(WatchLook, AParagraphTakesItsDirectionFromItsFirstStrongCharacterAndAlignsByTheLayouts) {
  TextEngine engine;
  TextRequest request;
  request.direction = LayoutDirection::rightToLeft;
  request.lineLimit = 1;
  request.maxWidth = 90;

  // Latin first: a left-to-right paragraph inside the right-to-left face, cut at its right end.
  request.text = "Quiz Night ليلة الأسئلة الكبرى";
  const ShapedText& latin = engine.shape(request);
  ASSERT_TRUE(latin.truncated);
  EXPECT_LT(firstCharacterX(latin), 1.0);

  // Arabic first, and Latin inside an isolate first: right to left, starting at the right.
  for (const char* text : {"ليلة Quiz Night الأسئلة", "\u2066Quiz\u2069 ليلة الأسئلة الكبرى"}) {
    request.text = text;
    const ShapedText& arabic = engine.shape(request);
    EXPECT_GT(firstCharacterX(arabic), arabic.size.width / 2) << text;
  }

  // No strong character: the layout's direction. A figure stays left to right inside it.
  request.text = "... 42";
  request.lineLimit.reset();
  request.maxWidth = std::numeric_limits<double>::infinity();
  EXPECT_GT(firstCharacterX(engine.shape(request)), engine.shape(request).size.width / 2);

  // Wrapped in a right-to-left layout, a left-to-right paragraph still aligns with the leading
  // (right) edge.
  request.text = "Quiz Night is a game of questions for teams";
  request.maxWidth = 120;
  const ShapedText& wrapped = engine.shape(request);
  ASSERT_GT(wrapped.lines, 1);
  PangoLayoutIter* line = pango_layout_get_iter(wrapped.layout);
  do {
    PangoRectangle extent{};
    pango_layout_iter_get_line_extents(line, nullptr, &extent);
    EXPECT_NEAR(static_cast<double>(extent.x + extent.width) / PANGO_SCALE, 120.0, 0.5);
  } while (pango_layout_iter_next_line(line));
  pango_layout_iter_free(line);
}

TEST(WatchLook, ButtonsAreCapsules) {
  const RenderedScreen s(exampleSnapshot("answer"));
  const std::vector<const Element*> buttons = s.preview.tree().findAll(ElementKind::button);
  ASSERT_FALSE(buttons.empty());
  const Rect button = s.frame(*buttons.front());
  const double radius = button.height / 2;
  ASSERT_GT(radius, 12.0);
  auto at = [&s](double x, double y) {
    return pixelAt(s.renderer.image(), static_cast<int>(x * 2), static_cast<int>(y * 2));
  };
  // A corner of radius 12 would cover these points; the capsule's round ends leave them bare.
  EXPECT_TRUE(dark(at(button.x + 3, button.y + 8)));
  EXPECT_TRUE(dark(at(button.maxX() - 3, button.maxY() - 8)));
  // The ends are round all the way: filled at the middle of each end, and along the top from
  // the end of the curve on.
  EXPECT_FALSE(dark(at(button.x + 1, button.y + radius)));
  EXPECT_FALSE(dark(at(button.maxX() - 1, button.y + radius)));
  EXPECT_FALSE(dark(at(button.x + radius, button.y + 1)));
}

TEST(WatchLook, TheBandShowsTheTimeInItsTrailingCorner) {
  setenv("TZ", "UTC0", 1);
  tzset();
  EXPECT_EQ(timeText(kTestNow), "7:45");
  EXPECT_EQ(timeText(0), "12:00");
  EXPECT_EQ(timeText(12 * 3600 + 5 * 60 + 59.9), "12:05");
  EXPECT_EQ(timeText(-60), "11:59");
  EXPECT_EQ(timeText(std::nan("")), "");
  EXPECT_EQ(timeText(1e300), "");

  // Right to left (the companion's tree): the top left, inside the band.
  const RenderedScreen s(exampleSnapshot("idle"));
  const FaceMetrics& face = s.layout->face();
  ASSERT_NE(s.layout->time(), nullptr);
  const Rect time = s.layout->time()->frame;
  EXPECT_NEAR(time.x, face.displayCornerRadius * design::timeTrailingInsetPerCornerRadius, 1e-9);
  EXPECT_GT(time.y, 0.0);
  EXPECT_LE(time.maxY(), face.safeAreaTop);
  int white = 0;
  for (int y = static_cast<int>(time.y * 2); y < static_cast<int>(time.maxY() * 2); ++y) {
    for (int x = static_cast<int>(time.x * 2); x < static_cast<int>(time.maxX() * 2); ++x) {
      const Pixel p = pixelAt(s.renderer.image(), x, y);
      if (p.r > 240 && p.g > 240 && p.b > 240) ++white;
    }
  }
  EXPECT_GT(white, 50);

  // Left to right: the top right.
  Element text;
  text.kind = ElementKind::text;
  text.text = Verbatim{"left to right"};
  FaceRenderer renderer(FaceSize::mm45);
  renderer.setTime("10:09");
  const Rect ltr = renderer.layout(text).time()->frame;
  EXPECT_NEAR(face.size.width - ltr.maxX(), time.x, 1e-9);
}

TEST(WatchLook, TheVariantsSheetHasEveryCaseAndTextSizeEachTileTheFaceThePngDraws) {
  const std::filesystem::path sheetPath =
      std::filesystem::path(DUNVEL_TEST_OUTPUT_DIR) / "variants.png";
  const std::string snapshot = std::string(DUNVEL_SOURCE_DIR) + "/examples/board.json";
  const std::string now = std::to_string(static_cast<long long>(kTestNow));
  std::istringstream in;
  std::ostringstream out, err;
  PreviewIo io{in, out, err};
  const std::string output = sheetPath.string();
  const char* argv[] = {"dunvel-preview", "variants", snapshot.c_str(), "-o",
                        output.c_str(),   "--now",    now.c_str(),      "--reachable"};
  ASSERT_EQ(runDunvelPreview(io, 8, argv), 0) << err.str();

  const std::vector<VariantTile> tiles = variantTiles();
  ASSERT_EQ(tiles.size(), kAllFaceSizes.size() * kAllTextSizes.size());
  const Owned<cairo_surface_t> sheetImage(cairo_image_surface_create_from_png(output.c_str()));
  cairo_surface_t* sheet = sheetImage.get();
  ASSERT_EQ(cairo_surface_status(sheet), CAIRO_STATUS_SUCCESS);
  const GameState board = exampleSnapshot("board");
  const ScreenPreview preview(board, HostReach::reachable, Date{kTestNow});
  for (const VariantTile& tile : tiles) {
    ASSERT_LE(tile.x + tile.width, cairo_image_surface_get_width(sheet));
    ASSERT_LE(tile.y + tile.height + 20, cairo_image_surface_get_height(sheet));
    FaceRenderer renderer(tile.size, 1.0);
    renderer.setTextSize(tile.textSize);
    renderer.setTime(timeText(kTestNow));
    renderer.layout(preview.tree());
    cairo_surface_t* face = renderer.paint();
    ASSERT_EQ(renderer.pixelWidth(), tile.width);
    int differing = 0;
    for (int y = 0; y < tile.height; ++y) {
      for (int x = 0; x < tile.width; ++x) {
        const Pixel want = pixelAt(face, x, y);
        if (want.a != 255) continue;  // the display's cut corners show the sheet behind
        const Pixel got = pixelAt(sheet, tile.x + x, tile.y + y);
        if (std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b) > 6)
          ++differing;
      }
    }
    EXPECT_EQ(differing, 0) << faceSizeName(tile.size) << " " << textSizeName(tile.textSize);
    // Its label is written under it.
    int light = 0;
    for (int y = tile.y + tile.height; y < tile.y + tile.height + 20; ++y) {
      for (int x = tile.x; x < tile.x + tile.width; ++x) light += pixelAt(sheet, x, y).r > 150;
    }
    EXPECT_GT(light, 20) << faceSizeName(tile.size) << " " << textSizeName(tile.textSize);
  }
}

// --sizes picks the sheet's rows and --text-size its columns; cases alone stand at their own
// text size, one face a row, so that every screen can be compared on one page.
TEST(WatchLook, TheVariantsSheetTakesTheChosenCasesAsRowsAndTextSizesAsColumns) {
  struct Choice {
    std::vector<std::string> sizes;
    std::vector<std::string> textSizes;
    std::size_t rows;
    std::size_t columns;
  };
  const Choice kChoices[] = {
      {{}, {}, kAllFaceSizes.size(), kAllTextSizes.size()},
      {{"all"}, {}, kAllFaceSizes.size(), 1},
      {{"41mm", "49mm-3"}, {}, 2, 1},
      {{}, {"AX3"}, kAllFaceSizes.size(), 1},
      {{"40mm"}, {"all"}, 1, kAllTextSizes.size()},
  };
  for (const Choice& choice : kChoices) {
    VariantsOptions options;
    options.sizes = choice.sizes;
    options.textSizes = choice.textSizes;
    std::string problem;
    const auto variants = sheetVariants(options, problem);
    ASSERT_TRUE(variants) << problem;
    const std::vector<VariantTile> tiles = variantTiles(*variants);
    ASSERT_EQ(tiles.size(), choice.rows * choice.columns);
    for (std::size_t row = 0; row < choice.rows; ++row) {
      const VariantTile& first = tiles[row * choice.columns];
      for (std::size_t column = 0; column < choice.columns; ++column) {
        const VariantTile& tile = tiles[row * choice.columns + column];
        EXPECT_EQ(tile.size, first.size);
        EXPECT_EQ(tile.y, first.y);
        if (column > 0) {
          EXPECT_GT(tile.x, tiles[row * choice.columns + column - 1].x);
        }
        if (choice.textSizes.empty() && !choice.sizes.empty()) {
          EXPECT_EQ(tile.textSize, faceMetrics(tile.size).defaultTextSize);
        }
        if (choice.textSizes == std::vector<std::string>{"AX3"}) {
          EXPECT_EQ(tile.textSize, TextSize::ax3);
        }
      }
      if (row > 0) {
        const VariantTile& above = tiles[(row - 1) * choice.columns];
        EXPECT_LT(above.size, first.size) << "the cases stand smallest first";
        EXPECT_GE(first.y, above.y + above.height + 20);
      }
    }
  }

  VariantsOptions unknown;
  unknown.sizes = {"43mm"};
  std::string problem;
  EXPECT_FALSE(sheetVariants(unknown, problem));
  EXPECT_EQ(problem, "--size: 43mm is not " + faceSizeNames("all"));

  // The command draws the chosen sheet, and refuses a name that is no case as bad usage.
  const std::string output = (std::filesystem::path(DUNVEL_TEST_OUTPUT_DIR) / "sizes.png").string();
  const std::string snapshot = std::string(DUNVEL_SOURCE_DIR) + "/examples/idle.json";
  for (const char* size : {"all", "43mm"}) {
    std::istringstream in;
    std::ostringstream out, err;
    PreviewIo io{in, out, err};
    const char* argv[] = {"dunvel-preview", "variants", snapshot.c_str(), "-o", output.c_str(),
                          "--sizes",        size};
    const bool all = std::string(size) == "all";
    ASSERT_EQ(runDunvelPreview(io, 7, argv), all ? 0 : 2) << err.str();
    if (!all) {
      EXPECT_NE(err.str().find("43mm"), std::string::npos) << err.str();
      continue;
    }
    const Owned<cairo_surface_t> sheet(cairo_image_surface_create_from_png(output.c_str()));
    ASSERT_EQ(cairo_surface_status(sheet.get()), CAIRO_STATUS_SUCCESS);
    VariantsOptions every;
    every.sizes = {"all"};
    const std::vector<VariantTile> tiles = variantTiles(*sheetVariants(every, problem));
    EXPECT_EQ(cairo_image_surface_get_height(sheet.get()),
              tiles.back().y + tiles.back().height + 20 + 8);
    EXPECT_EQ(cairo_image_surface_get_width(sheet.get()), 8 + 211 + 8);
  }
}

}  // namespace
}  // namespace dunvel
