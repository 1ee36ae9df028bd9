// Prints, one JSON line each, every command the companion's controls send: the reveal control on
// the question screen, then each award control and the no-answer control on the answer screen,
// for teams whose ids are as awkward as a host app may send (Arabic, empty, quotes, shared). The
// schema test validates them with a validator nobody here wrote.
#include <iostream>
#include <vector>

#include "ScreenHarness.h"
#include "state/SnapshotJson.h"

namespace {

void tapEveryButton(const dunvel::Element& element) {
  if (element.kind == dunvel::ElementKind::button) element.tap();
  for (const dunvel::Element& child : element.children) tapEveryButton(child);
}

}  // namespace

int main() {
  using namespace dunvel;
  ScreenHarness h;
  h.session.setReachable(true);
  for (const char* screen : {"question", "answer"}) {
    GameState state = snapshot(screen);
    state.teams = {TeamState("t1", "الصقور", 12), TeamState("فريق ٢", "النمور", 7),
                   TeamState("", "بلا معرف", 0), TeamState("q\"\\/", "رموز", 1),
                   TeamState("t1", "الصقور مرة أخرى", 3)};
    h.show(state);
    // The tree is copied first: a tap may lead to a new evaluation of the one it was found in.
    const Element tree = h.tree();
    tapEveryButton(tree);
  }
  for (const ContextDictionary& message : h.session.sentMessages()) {
    std::cout << writeContextJson(message) << '\n';
  }
  return h.session.sentMessages().size() == 7 ? 0 : 1;
}
