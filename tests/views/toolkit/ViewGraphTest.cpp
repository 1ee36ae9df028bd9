#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "TestStore.h"
#include "platform/runloop/ManualRunLoop.h"
#include "views/toolkit/Environment.h"
#include "views/toolkit/EnvironmentObject.h"
#include "views/toolkit/Node.h"
#include "views/toolkit/NodeData.h"
#include "views/toolkit/State.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

// Shows its count; its button counts up. The count is view-local state.
struct Counter {
  std::string name;
  State<int> count = 0;

  auto states() { return std::tie(count); }
  Node body() const {
    return VStack(HorizontalAlignment::center, std::nullopt,
                  {Text(Verbatim{name + "=" + std::to_string(count.get())}),
                   Button([self = *this] { self.count.set(self.count.get() + 1); },
                          Text(Verbatim{"+" + name}))});
  }
};

// Runs queued blocks, at most limit of them, so a fault that loops fails instead of hanging.
std::size_t runQueue(ManualRunLoop& loop, std::size_t limit = 100) {
  std::size_t ran = 0;
  while (ran < limit && loop.step()) ++ran;
  return ran;
}

bool shows(const ViewGraph& graph, const std::string& text) {
  return graph.tree().findText(text) != nullptr;
}

void tap(const ViewGraph& graph, const std::string& label) {
  const Element* button = graph.tree().findButton(label);
  ASSERT_NE(button, nullptr) << label;
  button->tap();
}

// Chooses between two places by the store's flag: a Counter in each branch, and a Counter after
// the condition whose place never changes.
struct Switcher {
  EnvironmentObject<TestStore> store;
  Node body() const {
    return VStack(HorizontalAlignment::center, std::nullopt,
                  {If(store->flag.get(), View(Counter{"then", 10}), View(Counter{"else", 10})),
                   View(Counter{"after", 0})});
  }
};

TEST(ViewGraph, StateLivesAtItsPlaceAndStartsAfreshWhenThePlaceIsNew) {
  ManualRunLoop loop;
  TestStore store;
  ViewGraph graph(View(Switcher{}).environmentObject(store), EnvironmentValues{}, loop);
  graph.evaluate();
  ASSERT_TRUE(shows(graph, "then=10"));

  tap(graph, "+then");
  tap(graph, "+after");
  // A state change re-evaluates through the main queue, not on the spot.
  EXPECT_TRUE(shows(graph, "then=10"));
  EXPECT_TRUE(graph.isEvaluationQueued());
  runQueue(loop);
  EXPECT_TRUE(shows(graph, "then=11"));
  EXPECT_TRUE(shows(graph, "after=1"));

  // Re-evaluation builds new Counter values with 10 again; the kept state wins.
  store.value = 5;
  runQueue(loop);
  EXPECT_TRUE(shows(graph, "then=11"));

  // The other branch is another place: it starts from its own initial value, and the state
  // after the condition is untouched.
  const Element leftBehind = *graph.tree().findButton("+then");
  store.flag = false;
  runQueue(loop);
  // A button kept from the discarded place changes nothing on screen.
  leftBehind.tap();
  EXPECT_FALSE(graph.isEvaluationQueued());
  EXPECT_TRUE(shows(graph, "else=10"));
  EXPECT_FALSE(shows(graph, "then=11"));
  EXPECT_TRUE(shows(graph, "after=1"));

  // Coming back to the first branch starts it afresh.
  store.flag = true;
  runQueue(loop);
  EXPECT_TRUE(shows(graph, "then=10"));
  EXPECT_TRUE(shows(graph, "after=1"));
}

TEST(ViewGraph, SettingStateToAnEqualValueSchedulesNothing) {
  ManualRunLoop loop;
  State<int> outside = 3;
  struct Holder {
    State<int> value;
    auto states() { return std::tie(value); }
    Node body() const {
      return Button([self = *this] { self.value.set(self.value.get()); }, Text(Verbatim{"same"}));
    }
  };
  ViewGraph graph(View(Holder{outside}), EnvironmentValues{}, loop);
  graph.evaluate();
  tap(graph, "same");
  EXPECT_FALSE(graph.isEvaluationQueued());
  EXPECT_EQ(loop.pending(), 0u);
  EXPECT_EQ(graph.stats().evaluations, 1u);
  // The graph kept the box the view arrived with.
  outside.set(4);
  EXPECT_TRUE(graph.isEvaluationQueued());
}

