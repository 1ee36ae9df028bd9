#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "views/toolkit/Axis.h"
#include "views/toolkit/ChangeBinding.h"
#include "views/toolkit/Color.h"
#include "views/toolkit/Edges.h"
#include "views/toolkit/FlexibleFrame.h"
#include "views/toolkit/Font.h"
#include "views/toolkit/HorizontalAlignment.h"
#include "views/toolkit/LayoutDirection.h"
#include "views/toolkit/LocalizedStringKey.h"
#include "views/toolkit/ModifierList.h"
#include "views/toolkit/NodeModifier.h"
#include "views/toolkit/ReceiveBinding.h"
#include "views/toolkit/RoundedCornerStyle.h"
#include "views/toolkit/ShapeGeometry.h"
#include "views/toolkit/ShowsIndicators.h"
#include "views/toolkit/SystemName.h"
#include "views/toolkit/TextAlignment.h"
#include "views/toolkit/TypeName.h"
#include "views/toolkit/Verbatim.h"
#include "views/toolkit/VerticalAlignment.h"

namespace dunvel {

struct NodeData;
class AnyView;
class Shape;

// The description a view's body returns: a tree of values that may contain views. Build it with
// the free functions below and the modifier members, which read like the screen:
//     VStack(HorizontalAlignment::center, 8, {Text(Verbatim{name}), Spacer()}).padding()
// A modifier wraps its subject; the element tree keeps modifiers in the order they were applied
// (padding then background then clip are three different things). A Node is an immutable value
// and cheap to copy. A default Node is an empty group: it shows nothing.
//
// Identity: an element's place is its path of static positions (a child's index among its
// parent's children as written, the branch of an If, a ForEach item's id, a view's type). A
// modifier applied to a Group, If or ForEach applies to each element it produces.
class Node {
 public:
  Node();
  explicit Node(std::shared_ptr<const NodeData> data);

  // Text styles and weights; inherited by the texts, labels and symbols below.
  Node font(Font font) const;
  Node foregroundColor(Color color) const;
  Node tint(Color color) const;
  Node lineLimit(int lines) const;
  Node multilineTextAlignment(TextAlignment alignment) const;
  // The platform's default amount on all edges; an amount on all edges; on some edges.
  Node padding() const;
  Node padding(double length) const;
  Node padding(Edges edges) const;
  Node padding(Edges edges, double length) const;
  Node frame(double width, double height) const;
  Node frame(FlexibleFrame frame) const;
  Node background(Color color) const;
  Node clipShape(const Shape& shape) const;

  // Places object into the environment of the subtree under its type T (not owned: it must
  // outlive the graph). An ObservableObject placed here makes the graph re-evaluate after each
  // of its announcements.
  template <class T>
  Node environmentObject(T& object) const {
    Modifier shown;
    shown.kind = ModifierKind::environmentObject;
    shown.objectType = typeName(typeid(T));
    NodeModifier m;
    m.shown = sharedModifier(shown);
    m.applyEnvironment = [object = &object](EnvironmentValues& values) {
      values.setObject(*object);
    };
    return withModifier(std::move(m));
  }
  Node environment(LayoutDirection direction) const;

  // Runs handler(value) on the main thread for each value the publisher emits while this place
  // stays in the tree. Re-evaluation keeps the subscription and only swaps in the new handler
  // (so a timer's cadence is never restarted); a publisher that is not the same stream (!=)
  // replaces the subscription. The handler runs in this place's environment.
  template <Publisher P, class F>
  Node onReceive(P publisher, F handler) const {
    NodeModifier m;
    m.shown = sharedModifier(ModifierKind::onReceive);
    m.receive = std::make_shared<ReceiveBindingFor<P>>(
        std::move(publisher), typename ReceiveBindingFor<P>::Handler(std::move(handler)));
    return withModifier(std::move(m));
  }

