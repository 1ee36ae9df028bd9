#include "views/toolkit/ModifierList.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <unordered_map>

namespace dunvel {
namespace {

std::size_t mix(std::size_t h, std::size_t v) {
  return h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2));
}

std::size_t hashOf(double value) {
  // -0.0 == 0.0 must hash alike; NaN never equals itself, so its hash does not matter.
  return value == 0.0 ? 0 : std::hash<double>{}(value);
}

std::size_t hashOf(const std::optional<double>& value) {
  return value ? mix(1, hashOf(*value)) : 0;
}

// A hash consistent with Modifier's ==: equal modifiers hash alike.
std::size_t hashOf(const Modifier& m) {
  std::size_t h = static_cast<std::size_t>(m.kind);
  h = mix(h, static_cast<std::size_t>(m.edges));
  h = mix(h, hashOf(m.length));
  if (m.font) {
    h = mix(h, static_cast<std::size_t>(m.font->style()) * 4 +
                   static_cast<std::size_t>(m.font->weight()) * 2 +
                   (m.font->isMonospacedDigit() ? 1 : 0));
  }
  if (m.color) {
    h = mix(h, static_cast<std::size_t>(m.color->kind()));
    h = mix(h, hashOf(m.color->redComponent()));
    h = mix(h, hashOf(m.color->greenComponent()));
    h = mix(h, hashOf(m.color->blueComponent()));
    h = mix(h, hashOf(m.color->alpha()));
  }
  if (m.lineLimit) h = mix(h, static_cast<std::size_t>(*m.lineLimit) + 1);
  if (m.textAlignment) h = mix(h, static_cast<std::size_t>(*m.textAlignment) + 1);
  if (m.fixedFrame) h = mix(mix(h, hashOf(m.fixedFrame->width)), hashOf(m.fixedFrame->height));
  if (m.flexibleFrame) {
    const FlexibleFrame& f = *m.flexibleFrame;
    for (const auto* bound :
         {&f.minWidth, &f.idealWidth, &f.maxWidth, &f.minHeight, &f.idealHeight, &f.maxHeight}) {
      h = mix(h, hashOf(*bound));
    }
  }
  if (m.shape) {
    h = mix(h, static_cast<std::size_t>(m.shape->kind));
    h = mix(h, hashOf(m.shape->cornerRadius));
  }
  h = mix(h, std::hash<std::string>{}(m.objectType));
  if (m.layoutDirection) h = mix(h, static_cast<std::size_t>(*m.layoutDirection) + 1);
  return h;
}

// The modifiers alive on this thread, by hash. Entries whose modifier is gone are swept when
// the table has doubled since the last sweep, so it stays in proportion to what is alive.
struct SharedModifiers {
  std::unordered_multimap<std::size_t, std::weak_ptr<const Modifier>> byHash;
  std::size_t sweepAt = 64;

  std::shared_ptr<const Modifier> get(const Modifier& modifier) {
    const std::size_t hash = hashOf(modifier);
    auto [first, last] = byHash.equal_range(hash);
    for (auto it = first; it != last; ++it) {
      if (auto alive = it->second.lock(); alive && *alive == modifier) return alive;
    }
    if (byHash.size() >= sweepAt) {
      std::erase_if(byHash, [](const auto& entry) { return entry.second.expired(); });
      sweepAt = std::max<std::size_t>(64, byHash.size() * 2);
    }
    auto made = std::make_shared<const Modifier>(modifier);
    byHash.emplace(hash, made);
    return made;
  }
};

}  // namespace

std::shared_ptr<const Modifier> sharedModifier(const Modifier& modifier) {
  thread_local SharedModifiers table;
  return table.get(modifier);
}

std::shared_ptr<const Modifier> sharedModifier(ModifierKind kind) {
  Modifier marker;
  marker.kind = kind;
  return sharedModifier(marker);
}

ModifierList::ModifierList(std::initializer_list<Modifier> modifiers) {
  items_.reserve(modifiers.size());
  for (const Modifier& m : modifiers) push_back(m);
}

bool operator==(const ModifierList& a, const ModifierList& b) {
  if (a.items_.size() != b.items_.size()) return false;
  for (std::size_t i = 0; i < a.items_.size(); ++i) {
    if (a.items_[i] != b.items_[i] && !(*a.items_[i] == *b.items_[i])) return false;
  }
  return true;
}

}  // namespace dunvel
