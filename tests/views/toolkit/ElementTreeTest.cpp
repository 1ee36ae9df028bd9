#include <gtest/gtest.h>

#include <cmath>
#include <concepts>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "TestStore.h"
#include "platform/runloop/ManualRunLoop.h"
#include "views/toolkit/ElementJson.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

Element evaluateOnce(Node root) {
  ManualRunLoop loop;
  ViewGraph graph(std::move(root), EnvironmentValues{}, loop);
  graph.evaluate();
  return graph.tree();
}

TEST(ElementTree, ModifiersKeepTheOrderOfApplication) {
  Element padThenFill =
      evaluateOnce(Text(Verbatim{"x"})
                       .padding(Edges::horizontal, 4)
                       .background(Color::red())
                       .clipShape(RoundedRectangle(10, RoundedCornerStyle::continuous)));
  ASSERT_EQ(padThenFill.modifiers.size(), 3u);
  EXPECT_EQ(padThenFill.modifiers[0].kind, ModifierKind::padding);
  EXPECT_EQ(padThenFill.modifiers[0].edges, Edges::horizontal);
  EXPECT_EQ(padThenFill.modifiers[0].length, 4.0);
  EXPECT_EQ(padThenFill.modifiers[1].kind, ModifierKind::background);
  EXPECT_EQ(padThenFill.modifiers[1].color, Color::red());
  EXPECT_EQ(padThenFill.modifiers[2].kind, ModifierKind::clipShape);
  ASSERT_TRUE(padThenFill.modifiers[2].shape);
  EXPECT_EQ(padThenFill.modifiers[2].shape->cornerRadius, 10.0);
  EXPECT_EQ(padThenFill.modifiers[2].shape->style, RoundedCornerStyle::continuous);

  // The same modifiers in another order are another element.
  Element fillThenPad =
      evaluateOnce(Text(Verbatim{"x"})
                       .background(Color::red())
                       .padding(Edges::horizontal, 4)
                       .clipShape(RoundedRectangle(10, RoundedCornerStyle::continuous)));
  EXPECT_EQ(fillThenPad.modifiers[0].kind, ModifierKind::background);
  EXPECT_EQ(fillThenPad.modifiers[1].kind, ModifierKind::padding);
  EXPECT_NE(padThenFill.modifiers, fillThenPad.modifiers);

  // A default padding has no amount; a repeated modifier is kept twice.
  Element twice = evaluateOnce(Text(Verbatim{"x"}).padding().padding(3));
  ASSERT_EQ(twice.modifiers.size(), 2u);
  EXPECT_EQ(twice.modifiers[0].length, std::nullopt);
  EXPECT_EQ(twice.modifiers[0].edges, Edges::all);
  EXPECT_EQ(twice.modifiers[1].length, 3.0);

  // A modifier on a group reaches each element the group produces, after the element's own.
  Element stack = evaluateOnce(VStack(
      HorizontalAlignment::leading, std::nullopt,
      {Group({Text(Verbatim{"a"}).lineLimit(1), Text(Verbatim{"b"})}).font(Font::body().bold())}));
  ASSERT_EQ(stack.children.size(), 2u);
  ASSERT_EQ(stack.children[0].modifiers.size(), 2u);
  EXPECT_EQ(stack.children[0].modifiers[0].kind, ModifierKind::lineLimit);
  EXPECT_EQ(stack.children[0].modifiers[1].font, Font::body().bold());
  ASSERT_EQ(stack.children[1].modifiers.size(), 1u);
  EXPECT_EQ(stack.children[1].modifiers[0].font, Font::body().bold());
}

TEST(ElementTree, TextsKnowWhetherTheyAreVerbatimOrLocalisable) {
  Element verbatim = evaluateOnce(Text(Verbatim{"%lld"}));
  ASSERT_TRUE(verbatim.text);
  EXPECT_FALSE(verbatim.text->isLocalizable());
  EXPECT_EQ(verbatim.text->shown(), "%lld");

  Element key = evaluateOnce(Text(LocalizedStringKey{"محد جاوب"}));
  EXPECT_TRUE(key.text->isLocalizable());
  EXPECT_EQ(key.text->key(), "محد جاوب");
  EXPECT_EQ(key.text->shown(), "محد جاوب");
  EXPECT_EQ(key.text->argument(), std::nullopt);

  // "%lld" takes the whole 64-bit range in plain decimal, minus sign included.
  const std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
  Element lowestPoints = evaluateOnce(Text(LocalizedStringKey::integer(lowest)));
  EXPECT_TRUE(lowestPoints.text->isLocalizable());
  EXPECT_EQ(lowestPoints.text->key(), "%lld");
  EXPECT_EQ(lowestPoints.text->argument(), lowest);
  EXPECT_EQ(lowestPoints.text->shown(), "-9223372036854775808");
  EXPECT_EQ(evaluateOnce(Text(LocalizedStringKey::integer(-5))).text->shown(), "-5");
  EXPECT_EQ(evaluateOnce(Text(LocalizedStringKey::integer(5000000000))).text->shown(),
            "5000000000");

  // A label's title is localisable; its icon is a symbol name.
  Element label = evaluateOnce(Label(LocalizedStringKey{"اعرض الإجابة"}, SystemName{"eye.fill"}));
  EXPECT_EQ(label.kind, ElementKind::label);
  EXPECT_TRUE(label.text->isLocalizable());
  EXPECT_EQ(label.systemName, "eye.fill");
}

