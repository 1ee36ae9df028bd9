#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <tuple>
#include <typeinfo>
#include <utility>
#include <vector>

#include "views/toolkit/AnyView.h"
#include "views/toolkit/Node.h"
#include "views/toolkit/TypeName.h"

namespace dunvel {

// A view that lists its State members with `auto states() { return std::tie(a, b); }`.
template <class V>
concept HasStates = requires(V& view) {
  view.states();
};

// The AnyView of one view type.
template <ViewValue V>
class ViewHolder final : public AnyView {
 public:
  explicit ViewHolder(V view) : view_(std::move(view)) {}

  const std::string& typeName() const override {
    static const std::string name = dunvel::typeName(typeid(V));
    return name;
  }
  std::shared_ptr<AnyView> clone() const override { return std::make_shared<ViewHolder>(view_); }

  std::vector<std::shared_ptr<StateBoxBase>> stateBoxes() const override {
    std::vector<std::shared_ptr<StateBoxBase>> boxes;
    if constexpr (HasStates<V>) {
      // states() is not const (it hands out references to members); a copy serves.
      V copy = view_;
      std::apply([&](auto&... state) { (boxes.push_back(state.box()), ...); }, copy.states());
    }
    return boxes;
  }

  void adoptStateBoxes(const std::vector<std::shared_ptr<StateBoxBase>>& boxes) override {
    if constexpr (HasStates<V>) {
      std::size_t i = 0;
      std::apply([&](auto&... state) { ((adoptOne(state, boxes.at(i)), ++i), ...); },
                 view_.states());
    }
  }

  Node body() const override { return Node(view_.body()); }

 private:
  template <class S>
  static void adoptOne(S& state, const std::shared_ptr<StateBoxBase>& box) {
    using Box = typename decltype(state.box())::element_type;
    state.adopt(std::static_pointer_cast<Box>(box));
  }

  V view_;
};

}  // namespace dunvel
