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

Node elementNode(Element element, std::vector<Node> children = {}) {
  auto data = std::make_shared<NodeData>();
  data->kind = NodeData::Kind::element;
  data->element = std::move(element);
  data->children = std::move(children);
  return Node(std::move(data));
}

Element elementOf(ElementKind kind) {
  Element e;
  e.kind = kind;
  return e;
}

Node shapeNode(const ShapeGeometry& geometry) {
  Element e =
      elementOf(geometry.kind == ShapeGeometry::Kind::circle ? ElementKind::circle
                                                             : ElementKind::roundedRectangle);
  e.shape = geometry;
  return elementNode(std::move(e));
}

NodeModifier shownModifier(Modifier modifier) {
  NodeModifier m;
  m.shown = std::move(modifier);
  return m;
}

Modifier modifierOf(ModifierKind kind) {
  Modifier m;
  m.kind = kind;
  return m;
}

}  // namespace

Node::Node() : data_(emptyGroup()) {}

Node::Node(std::shared_ptr<const NodeData> data) : data_(data ? std::move(data) : emptyGroup()) {}

Node Node::withModifier(NodeModifier modifier) const {
  auto data = std::make_shared<NodeData>();
  data->kind = NodeData::Kind::modified;
  data->subject = data_;
  data->modifier = std::move(modifier);
  return Node(std::move(data));
}

Node Node::font(Font font) const {
  Modifier m = modifierOf(ModifierKind::font);
  m.font = font;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::foregroundColor(Color color) const {
  Modifier m = modifierOf(ModifierKind::foregroundColor);
  m.color = color;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::tint(Color color) const {
  Modifier m = modifierOf(ModifierKind::tint);
  m.color = color;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::lineLimit(int lines) const {
  Modifier m = modifierOf(ModifierKind::lineLimit);
  m.lineLimit = lines;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::multilineTextAlignment(TextAlignment alignment) const {
  Modifier m = modifierOf(ModifierKind::multilineTextAlignment);
  m.textAlignment = alignment;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::padding() const {
  return padding(Edges::all);
}

Node Node::padding(double length) const {
  return padding(Edges::all, length);
}

Node Node::padding(Edges edges) const {
  Modifier m = modifierOf(ModifierKind::padding);
  m.edges = edges;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::padding(Edges edges, double length) const {
  Modifier m = modifierOf(ModifierKind::padding);
  m.edges = edges;
  m.length = length;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::frame(double width, double height) const {
  Modifier m = modifierOf(ModifierKind::frame);
  m.fixedFrame = FixedFrame{width, height};
  return withModifier(shownModifier(std::move(m)));
}

Node Node::frame(FlexibleFrame frame) const {
  Modifier m = modifierOf(ModifierKind::frame);
  m.flexibleFrame = frame;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::background(Color color) const {
  Modifier m = modifierOf(ModifierKind::background);
  m.color = color;
  return withModifier(shownModifier(std::move(m)));
}

Node Node::clipShape(const Shape& shape) const {
  Modifier m = modifierOf(ModifierKind::clipShape);
  m.shape = shape.geometry();
  return withModifier(shownModifier(std::move(m)));
}

Node Node::environment(LayoutDirection direction) const {
  NodeModifier m;
  m.shown.kind = ModifierKind::environment;
  m.shown.layoutDirection = direction;
  m.applyEnvironment = [direction](EnvironmentValues& values) {
    values.layoutDirection = direction;
  };
  return withModifier(std::move(m));
}

Node Node::makeView(std::shared_ptr<const AnyView> view) {
  auto data = std::make_shared<NodeData>();
  data->kind = NodeData::Kind::view;
  data->view = std::move(view);
  return Node(std::move(data));
}

Node Node::makeForEach(std::vector<std::pair<std::string, Node>> rows) {
  auto data = std::make_shared<NodeData>();
  data->kind = NodeData::Kind::forEach;
  // Items that share an id keep apart by their position among the items with that id: the
  // second "t1" is "t1" occurrence 1 wherever it moves, so each keeps its own row and state.
  std::map<std::string, std::size_t> seen;
  for (auto& [id, row] : rows) {
    std::size_t occurrence = seen[id]++;
    data->ids.push_back(id + '#' + std::to_string(occurrence));
    data->children.push_back(std::move(row));
  }
  return Node(std::move(data));
}

Node VStack(HorizontalAlignment alignment, std::optional<double> spacing,
            std::vector<Node> children) {
  Element e = elementOf(ElementKind::vstack);
  e.horizontalAlignment = alignment;
  e.spacing = spacing;
  return elementNode(std::move(e), std::move(children));
}

Node HStack(VerticalAlignment alignment, std::optional<double> spacing,
            std::vector<Node> children) {
  Element e = elementOf(ElementKind::hstack);
  e.verticalAlignment = alignment;
  e.spacing = spacing;
  return elementNode(std::move(e), std::move(children));
}

Node ScrollView(Axis axis, ShowsIndicators indicators, Node content) {
  Element e = elementOf(ElementKind::scrollView);
  e.axis = axis;
  e.showsIndicators = indicators;
  return elementNode(std::move(e), {std::move(content)});
}

Node Spacer(std::optional<double> minLength) {
  Element e = elementOf(ElementKind::spacer);
  e.minLength = minLength;
  return elementNode(std::move(e));
}

Node Text(Verbatim text) {
  Element e = elementOf(ElementKind::text);
  e.text = TextContent(std::move(text));
  return elementNode(std::move(e));
}

Node Text(LocalizedStringKey key) {
  Element e = elementOf(ElementKind::text);
  e.text = TextContent(std::move(key));
  return elementNode(std::move(e));
}

Node Image(SystemName symbol) {
  Element e = elementOf(ElementKind::image);
  e.systemName = std::move(symbol.name);
  return elementNode(std::move(e));
}

Node Label(LocalizedStringKey title, SystemName icon) {
  Element e = elementOf(ElementKind::label);
  e.text = TextContent(std::move(title));
  e.systemName = std::move(icon.name);
  return elementNode(std::move(e));
}

Node Button(std::function<void()> action, Node label) {
  Element e = elementOf(ElementKind::button);
  e.action = std::move(action);
  return elementNode(std::move(e), {std::move(label)});
}

Node Group(std::vector<Node> children) {
  auto data = std::make_shared<NodeData>();
  data->kind = NodeData::Kind::group;
  data->children = std::move(children);
  return Node(std::move(data));
}

Node If(bool condition, Node then) {
  auto data = std::make_shared<NodeData>();
  data->kind = NodeData::Kind::conditional;
  data->branch = condition ? "then" : "else";
  if (condition) data->children.push_back(std::move(then));
  return Node(std::move(data));
}

Node If(bool condition, Node then, Node otherwise) {
  auto data = std::make_shared<NodeData>();
  data->kind = NodeData::Kind::conditional;
  data->branch = condition ? "then" : "else";
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