TEST(ElementTree, ButtonsHoldTheirActionAndQueriesFindThem) {
  int reveals = 0;
  int awards = 0;
  Element tree = evaluateOnce(VStack(
      HorizontalAlignment::center, 8,
      {Button([&reveals] { ++reveals; },
              Label(LocalizedStringKey{"اعرض الإجابة"}, SystemName{"eye.fill"}))
           .tint(Color::sRGB(1.0, 0.7, 0.0)),
       Button([&awards] { ++awards; },
              HStack(VerticalAlignment::center, std::nullopt,
                     {Text(Verbatim{"Team A"}), Spacer(), Text(LocalizedStringKey::integer(3))}))
           .tint(Color::green())}));

  const Element* reveal = tree.findButton("اعرض الإجابة");
  ASSERT_NE(reveal, nullptr);
  reveal->tap();
  reveal->tap();
  EXPECT_EQ(reveals, 2);
  EXPECT_EQ(awards, 0);

  const Element* award = tree.findButton("Team A");
  ASSERT_NE(award, nullptr);
  EXPECT_EQ(award->modifier(ModifierKind::tint)->color, Color::green());
  award->tap();
  EXPECT_EQ(awards, 1);

  EXPECT_EQ(tree.findButton("3"), award);
  EXPECT_EQ(tree.findButton("nothing"), nullptr);
  EXPECT_EQ(tree.findAll(ElementKind::button).size(), 2u);
  EXPECT_EQ(tree.texts(), (std::vector<std::string>{"اعرض الإجابة", "Team A", "3"}));
  EXPECT_THROW(tree.findText("Team A")->tap(), std::logic_error);
}

// The first element of a kind in a tree of one's own, to change it.
Element& firstOf(Element& tree, ElementKind kind) {
  return const_cast<Element&>(*tree.findAll(kind).at(0));
}

TEST(ElementTree, TreesLookAlikeWhenEveryShownPropertyIsAlikeInEveryPlaceWhateverTheyDo) {
  const auto row = [](std::function<void()> action) {
    return evaluateOnce(VStack(
        HorizontalAlignment::center, 8,
        {Button(std::move(action),
                HStack(VerticalAlignment::center, std::nullopt,
                       {Text(Verbatim{"Team A"}), Spacer(), Text(LocalizedStringKey::integer(3))}))
             .tint(Color::green())}));
  };
  int taps = 0;
  const Element tree = row([] {});
  EXPECT_TRUE(tree.looksLike(row([&taps] { ++taps; })));
  EXPECT_TRUE(tree.look() == row([] {}).look());

  // A change deep in the tree, in a property or a modifier, or a child more or less.
  Element spacer = tree;
  firstOf(spacer, ElementKind::spacer).minLength = 4.0;
  EXPECT_FALSE(tree.looksLike(spacer));
  EXPECT_TRUE(tree.look() == spacer.look());
  Element tint = tree;
  firstOf(tint, ElementKind::button).modifiers = {};
  EXPECT_FALSE(tree.looksLike(tint));
  Element shorter = tree;
  firstOf(shorter, ElementKind::hstack).children.pop_back();
  EXPECT_FALSE(tree.looksLike(shorter));
  EXPECT_FALSE(shorter.looksLike(tree));
  Element moved = tree;
  firstOf(moved, ElementKind::text).identity += "/moved";
  EXPECT_FALSE(tree.looksLike(moved));
  EXPECT_EQ(taps, 0);

  // Whole elements have no ==: it would compare their own looks and not their children.
  static_assert(!std::equality_comparable<Element>);
  static_assert(std::equality_comparable<ElementLook>);
}

