#include "preview/ShownPreview.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "render/DesignSystem.h"
#include "render/FaceLayout.h"
#include "render/FaceRenderer.h"

namespace dunvel {
namespace {

GameState firstTeams(const GameState& state, std::size_t rows) {
  GameState cut = state;
  if (cut.teams.size() > rows) {
    cut.teams.erase(cut.teams.begin() + static_cast<std::ptrdiff_t>(rows), cut.teams.end());
  }
  return cut;
}

// Whether rows added at the end of every list would change nothing in sight. At offset 0 the
// rows laid out keep their places, as long as the content already takes the list's whole width
// (a later row cannot move it sideways); and the scroll indicator, at the top, keeps its
// length once the content is so long that the indicator is at its shortest.
bool moreRowsChangeNothing(const FaceLayout& layout) {
  for (const ScrollViewLayout& scroll : layout.scrollViews()) {
    const double viewport = scroll.viewport.height;
    const double track = viewport - 2 * design::scrollIndicatorInset;
    if (scroll.contentWidth < scroll.viewport.width) return false;
    if (scroll.contentHeight <= viewport + 0.5) return false;
    if (track * viewport > design::scrollIndicatorMinLength * scroll.contentHeight) return false;
  }
  return true;
}

}  // namespace

ShownPreview::ShownPreview(GameState state, bool reachable, Date now, std::size_t firstRows)
    : state_(std::move(state)),
      reachable_(reachable),
      now_(now),
      rows_(std::min(std::max<std::size_t>(firstRows, 1), state_.teams.size())),
      preview_(std::make_unique<ScreenPreview>(firstTeams(state_, rows_), hostReach(reachable_),
                                               now_)) {}

ShownPreview::~ShownPreview() = default;

const FaceLayout& ShownPreview::layout(FaceRenderer& renderer) {
  for (;;) {
    const FaceLayout& laid = renderer.layout(preview_->tree());
    if (rows_ >= state_.teams.size() || moreRowsChangeNothing(laid)) return laid;
    rows_ = std::min(rows_ * 4, state_.teams.size());
    previous_ = std::move(preview_);
    preview_ =
        std::make_unique<ScreenPreview>(firstTeams(state_, rows_), hostReach(reachable_), now_);
  }
}

}  // namespace dunvel