struct Team {
  std::string id;
  std::string name;
};

// One Counter per team, identified by the team's id.
struct Board {
  const std::vector<Team>* teams;
  EnvironmentObject<TestStore> store;
  Node body() const {
    (void)store->value.get();  // observe the store: every assignment re-evaluates
    return VStack(HorizontalAlignment::leading, 6,
                  {ForEach(
                      *teams, [](const Team& t) { return t.id; },
                      [](const Team& t) {
                        return View(Counter{t.name, 0});
                      })});
  }
};

TEST(ViewGraph, ForEachRowsKeepTheirStateByIdAndDuplicateIdsKeepTheirOwnRows) {
  ManualRunLoop loop;
  TestStore store;
  std::vector<Team> teams{{"t1", "A"}, {"t2", "B"}, {"t1", "C"}};
  ViewGraph graph(View(Board{&teams, {}}).environmentObject(store), EnvironmentValues{}, loop);
  graph.evaluate();

  // Two rows share the id t1: each has its own state.
  tap(graph, "+A");
  runQueue(loop);
  tap(graph, "+C");
  tap(graph, "+C");
  runQueue(loop);
  EXPECT_TRUE(shows(graph, "A=1"));
  EXPECT_TRUE(shows(graph, "B=0"));
  EXPECT_TRUE(shows(graph, "C=2"));
  std::vector<std::string> identities;
  for (const Element* view : graph.tree().findAll(ElementKind::view)) {
    identities.push_back(view->identity);
  }
  std::sort(identities.begin(), identities.end());
  EXPECT_EQ(std::adjacent_find(identities.begin(), identities.end()), identities.end());

  // Rows move with their ids: B first now; the state follows the id, not the position.
  teams = {{"t2", "B"}, {"t1", "A"}, {"t1", "C"}};
  tap(graph, "+B");
  runQueue(loop);
  EXPECT_TRUE(shows(graph, "B=1"));
  EXPECT_TRUE(shows(graph, "A=1"));
  EXPECT_TRUE(shows(graph, "C=2"));

  // A row that leaves loses its state; when its id comes back it starts afresh.
  teams = {{"t1", "A"}};
  store.value = 1;
  runQueue(loop);
  EXPECT_FALSE(shows(graph, "B=1"));
  teams = {{"t1", "A"}, {"t2", "B"}};
  store.value = 2;
  runQueue(loop);
  EXPECT_TRUE(shows(graph, "A=1"));
  EXPECT_TRUE(shows(graph, "B=0"));

  // Ids with path characters cannot pose as other places.
  teams = {{"a/0", "X"}, {"a", "Y"}, {"a#0", "Z"}};
  store.value = 3;
  runQueue(loop);
  tap(graph, "+X");
  runQueue(loop);
  EXPECT_TRUE(shows(graph, "X=1"));
  EXPECT_TRUE(shows(graph, "Y=0"));
  EXPECT_TRUE(shows(graph, "Z=0"));
}

// Watches the store's opened moment; its change action resets a flag and counts.
struct Watcher {
  EnvironmentObject<TestStore> store;
  int* changes;
  State<bool> armed = true;
  auto states() { return std::tie(armed); }
  Node body() const {
    return Text(Verbatim{armed.get() ? "armed" : "reset"})
        .onChange(store->opened.get(), [self = *this] {
          ++*self.changes;
          self.armed.set(false);
        });
  }
};

