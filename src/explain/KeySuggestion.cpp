#include "explain/KeySuggestion.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace dunvel {
namespace {

// No key the watch reads is longer than this; a longer one is never a near miss, and the
// distance below is quadratic in the key's length.
constexpr std::size_t kLongestKnownKey = 32;

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

// Edits between a and b, where a swap of two neighbouring letters is one edit ("questoin" is two
// changes or one swap away from "question": here it is one).
std::size_t editDistance(std::string_view a, std::string_view b) {
  const std::size_t columns = b.size() + 1;
  std::vector<std::size_t> d((a.size() + 1) * columns);
  const auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * columns + j]; };
  for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
  for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t change = lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1;
      std::size_t best = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
      if (i > 1 && j > 1 && lower(a[i - 1]) == lower(b[j - 2]) &&
          lower(a[i - 2]) == lower(b[j - 1])) {
        best = std::min(best, at(i - 2, j - 2) + 1);
      }
      at(i, j) = best;
    }
  }
  return at(a.size(), b.size());
}

}  // namespace

std::optional<std::string_view> closestKey(std::string_view key,
                                           std::span<const std::string_view> known) {
  if (key.size() > kLongestKnownKey + 2) return std::nullopt;
  for (std::string_view candidate : known) {
    if (equalIgnoringCase(key, candidate)) return candidate;
  }
  std::optional<std::string_view> best;
  std::size_t bestDistance = 0;
  for (std::string_view candidate : known) {
    const std::size_t allowed = std::min(key.size(), candidate.size()) >= 5 ? 2 : 1;
    const std::size_t distance = editDistance(key, candidate);
    if (distance <= allowed && (!best || distance < bestDistance)) {
      best = candidate;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace dunvel
