#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "render/LayoutNode.h"

namespace dunvel {

// The boxes of one layout, made in blocks that never move: a box's address stays valid while
// more are made, and boxes point to each other.
class LayoutNodePool {
 public:
  LayoutNode& make() {
    if (blocks_.empty() || usedInBlock_ == kNodesPerBlock) {
      blocks_.push_back(std::make_unique<LayoutNode[]>(kNodesPerBlock));
      usedInBlock_ = 0;
    }
    return blocks_.back()[usedInBlock_++];
  }

  // Calls visit with every box made, in the order made.
  template <typename Visit>
  void forEach(Visit&& visit) {
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
      const std::size_t used = b + 1 == blocks_.size() ? usedInBlock_ : kNodesPerBlock;
      for (std::size_t i = 0; i < used; ++i) visit(blocks_[b][i]);
    }
  }

 private:
  static constexpr std::size_t kNodesPerBlock = 64;
  std::vector<std::unique_ptr<LayoutNode[]>> blocks_;
  std::size_t usedInBlock_ = 0;
};

}  // namespace dunvel
