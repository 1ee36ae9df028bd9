#include "views/toolkit/Node.h"

#include <map>
#include <utility>

#include "views/toolkit/NodeData.h"

namespace dunvel {

namespace {

const std::shared_ptr<const NodeData>& emptyGroup() {
  static const std::shared_ptr<const NodeData> empty = std::make_shared<const NodeData>();
  return empty;
}

std::shared_ptr<NodeData> dataOf(NodeData::Kind kind) {
  auto data = std::make_shared<NodeData>();
  data->kind = kind;
  return data;
}

// An element of kind whose properties set fills in, built in place.
template <class Set>
Node elementNode(ElementKind kind, Set set, std::vector<Node> children = {}) {
  auto data = dataOf(NodeData::Kind::element);
  data->element = std::make_unique<ElementProperties>();
  data->element->kind = kind;
  set(*data->element);
  data->children = std::move(children);
  return Node(std::move(data));
}

Node shapeNode(const ShapeGeometry& geometry) {
  const ElementKind kind = geometry.kind == ShapeGeometry::Kind::circle
                               ? ElementKind::circle
                               : ElementKind::roundedRectangle;
  return elementNode(kind, [&](ElementProperties& e) { e.shape = geometry; });
}

// subject wrapped in a modifier of kind that changes only what is shown; set fills in the
// modifier's fields.
template <class Set>
Node withShown(const Node& subject, ModifierKind kind, Set set) {
  Modifier shown;
  shown.kind = kind;
  set(shown);
  NodeModifier m;
  m.shown = sharedModifier(shown);
  return subject.withModifier(std::move(m));
}

}  // namespace

Node::Node() : data_(emptyGroup()) {}

Node::Node(std::shared_ptr<const NodeData> data) : data_(data ? std::move(data) : emptyGroup()) {}

Node Node::withModifier(NodeModifier modifier) const {
  auto data = dataOf(NodeData::Kind::modified);
  data->subject = data_;
  data->shown = modifier.shown;
  if (modifier.acts()) data->acting = std::make_unique<const NodeModifier>(std::move(modifier));
  return Node(std::move(data));
}

Node Node::font(Font font) const {
  return withShown(*this, ModifierKind::font, [&](Modifier& m) { m.font = font; });
}

Node Node::foregroundColor(Color color) const {
  return withShown(*this, ModifierKind::foregroundColor, [&](Modifier& m) { m.color = color; });
}

Node Node::tint(Color color) const {
  return withShown(*this, ModifierKind::tint, [&](Modifier& m) { m.color = color; });
}

Node Node::lineLimit(int lines) const {
  return withShown(*this, ModifierKind::lineLimit, [&](Modifier& m) { m.lineLimit = lines; });
}

Node Node::multilineTextAlignment(TextAlignment alignment) const {
  return withShown(*this, ModifierKind::multilineTextAlignment,
                   [&](Modifier& m) { m.textAlignment = alignment; });
}

Node Node::padding() const {
  return padding(Edges::all);
}

Node Node::padding(double length) const {
  return padding(Edges::all, length);
}

Node Node::padding(Edges edges) const {
  return withShown(*this, ModifierKind::padding, [&](Modifier& m) { m.edges = edges; });
}

Node Node::padding(Edges edges, double length) const {
  return withShown(*this, ModifierKind::padding, [&](Modifier& m) {
    m.edges = edges;
    m.length = length;
  });
}

Node Node::frame(double width, double height) const {
  return withShown(*this, ModifierKind::frame, [&](Modifier& m) {
    m.fixedFrame = FixedFrame{width, height};
  });
}

Node Node::frame(FlexibleFrame frame) const {
  return withShown(*this, ModifierKind::frame, [&](Modifier& m) { m.flexibleFrame = frame; });
}

Node Node::background(Color color) const {
  return withShown(*this, ModifierKind::background, [&](Modifier& m) { m.color = color; });
}

Node Node::clipShape(const Shape& shape) const {
  return withShown(*this, ModifierKind::clipShape,
                   [&](Modifier& m) { m.shape = shape.geometry(); });
}

Node Node::environment(LayoutDirection direction) const {
  Modifier shown;
  shown.kind = ModifierKind::environment;
  shown.layoutDirection = direction;
  NodeModifier m;
  m.shown = sharedModifier(shown);
  m.applyEnvironment = [direction](EnvironmentValues& values) {
    values.layoutDirection = direction;
  };
  return withModifier(std::move(m));
}

Node Node::makeView(std::shared_ptr<const AnyView> view) {
  auto data = dataOf(NodeData::Kind::view);
  data->otherToSet().view = std::move(view);
  return Node(std::move(data));
}

Node Node::makeForEach(std::vector<std::string> ids, std::function<Node(std::size_t)> makeRow) {
  auto data = dataOf(NodeData::Kind::forEach);
  // Items that share an id keep apart by their position among the items with that id: the
  // second "t1" is "t1" occurrence 1 wherever it moves, so each keeps its own row and state.
  std::map<std::string, std::size_t> seen;
  for (std::string& id : ids) {
    const std::size_t occurrence = seen[id]++;
    id += '#' + std::to_string(occurrence);
  }
  data->otherToSet().ids = std::move(ids);
  data->other->makeRow = std::move(makeRow);
  return Node(std::move(data));
}

Node VStack(HorizontalAlignment alignment, std::optional<double> spacing,
            std::vector<Node> children) {
  return elementNode(
      ElementKind::vstack,
      [&](ElementProperties& e) {
        e.horizontalAlignment = alignment;
        e.spacing = spacing;
      },
      std::move(children));
}

Node HStack(VerticalAlignment alignment, std::optional<double> spacing,
            std::vector<Node> children) {
  return elementNode(
      ElementKind::hstack,
      [&](ElementProperties& e) {
        e.verticalAlignment = alignment;
        e.spacing = spacing;
      },
      std::move(children));
}

Node ScrollView(Axis axis, ShowsIndicators indicators, Node content) {
  return elementNode(ElementKind::scrollView,
                     [&](ElementProperties& e) {
                       e.axis = axis;
                       e.showsIndicators = indicators;
                     },
                     {std::move(content)});
}

Node Spacer(std::optional<double> minLength) {
  return elementNode(ElementKind::spacer, [&](ElementProperties& e) { e.minLength = minLength; });
}

Node Text(Verbatim text) {
  return elementNode(ElementKind::text, [&](ElementProperties& e) {
    e.contentToSet().text = TextContent(std::move(text));
  });
}

Node Text(LocalizedStringKey key) {
  return elementNode(ElementKind::text, [&](ElementProperties& e) {
    e.contentToSet().text = TextContent(std::move(key));
  });
}

Node Image(SystemName symbol) {
  return elementNode(ElementKind::image, [&](ElementProperties& e) {
    e.contentToSet().systemName = std::move(symbol.name);
  });
}

Node Label(LocalizedStringKey title, SystemName icon) {
  return elementNode(ElementKind::label, [&](ElementProperties& e) {
    e.contentToSet().text = TextContent(std::move(title));
    e.contentToSet().systemName = std::move(icon.name);
  });
}

Node Button(std::function<void()> action, Node label) {
  return elementNode(ElementKind::button,
                     [&](ElementProperties& e) { e.contentToSet().action = std::move(action); },
                     {std::move(label)});
}

Node Group(std::vector<Node> children) {
  auto data = dataOf(NodeData::Kind::group);
  data->children = std::move(children);
  return Node(std::move(data));
}

Node If(bool condition, Node then) {
  auto data = dataOf(NodeData::Kind::conditional);
  data->otherToSet().branch = condition ? "then" : "else";
  if (condition) data->children.push_back(std::move(then));
  return Node(std::move(data));
}

Node If(bool condition, Node then, Node otherwise) {
  auto data = dataOf(NodeData::Kind::conditional);
  data->otherToSet().branch = condition ? "then" : "else";
  data->children.push_back(condition ? std::move(then) : std::move(otherwise));
  return Node(std::move(data));
}

Shape::Shape(ShapeGeometry geometry) : Node(shapeNode(geometry)), geometry_(geometry) {}

Shape Circle() {
  return Shape(ShapeGeometry{ShapeGeometry::Kind::circle, 0.0, {}});
}

Shape RoundedRectangle(double cornerRadius, RoundedCornerStyle style) {
  return Shape(ShapeGeometry{ShapeGeometry::Kind::roundedRectangle, cornerRadius, style});
}

}  // namespace dunvel