TEST(ViewGraph, ChangeActionsRunWhenTheValueDiffersAndNaNCannotLoop) {
  ManualRunLoop loop;
  TestStore store;
  int changes = 0;
  ViewGraph graph(View(Watcher{{}, &changes}).environmentObject(store), EnvironmentValues{}, loop);
  graph.evaluate();
  EXPECT_EQ(changes, 0) << "no change action on first appearance";

  store.opened = 0.0;  // announced, but the same value
  runQueue(loop);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(graph.stats().evaluations, 2u);

  store.opened = 100.0;
  runQueue(loop);
  EXPECT_EQ(changes, 1);
  // The action changed state: one more evaluation, then quiet.
  EXPECT_TRUE(shows(graph, "reset"));
  EXPECT_EQ(loop.pending(), 0u);
  const std::size_t settled = graph.stats().evaluations;

  // NaN differs from itself at every evaluation, so the action runs each time; setting the
  // state it already holds queues nothing, so there is no loop.
  store.opened = std::numeric_limits<double>::quiet_NaN();
  EXPECT_LE(runQueue(loop), 2u);
  EXPECT_EQ(loop.pending(), 0u);
  EXPECT_EQ(changes, 2);
  store.value = 1;
  EXPECT_LE(runQueue(loop), 2u);
  EXPECT_EQ(loop.pending(), 0u);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(graph.stats().evaluations, settled + 2);
}

// Reads the store in body; its button reads it in the action.
struct Reader {
  EnvironmentObject<TestStore> store;
  std::vector<int>* seen;
  LayoutDirection* direction = nullptr;
  Node body() const {
    seen->push_back(store->value.get());
    if (direction) *direction = Environment::current().layoutDirection;
    return Button([self = *this] { self.seen->push_back(-self.store->value.get()); },
                  Text(LocalizedStringKey{"read"}));
  }
};

TEST(ViewGraph, AnnouncementsReEvaluateOnceAfterTheValueIsStored) {
  ManualRunLoop loop;
  TestStore store;
  std::vector<int> seen;
  LayoutDirection direction = LayoutDirection::leftToRight;
  ViewGraph graph(View(Reader{{}, &seen, &direction})
                      .environmentObject(store)
                      .environment(LayoutDirection::rightToLeft),
                  EnvironmentValues{}, loop);
  std::vector<std::string> log;
  graph.onEvaluated([&log](const Element& tree) { log.push_back(tree.viewType); });
  graph.evaluate();
  EXPECT_EQ(seen, (std::vector<int>{0}));

  // Three assignments, announced before each is stored: one evaluation, which sees the last.
  store.value = 1;
  store.value = 2;
  store.value = 3;
  EXPECT_EQ(seen.size(), 1u) << "re-evaluation waits for the main queue";
  EXPECT_EQ(runQueue(loop), 1u);
  EXPECT_EQ(seen, (std::vector<int>{0, 3}));
  EXPECT_EQ(log, (std::vector<std::string>{"Reader", "Reader"}));

  // The action finds the store of its place in the environment.
  tap(graph, "read");
  EXPECT_EQ(seen.back(), -3);

  // Outside a graph the environment is not there: a clear error, not a crash.
  EXPECT_THROW(EnvironmentObject<TestStore>{}.get(), std::logic_error);
  EXPECT_FALSE(Environment::isActive());

  // The root sets right to left; the view sees it.
  EXPECT_EQ(direction, LayoutDirection::rightToLeft);
  EXPECT_EQ(graph.tree().modifier(ModifierKind::environment)->layoutDirection,
            LayoutDirection::rightToLeft);
}

TEST(ViewGraph, AMissingEnvironmentObjectIsAClearError) {
  ManualRunLoop loop;
  std::vector<int> seen;
  ViewGraph graph(View(Reader{{}, &seen}), EnvironmentValues{}, loop);
  EXPECT_THROW(graph.evaluate(), std::logic_error);
  // The graph is still usable once the object is there.
  TestStore store;
  graph.setRoot(View(Reader{{}, &seen}).environmentObject(store));
  graph.evaluate();
  EXPECT_NE(graph.tree().findButton("read"), nullptr);
}

