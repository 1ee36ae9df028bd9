#pragma once

#include <cstddef>
#include <memory>

#include "app/ScreenPreview.h"
#include "observation/Date.h"
#include "state/GameState.h"

namespace dunvel {

class FaceLayout;
class FaceRenderer;

// A snapshot's face as a still picture shows it: at scroll offset 0, where of a long team list
// only the first rows can show. The list is cut to its first rows, and more are taken only when
// those do not yet fill the list past all that could differ; so a picture of a hundred thousand
// teams lays out and shapes a screenful of rows, and is the same, pixel for pixel, as the picture
// of the whole list.
class ShownPreview {
 public:
  // firstRows: how many rows a long list is first cut to.
  ShownPreview(GameState state, bool reachable, Date now, std::size_t firstRows = kFirstRows);
  ~ShownPreview();

  // Rows a long list is first cut to: more than any face shows at the largest text size.
  static constexpr std::size_t kFirstRows = 128;
  ShownPreview(const ShownPreview&) = delete;
  ShownPreview& operator=(const ShownPreview&) = delete;

  // Lays the face out on the renderer, with as many rows as it takes.
  const FaceLayout& layout(FaceRenderer& renderer);
  // The tree last laid out; valid until the next layout.
  const Element& tree() const { return preview_->tree(); }
  // How many teams the tree holds.
  std::size_t rows() const { return rows_; }

 private:
  GameState state_;
  bool reachable_;
  Date now_;
  std::size_t rows_;
  std::unique_ptr<ScreenPreview> preview_;
  // The tree laid out before the current one: the renderer compares the next tree with it.
  std::unique_ptr<ScreenPreview> previous_;
};

}  // namespace dunvel
