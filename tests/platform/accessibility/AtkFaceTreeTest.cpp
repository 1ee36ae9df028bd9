#include "platform/accessibility/AtkFaceTree.h"

#include <atk/atk.h>
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace dunvel {
namespace {

using Box = std::tuple<int, int, int, int>;

Element buttonElement(const std::string& identity) {
  Element button;
  button.kind = ElementKind::button;
  button.identity = identity;
  return button;
}

AccessibilityElement text(const std::string& label, Rect frame, bool showing = true) {
  return {AccessibilityRole::text, label, {"staticText"}, frame, showing, nullptr};
}

AccessibilityElement button(const std::string& label, Rect frame, const Element& element) {
  return {AccessibilityRole::button, label, {"button"}, frame, true, &element};
}

Box extents(AtkObject* object, AtkCoordType coordinates) {
  int x = -1, y = -1, width = -1, height = -1;
  atk_component_get_extents(ATK_COMPONENT(object), &x, &y, &width, &height, coordinates);
  return {x, y, width, height};
}

bool has(AtkObject* object, AtkStateType state) {
  AtkStateSet* states = atk_object_ref_state_set(object);
  const bool found = atk_state_set_contains_state(states, state);
  g_object_unref(states);
  return found;
}

// A child as the bridge reads it: a new reference, given back at once (the tree keeps its own).
AtkObject* child(AtkObject* parent, int i) {
  AtkObject* found = atk_object_ref_accessible_child(parent, i);
  if (found != nullptr) g_object_unref(found);
  return found;
}

struct ChildrenChange {
  std::string detail;
  unsigned index;
  AtkObject* child;
};

class AtkFaceTreeTest : public ::testing::Test {
 protected:
  AtkFaceTreeTest() {
    AtkFaceTree::Options options;
    options.face = Size{198.0, 242.0};
    options.scale = 2.0;
    options.screenOrigin = [this] { return origin; };
    options.click = [this](std::string_view identity) { clicks.emplace_back(identity); };
    tree.emplace(std::move(options));
    g_signal_connect(tree->frame(), "children-changed::add",
                     G_CALLBACK(+[](AtkObject*, guint index, gpointer child, gpointer changes) {
                       static_cast<std::vector<ChildrenChange>*>(changes)->push_back(
                           {"add", index, static_cast<AtkObject*>(child)});
                     }),
                     &changes);
    g_signal_connect(tree->frame(), "children-changed::remove",
                     G_CALLBACK(+[](AtkObject*, guint index, gpointer child, gpointer changes) {
                       static_cast<std::vector<ChildrenChange>*>(changes)->push_back(
                           {"remove", index, static_cast<AtkObject*>(child)});
                     }),
                     &changes);
  }

  Point origin{100.0, 50.0};
  std::vector<std::string> clicks;
  std::vector<ChildrenChange> changes;
  std::optional<AtkFaceTree> tree;
  const Element reveal = buttonElement("root/0/3");
  const Element award = buttonElement("root/0/4");
};

TEST_F(AtkFaceTreeTest, TheApplicationThenTheFrameThenTheElementsInReadingOrder) {
  AtkObject* application = tree->application();
  EXPECT_EQ(atk_object_get_role(application), ATK_ROLE_APPLICATION);
  EXPECT_STREQ(atk_object_get_name(application), "dunvel-watch");
  ASSERT_EQ(atk_object_get_n_accessible_children(application), 1);
  AtkObject* frame = child(application, 0);
  EXPECT_EQ(frame, tree->frame());
  EXPECT_EQ(atk_object_get_role(frame), ATK_ROLE_FRAME);
  EXPECT_STREQ(atk_object_get_name(frame), "Dunvel");
  EXPECT_EQ(atk_object_get_parent(frame), application);
  EXPECT_EQ(atk_object_get_index_in_parent(frame), 0);
  EXPECT_FALSE(ATK_IS_COMPONENT(application));

  tree->show({text("10:09", {20, 4, 40, 16}), text("سؤال سرعة", {30, 40, 100, 20}),
              button("اعرض الإجابة", {10, 180, 178, 44}, reveal)});
  ASSERT_EQ(atk_object_get_n_accessible_children(frame), 3);
  const std::vector<std::tuple<AtkRole, std::string>> read{{ATK_ROLE_LABEL, "10:09"},
                                                           {ATK_ROLE_LABEL, "سؤال سرعة"},
                                                           {ATK_ROLE_PUSH_BUTTON, "اعرض الإجابة"}};
  for (int i = 0; i < 3; ++i) {
    AtkObject* element = child(frame, i);
    EXPECT_EQ(std::tuple(atk_object_get_role(element), std::string(atk_object_get_name(element))),
              read[static_cast<std::size_t>(i)]);
    EXPECT_EQ(atk_object_get_parent(element), frame);
    EXPECT_EQ(atk_object_get_index_in_parent(element), i);
    EXPECT_EQ(atk_object_get_n_accessible_children(element), 0);
  }
  EXPECT_EQ(child(frame, 3), nullptr);
  EXPECT_EQ(child(frame, -1), nullptr);
  // Only a button can be clicked.
  EXPECT_FALSE(ATK_IS_ACTION(child(frame, 1)));
  EXPECT_TRUE(ATK_IS_ACTION(child(frame, 2)));
}

TEST_F(AtkFaceTreeTest, ExtentsArePointsTimesTheScaleOnTheWindowsPlaceAndShowingFollowsSight) {
  tree->show(
      {text("في المدى", {10.25, 20.5, 50.5, 10}), text("تحت الوجه", {10, 300, 50, 10}, false)});
  AtkObject* frame = tree->frame();
  EXPECT_EQ(extents(frame, ATK_XY_SCREEN), Box(100, 50, 396, 484));
  EXPECT_EQ(extents(frame, ATK_XY_WINDOW), Box(0, 0, 396, 484));
  AtkObject* inSight = child(frame, 0);
  // Each edge rounded: 20.5 → 41, 121.5 → 122 (half away from zero).
  EXPECT_EQ(extents(inSight, ATK_XY_SCREEN), Box(121, 91, 101, 20));
  EXPECT_EQ(extents(inSight, ATK_XY_WINDOW), Box(21, 41, 101, 20));
  EXPECT_EQ(extents(inSight, ATK_XY_PARENT), Box(21, 41, 101, 20));
  // The window moved: asked again, not remembered.
  origin = Point{0.0, 0.0};
  EXPECT_EQ(extents(inSight, ATK_XY_SCREEN), Box(21, 41, 101, 20));

  for (AtkStateType state : {ATK_STATE_SHOWING, ATK_STATE_VISIBLE}) {
    EXPECT_TRUE(has(frame, state));
    EXPECT_TRUE(has(inSight, state));
    EXPECT_FALSE(has(child(frame, 1), state));
  }
  EXPECT_TRUE(has(inSight, ATK_STATE_ENABLED));
}

TEST_F(AtkFaceTreeTest, ClickingAButtonAsksForTheTapOfItsIdentityAndNothingElse) {
  tree->show(
      {button("الصقور, 40", {0, 0, 10, 10}, reveal), button("النمور, 35", {0, 20, 10, 10}, award)});
  AtkAction* second = ATK_ACTION(child(tree->frame(), 1));
  ASSERT_EQ(atk_action_get_n_actions(second), 1);
  EXPECT_STREQ(atk_action_get_name(second, 0), "click");
  EXPECT_TRUE(atk_action_do_action(second, 0));
  EXPECT_FALSE(atk_action_do_action(second, 1));
  EXPECT_EQ(clicks, std::vector<std::string>{"root/0/4"});
}

TEST_F(AtkFaceTreeTest, TheSameElementsAreUpdatedInPlaceAndAnotherScreenReplacesThemAll) {
  tree->show({text("0:01", {0, 0, 40, 16}), button("اعرض الإجابة", {0, 100, 100, 40}, reveal)});
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[1].detail + std::to_string(changes[1].index), "add1");
  AtkObject* clock = child(tree->frame(), 0);
  AtkObject* control = child(tree->frame(), 1);
  std::vector<Box> moves;
  g_signal_connect(control, "bounds-changed",
                   G_CALLBACK(+[](AtkObject*, AtkRectangle* box, gpointer moves) {
                     static_cast<std::vector<Box>*>(moves)->emplace_back(box->x, box->y, box->width,
                                                                         box->height);
                   }),
                   &moves);

  // The clock's next second, the control scrolled a little: the same objects, told apart.
  changes.clear();
  tree->show({text("0:02", {0, 0, 40, 16}), button("اعرض الإجابة", {0, 90, 100, 40}, reveal)});
  EXPECT_TRUE(changes.empty());
  EXPECT_EQ(child(tree->frame(), 0), clock);
  EXPECT_STREQ(atk_object_get_name(clock), "0:02");
  EXPECT_EQ(moves, std::vector<Box>{Box(100, 230, 200, 80)});

  // Another screen: what was there leaves (defunct to whoever still holds it), the new comes.
  g_object_ref(clock);
  tree->show({button("الصقور, 40", {0, 0, 10, 10}, award)});
  std::vector<std::string> told;
  for (const ChildrenChange& change : changes) {
    told.push_back(change.detail + std::to_string(change.index));
  }
  EXPECT_EQ(told, (std::vector<std::string>{"remove1", "remove0", "add0"}));
  EXPECT_EQ(changes[1].child, clock);
  EXPECT_TRUE(has(clock, ATK_STATE_DEFUNCT));
  EXPECT_EQ(atk_object_get_index_in_parent(clock), -1);
  ASSERT_EQ(atk_object_get_n_accessible_children(tree->frame()), 1);
  EXPECT_STREQ(atk_object_get_name(child(tree->frame(), 0)), "الصقور, 40");
  g_object_unref(clock);

  // A button of another identity in the same place is another control.
  changes.clear();
  tree->show({button("الصقور, 40", {0, 0, 10, 10}, reveal)});
  EXPECT_EQ(changes.size(), 2u);
}

// A team name may hold U+0000, and ATK takes names as C strings: handed over as it is, the label
// would end at the NUL, the points after it lost. It reads with U+FFFD in the NUL's place, when
// it comes and when it changes.
TEST_F(AtkFaceTreeTest, ANulInALabelStandsAsAReplacementCharacterNotAsItsEnd) {
  tree->show({button(std::string("a\0b, 5", 6), {0, 0, 10, 10}, award)});
  AtkObject* control = child(tree->frame(), 0);
  EXPECT_STREQ(atk_object_get_name(control),
               "a\xEF\xBF\xBD"
               "b, 5");
  tree->show({button(std::string("a\0b, 6", 6), {0, 0, 10, 10}, award)});
  EXPECT_EQ(child(tree->frame(), 0), control);
  EXPECT_STREQ(atk_object_get_name(control),
               "a\xEF\xBF\xBD"
               "b, 6");
}

// A long list is exposed around what is in sight, and the objects follow as the crown scrolls:
// a hundred thousand rows must not be as many objects for a reader to walk.
TEST_F(AtkFaceTreeTest, ALongListIsExposedAroundWhatIsInSightAndPagedAsItScrolls) {
  const auto rows = [](int top) {
    std::vector<AccessibilityElement> list;
    for (int i = 0; i < 1000; ++i) {
      const bool inSight = i >= top && i < top + 10;
      list.push_back(text("row " + std::to_string(i), {0, 20.0 * (i - top), 100, 20}, inSight));
    }
    return list;
  };
  const auto names = [&] {
    const int count = atk_object_get_n_accessible_children(tree->frame());
    return std::to_string(count) + " " + atk_object_get_name(child(tree->frame(), 0)) + " .. " +
           atk_object_get_name(child(tree->frame(), count - 1));
  };
  tree->show(rows(0));
  EXPECT_EQ(names(), "42 row 0 .. row 41");
  tree->show(rows(500));
  EXPECT_EQ(names(), "74 row 468 .. row 541");
  tree->show(rows(990));
  EXPECT_EQ(names(), "42 row 958 .. row 999");
  // Nothing in sight: the list's start stands for it.
  tree->show(rows(5000));
  EXPECT_EQ(names(), "32 row 0 .. row 31");
}

TEST_F(AtkFaceTreeTest, ADefunctButtonClicksNothing) {
  tree->show({button("اعرض الإجابة", {0, 0, 10, 10}, reveal)});
  AtkObject* control = child(tree->frame(), 0);
  g_object_ref(control);
  tree->show({});
  EXPECT_FALSE(atk_action_do_action(ATK_ACTION(control), 0));
  EXPECT_TRUE(clicks.empty());
  g_object_unref(control);
}

}  // namespace
}  // namespace dunvel
