// The damage between two frames, from their drawings alone: a drawing that stays the same at
// the same place changes no pixel, so only the bounds of those that differ, came or went are
// painted again.
#include "render/PaintDamage.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <utility>

namespace dunvel {

std::optional<std::vector<Rect>> damageBetween(const std::vector<PaintOp>& before,
                                               const std::vector<PaintOp>& after) {
  std::vector<Rect> damage;
  auto add = [&damage](const Rect& r) {
    if (r.width > 0.0 && r.height > 0.0) damage.push_back(r);
  };
  // Mostly the same boxes draw in the same order (a tick of the clock, a press): the drawings
  // are compared place by place, with nothing to look up.
  const auto samePlace = [](const PaintOp& a, const PaintOp& b) {
    return a.box == b.box && a.identity == b.identity;
  };
  if (std::equal(before.begin(), before.end(), after.begin(), after.end(), samePlace)) {
    for (std::size_t i = 0; i < after.size(); ++i) {
      if (!(before[i] == after[i])) {
        add(before[i].bounds);
        add(after[i].bounds);
      }
    }
    return damage;
  }
  // A drawing's place: its element, its box and how many drawings that box made before it.
  auto places = [](const std::vector<PaintOp>& ops) {
    std::map<std::pair<std::string, int>, int> seen;
    std::vector<std::tuple<std::string, int, int>> keys;
    keys.reserve(ops.size());
    for (const PaintOp& op : ops) {
      keys.emplace_back(op.identity, op.box, seen[{op.identity, op.box}]++);
    }
    return keys;
  };
  const auto beforeKeys = places(before);
  const auto afterKeys = places(after);
  std::map<std::tuple<std::string, int, int>, std::size_t> beforeAt;
  for (std::size_t i = 0; i < beforeKeys.size(); ++i) beforeAt.emplace(beforeKeys[i], i);

  std::vector<bool> matched(before.size(), false);
  std::size_t lastMatched = 0;
  bool anyMatched = false;
  for (std::size_t i = 0; i < after.size(); ++i) {
    const auto found = beforeAt.find(afterKeys[i]);
    if (found == beforeAt.end()) {
      add(after[i].bounds);
      continue;
    }
    // Drawings that stay must stay in the same order: what covers what would change.
    if (anyMatched && found->second < lastMatched) return std::nullopt;
    anyMatched = true;
    lastMatched = found->second;
    matched[found->second] = true;
    if (!(before[found->second] == after[i])) {
      add(before[found->second].bounds);
      add(after[i].bounds);
    }
  }
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (!matched[i]) add(before[i].bounds);
  }
  return damage;
}

}  // namespace dunvel
