#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace dunvel::layout {

// A few values for one call, on the stack unless there are many.
template <typename T>
class Scratch {
 public:
  explicit Scratch(std::size_t count) {
    if (count > kInline) heap_.resize(count);
  }
  T* data() { return heap_.empty() ? inline_.data() : heap_.data(); }
  T& operator[](std::size_t i) { return data()[i]; }

 private:
  static constexpr std::size_t kInline = 16;
  std::array<T, kInline> inline_{};
  std::vector<T> heap_;
};

}  // namespace dunvel::layout
