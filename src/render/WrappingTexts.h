#pragma once

namespace dunvel {

// What a text that wraps shows when offered less than one line. It keeps its first line, as on
// the watch, unless the face cannot hold all its content: then texts that wrap give way to the
// one-line texts (names), down to no line at all.
enum class WrappingTexts { keepFirstLine, giveWay };

}  // namespace dunvel