TEST(ViewGraph, ADestroyedGraphIgnoresLaterAnnouncementsAndQueuedBlocks) {
  ManualRunLoop loop;
  TestStore store;
  std::vector<int> seen;
  {
    ViewGraph graph(View(Reader{{}, &seen}).environmentObject(store), EnvironmentValues{}, loop);
    graph.evaluate();
    store.value = 1;  // queues a re-evaluation
  }
  runQueue(loop);
  store.value = 2;
  runQueue(loop);
  EXPECT_EQ(seen, (std::vector<int>{0}));
}

}  // namespace
}  // namespace dunvel

namespace dunvel {
namespace {

// Returns a description it also keeps: the graph must resolve it again and again alike.
struct Keeper {
  std::shared_ptr<Node> kept;
  Node body() const { return *kept; }
};

TEST(ViewGraph, ADescriptionHeldElsewhereIsResolvedWholeEveryTime) {
  ManualRunLoop loop;
  auto kept = std::make_shared<Node>(
      VStack(HorizontalAlignment::leading, 2,
             {Text(Verbatim{"kept"}).font(Font::body()).padding(3),
              ForEach(
                  std::vector<int>{1, 2}, [](int i) { return i; },
                  [](int i) { return Text(Verbatim{"row " + std::to_string(i)}); })}));
  // The graph's own root is held by the graph; a body made anew each time is the view's alone.
  ViewGraph graph(VStack(HorizontalAlignment::center, std::nullopt,
                         {View(Keeper{kept}), Text(Verbatim{"root"}).padding(1)}),
                  EnvironmentValues{}, loop);
  graph.evaluate();
  const std::vector<std::string> first = graph.tree().texts();
  const ModifierList modifiers = graph.tree().findText("kept")->modifiers;
  graph.evaluate();
  graph.evaluate();
  EXPECT_EQ(graph.tree().texts(), first);
  EXPECT_EQ(first, (std::vector<std::string>{"kept", "row 1", "row 2", "root"}));
  const Element* text = graph.tree().findText("kept");
  ASSERT_NE(text, nullptr);
  ASSERT_EQ(text->modifiers.size(), 2u);
  EXPECT_EQ(text->modifiers, modifiers);
  EXPECT_EQ(text->modifiers[1].length, 3.0);
  EXPECT_EQ(graph.tree().findText("root")->modifiers.at(0).length, 1.0);
}

TEST(ViewGraph, EqualModifiersAreOneSharedValue) {
  ASSERT_NE(Text(Verbatim{"a"}).padding(8).data().shown, nullptr);
  EXPECT_EQ(Text(Verbatim{"a"}).padding(8).data().shown->length, 8.0);
  // Rows that pad alike share the padding; another amount is another value.
  EXPECT_EQ(Text(Verbatim{"a"}).padding(8).data().shown,
            Text(Verbatim{"b"}).padding(8).data().shown);
  EXPECT_NE(Text(Verbatim{"a"}).padding(8).data().shown,
            Text(Verbatim{"a"}).padding(9).data().shown);
  EXPECT_NE(Text(Verbatim{"a"}).padding(8).data().shown,
            Text(Verbatim{"a"}).padding(Edges::horizontal, 8).data().shown);
  EXPECT_EQ(Text(Verbatim{"a"}).background(Color::gray().opacity(0.4)).data().shown,
            Text(Verbatim{"a"}).background(Color::gray().opacity(0.4)).data().shown);
  EXPECT_NE(Text(Verbatim{"a"}).background(Color::gray().opacity(0.4)).data().shown,
            Text(Verbatim{"a"}).foregroundColor(Color::gray().opacity(0.4)).data().shown);

  // A list made of values compares by value, in order.
  Modifier red;
  red.kind = ModifierKind::foregroundColor;
  red.color = Color::red();
  Modifier small;
  small.kind = ModifierKind::frame;
  small.fixedFrame = FixedFrame{4, 4};
  const ModifierList list = {red, small};
  EXPECT_EQ(list, (ModifierList{red, small}));
  EXPECT_NE(list, (ModifierList{small, red}));
  EXPECT_NE(list, (ModifierList{red}));
  EXPECT_EQ(list.rbegin()->kind, ModifierKind::frame);
}

}  // namespace
}  // namespace dunvel