  // Runs action after an evaluation in which value differs (operator==) from the value of the
  // previous evaluation of this place; not when the place first appears. The action runs after
  // the whole tree is evaluated, in this place's environment.
  template <class T>
  Node onChange(T value, std::function<void()> action) const {
    NodeModifier m;
    m.shown = sharedModifier(ModifierKind::onChange);
    m.change = std::make_shared<ChangeBindingFor<T>>(std::move(value), std::move(action));
    return withModifier(std::move(m));
  }

  // For the builders and the view graph.
  const NodeData& data() const { return *data_; }
  // Whether this Node is the only one referring to its description.
  bool isSoleOwner() const { return data_.use_count() == 1; }
  Node withModifier(NodeModifier modifier) const;
  static Node makeView(std::shared_ptr<const AnyView> view);
  // One row per id, made by makeRow(index) when the graph resolves it.
  static Node makeForEach(std::vector<std::string> ids, std::function<Node(std::size_t)> makeRow);

 private:
  std::shared_ptr<const NodeData> data_;
};

// Containers. A spacing of std::nullopt is the platform's default.
Node VStack(HorizontalAlignment alignment, std::optional<double> spacing,
            std::vector<Node> children);
Node HStack(VerticalAlignment alignment, std::optional<double> spacing, std::vector<Node> children);
Node ScrollView(Axis axis, ShowsIndicators indicators, Node content);
// A flexible space; minLength std::nullopt is the platform's default minimum.
Node Spacer(std::optional<double> minLength = std::nullopt);

// Elements.
Node Text(Verbatim text);
Node Text(LocalizedStringKey key);
Node Image(SystemName symbol);
Node Label(LocalizedStringKey title, SystemName icon);
// action runs on the main thread when the button is tapped, in the environment of its place.
Node Button(std::function<void()> action, Node label);

// Transparent containers: their elements are spliced into the parent.
Node Group(std::vector<Node> children);
// Each branch has its own identity: a view under `then` and one under `otherwise` are at
// different places, so switching branches starts the other branch afresh.
Node If(bool condition, Node then);
Node If(bool condition, Node then, Node otherwise);

// A view is a type with `Node body() const`. It may list its State members with
// `auto states() { return std::tie(a, b); }` (see State). Closures made in body may capture the
// view by value; the copy shares its states.
template <class V>
concept ViewValue = requires(const V& view) {
  { view.body() } -> std::convertible_to<Node>;
};

template <ViewValue V>
class ViewHolder;

// Embeds a view value; its place in the tree is its identity (with its type).
template <ViewValue V>
Node View(V view) {
  return Node::makeView(std::make_shared<ViewHolder<V>>(std::move(view)));
}

// One row per item, identified by idOf(item) (a string or an integer). Items that share an id
// are told apart by their position among the items with that id, so each keeps its own row.
// The items are copied; each row is made by makeRow (a copy of it) only as the graph resolves
// it, in the environment of the ForEach's place, so a list of thousands of rows never stands
// whole as a description beside the tree it becomes. What makeRow refers to must outlive the
// resolution of the body that made the ForEach.
template <class Items, class IdOf, class MakeRow>
Node ForEach(const Items& items, IdOf idOf, MakeRow makeRow) {
  using Item = std::decay_t<decltype(*std::begin(items))>;
  auto kept = std::make_shared<const std::vector<Item>>(std::begin(items), std::end(items));
  std::vector<std::string> ids;
  ids.reserve(kept->size());
  for (const Item& item : *kept) {
    auto id = idOf(item);
    if constexpr (std::is_integral_v<decltype(id)>) {
      ids.push_back(std::to_string(id));
    } else {
      ids.emplace_back(id);
    }
  }
  return Node::makeForEach(std::move(ids),
                           [kept, makeRow = std::move(makeRow)](std::size_t i) -> Node {
                             return Node(makeRow((*kept)[i]));
                           });
}

}  // namespace dunvel

#include "views/toolkit/Shape.h"
#include "views/toolkit/ViewHolder.h"
