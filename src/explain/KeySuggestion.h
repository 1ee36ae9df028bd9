#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace dunvel {

// The key among known that a misspelt one most likely meant: the same letters in another case,
// or one or two edits away (an insertion, a deletion, a change or two neighbours swapped; two
// only for keys of five letters or more, since any short key is two edits from most others).
// Nothing when none is that close.
std::optional<std::string_view> closestKey(std::string_view key,
                                           std::span<const std::string_view> known);

}  // namespace dunvel
