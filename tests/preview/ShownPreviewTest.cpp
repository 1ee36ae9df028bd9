#include "preview/ShownPreview.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/ScreenPreview.h"
#include "render/FaceLayout.h"
#include "render/FaceRenderer.h"
#include "render/TextSize.h"
#include "render/TimeText.h"

namespace dunvel {
namespace {

constexpr double kNow = 1765136742;

GameState board(const std::string& screen, std::size_t teams, bool named) {
  GameState state;
  state.screen = screen;
  state.gameName = "ليلة الأسئلة";
  state.questionOpenedAt = kNow - 20;
  for (std::size_t i = 0; i < teams; ++i) {
    state.teams.emplace_back("t" + std::to_string(i),
                             named ? "فريق رقم " + std::to_string(i) + " من الشمال" : "",
                             static_cast<std::int64_t>(i % 97));
  }
  return state;
}

std::vector<unsigned char> pixels(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  const auto* data = cairo_image_surface_get_data(surface);
  const std::size_t bytes = static_cast<std::size_t>(cairo_image_surface_get_stride(surface)) *
                            static_cast<std::size_t>(cairo_image_surface_get_height(surface));
  return {data, data + bytes};
}

// A still face of a long list is laid out from its first rows, and must be the face of the
// whole list to the last byte: rows in sight, the scroll indicator's length and place, on every
// list screen, at the smallest and the largest text size, and on the smallest and largest case.
// Cut first to two rows, too few to fill the list, it takes more until they do.
TEST(ShownPreview, TheFirstRowsDrawTheFaceOfTheWholeList) {
  std::size_t cut = 0;
  for (const std::size_t firstRows : {ShownPreview::kFirstRows, std::size_t{2}}) {
    for (const char* screen : {"board", "answer"}) {
      for (const std::size_t teams : {std::size_t{0}, std::size_t{5}, std::size_t{40},
                                      ShownPreview::kFirstRows + 1, std::size_t{1500}}) {
        for (const FaceSize size : {FaceSize::mm41, FaceSize::mm49}) {
          for (const TextSize textSize : {TextSize::xSmall, TextSize::ax3}) {
            const GameState state = board(screen, teams, teams % 2 == 1);
            FaceRenderer whole(size, 1.0);
            FaceRenderer shown(size, 1.0);
            for (FaceRenderer* renderer : {&whole, &shown}) {
              renderer->setTextSize(textSize);
              renderer->setTime(timeText(kNow));
            }
            const ScreenPreview all(state, HostReach::reachable, Date{kNow});
            whole.layout(all.tree());
            ShownPreview first(state, true, Date{kNow}, firstRows);
            first.layout(shown);
            const std::string where = std::to_string(firstRows) + " " + std::string(screen) + " " +
                                      std::to_string(teams) + " " +
                                      std::string(faceSizeName(size)) + " " +
                                      std::string(textSizeName(textSize));
            EXPECT_LE(first.rows(), teams) << where;
            if (first.rows() < teams) ++cut;
            EXPECT_EQ(pixels(shown.paint()), pixels(whole.paint())) << where;
          }
        }
      }
    }
  }
  // The long lists were drawn from their first rows, not laid out whole.
  EXPECT_GE(cut, 16u);
}

}  // namespace
}  // namespace dunvel
