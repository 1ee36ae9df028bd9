#include "render/TextSize.h"

#include <algorithm>
#include <cctype>
#include <cstddef>

namespace dunvel {
namespace {

std::size_t indexOf(TextSize size) {
  return static_cast<std::size_t>(std::find(kAllTextSizes.begin(), kAllTextSizes.end(), size) -
                                  kAllTextSizes.begin());
}

}  // namespace

std::string_view textSizeName(TextSize size) {
  switch (size) {
    case TextSize::xSmall:
      return "xSmall";
    case TextSize::small:
      return "small";
    case TextSize::large:
      return "large";
    case TextSize::xLarge:
      return "xLarge";
    case TextSize::xxLarge:
      return "xxLarge";
    case TextSize::xxxLarge:
      return "xxxLarge";
    case TextSize::ax1:
      return "AX1";
    case TextSize::ax2:
      return "AX2";
    case TextSize::ax3:
      break;
  }
  return "AX3";
}

std::optional<TextSize> parseTextSize(std::string_view text) {
  for (const TextSize size : kAllTextSizes) {
    const std::string_view name = textSizeName(size);
    if (std::equal(name.begin(), name.end(), text.begin(), text.end(), [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) ==
                 std::tolower(static_cast<unsigned char>(b));
        })) {
      return size;
    }
  }
  return std::nullopt;
}

TextSize largerTextSize(TextSize size) {
  const std::size_t i = indexOf(size);
  return i + 1 < kAllTextSizes.size() ? kAllTextSizes[i + 1] : size;
}

TextSize smallerTextSize(TextSize size) {
  const std::size_t i = indexOf(size);
  return i > 0 ? kAllTextSizes[i - 1] : size;
}

}  // namespace dunvel
