#include "preview/FaceVariant.h"

#include <algorithm>

namespace dunvel {
namespace {

constexpr FaceSize kCases[] = {FaceSize::mm41, FaceSize::mm45, FaceSize::mm49};

// Marks the chosen members of all in chosen (indexed like all); false for an unknown name.
template <class Value, class Range, class Parse>
bool choose(const std::vector<std::string>& names, const Range& all, Parse parse,
            std::vector<bool>& chosen, std::string& unknown) {
  chosen.assign(std::size(all), false);
  for (const std::string& name : names) {
    if (name == "all") {
      chosen.assign(std::size(all), true);
      continue;
    }
    const std::optional<Value> value = parse(name);
    if (!value) {
      unknown = name;
      return false;
    }
    const auto at = std::find(std::begin(all), std::end(all), *value) - std::begin(all);
    chosen[static_cast<std::size_t>(at)] = true;
  }
  return true;
}

}  // namespace

std::string FaceVariant::name() const {
  std::string text(faceSizeName(size));
  text += '-';
  text += textSizeName(textSize);
  return text;
}

std::optional<std::vector<FaceVariant>> chooseFaceVariants(
    const std::vector<std::string>& sizes, const std::vector<std::string>& textSizes,
    std::string& problem) {
  std::vector<bool> cases;
  std::vector<bool> texts;
  std::string unknown;
  if (!choose<FaceSize>(sizes, kCases, parseFaceSize, cases, unknown)) {
    problem = "--size: " + unknown + " is not 41mm, 45mm, 49mm or all";
    return std::nullopt;
  }
  if (!choose<TextSize>(textSizes, kAllTextSizes, parseTextSize, texts, unknown)) {
    problem = "--text-size: " + unknown + " is not a text size (xSmall … AX3) or all";
    return std::nullopt;
  }
  if (sizes.empty()) cases[1] = true;
  std::vector<FaceVariant> variants;
  for (std::size_t c = 0; c < std::size(kCases); ++c) {
    if (!cases[c]) continue;
    if (textSizes.empty()) {
      variants.push_back({kCases[c], faceMetrics(kCases[c]).textSize});
      continue;
    }
    for (std::size_t t = 0; t < kAllTextSizes.size(); ++t) {
      if (texts[t]) variants.push_back({kCases[c], kAllTextSizes[t]});
    }
  }
  return variants;
}

}  // namespace dunvel
