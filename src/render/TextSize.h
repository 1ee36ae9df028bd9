#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace dunvel {

// The text size the wearer chose in the watch's settings (its content size category), smallest
// first. Every text style's point size and leading follow it.
enum class TextSize { xSmall, small, large, xLarge, xxLarge, xxxLarge, ax1, ax2, ax3 };

inline constexpr std::array<TextSize, 9> kAllTextSizes = {
    TextSize::xSmall,   TextSize::small, TextSize::large, TextSize::xLarge, TextSize::xxLarge,
    TextSize::xxxLarge, TextSize::ax1,   TextSize::ax2,   TextSize::ax3};

// "xSmall", "small", "large", "xLarge", "xxLarge", "xxxLarge", "AX1", "AX2", "AX3".
std::string_view textSizeName(TextSize size);
// One of those names in any case; nothing for any other text.
std::optional<TextSize> parseTextSize(std::string_view text);
// The next size up or down, staying at the ends.
TextSize largerTextSize(TextSize size);
TextSize smallerTextSize(TextSize size);

}  // namespace dunvel