TEST(ElementTree, ColoursClampTheirComponentsAndMultiplyOpacity) {
  Color gold = Color::sRGB(1.0, 0.7, 0.0);
  EXPECT_EQ(gold.alpha(), 1.0);
  EXPECT_EQ(gold.opacity(0.6).alpha(), 0.6);
  EXPECT_EQ(gold.opacity(0.5).opacity(0.5).alpha(), 0.25);
  EXPECT_EQ(Color::gray().opacity(0.4).kind(), Color::Kind::gray);
  EXPECT_NE(Color::gray().opacity(0.4), Color::gray());
  Color wild = Color::sRGB(std::nan(""), 2.0, -1.0, 7.0);
  EXPECT_EQ(wild.redComponent(), 0.0);
  EXPECT_EQ(wild.greenComponent(), 1.0);
  EXPECT_EQ(wild.blueComponent(), 0.0);
  EXPECT_EQ(wild.alpha(), 1.0);
}

TEST(ElementJson, SerialisesKindPropertiesModifiersAndChildren) {
  Node card = VStack(HorizontalAlignment::center, 4,
                     {Text(Verbatim{"Falcons"}).font(Font::body().bold()).lineLimit(1),
                      Text(LocalizedStringKey{"ضد"})
                          .font(Font::caption2())
                          .foregroundColor(Color::secondary()),
                      Text(LocalizedStringKey::integer(-5)),
                      HStack(VerticalAlignment::center, std::nullopt,
                             {Circle().foregroundColor(Color::gray().opacity(0.4)).frame(8, 8),
                              Image(SystemName{"timer"}), Spacer()})})
                  .padding(10)
                  .frame(FlexibleFrame{.maxWidth = infinity})
                  .background(Color::sRGB(0.2, 0.26, 0.42).opacity(0.6))
                  .clipShape(RoundedRectangle(12, RoundedCornerStyle::continuous));
  nlohmann::json expected = nlohmann::json::parse(R"({
    "kind": "vstack", "alignment": "center", "spacing": 4,
    "modifiers": [
      {"kind": "padding", "edges": "all", "length": 10},
      {"kind": "frame", "maxWidth": "infinity"},
      {"kind": "background", "color": {"sRGB": [0.2, 0.26, 0.42], "opacity": 0.6}},
      {"kind": "clipShape", "shape": "roundedRectangle", "cornerRadius": 12, "style": "continuous"}
    ],
    "children": [
      {"kind": "text", "text": "Falcons", "localizable": false,
       "modifiers": [{"kind": "font", "font": {"style": "body", "weight": "bold"}},
                     {"kind": "lineLimit", "lines": 1}],
       "children": []},
      {"kind": "text", "text": "ضد", "localizable": true, "key": "ضد",
       "modifiers": [{"kind": "font", "font": {"style": "caption2"}},
                     {"kind": "foregroundColor", "color": {"name": "secondary"}}],
       "children": []},
      {"kind": "text", "text": "-5", "localizable": true, "key": "%lld", "argument": -5,
       "modifiers": [], "children": []},
      {"kind": "hstack", "alignment": "center", "spacing": null, "modifiers": [],
       "children": [
         {"kind": "circle",
          "modifiers": [{"kind": "foregroundColor", "color": {"name": "gray", "opacity": 0.4}},
                        {"kind": "frame", "width": 8, "height": 8}],
          "children": []},
         {"kind": "image", "systemName": "timer", "modifiers": [], "children": []},
         {"kind": "spacer", "minLength": null, "modifiers": [], "children": []}
       ]}
    ]
  })");
  EXPECT_EQ(elementToJson(evaluateOnce(card)), expected)
      << elementToJson(evaluateOnce(card)).dump(2);
}

struct Greeting {
  EnvironmentObject<TestStore> store;
  Node body() const { return Text(Verbatim{store->text.get()}); }
};

TEST(ElementJson, ShowsViewsByTypeAndEnvironmentModifiers) {
  TestStore store;
  store.text = "مرحبا";
  Element tree = evaluateOnce(
      View(Greeting{}).environmentObject(store).environment(LayoutDirection::rightToLeft));
  nlohmann::json expected = nlohmann::json::parse(R"({
    "kind": "view", "type": "Greeting",
    "modifiers": [{"kind": "environmentObject", "type": "TestStore"},
                  {"kind": "environment", "layoutDirection": "rightToLeft"}],
    "children": [{"kind": "text", "text": "مرحبا", "localizable": false,
                  "modifiers": [], "children": []}]
  })");
  EXPECT_EQ(elementToJson(tree), expected) << elementToJson(tree).dump(2);
}

}  // namespace
}  // namespace dunvel
