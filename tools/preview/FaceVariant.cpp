#include "preview/FaceVariant.h"

#include <algorithm>

namespace dunvel {
namespace {

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
  if (!choose<FaceSize>(sizes, kAllFaceSizes, parseFaceSize, cases, unknown)) {
    problem = "--size: " + unknown + " is not " + faceSizeNames("all");
    return std::nullopt;
  }
  if (!choose<TextSize>(textSizes, kAllTextSizes, parseTextSize, texts, unknown)) {
    problem = "--text-size: " + unknown + " is not a text size (xSmall … AX3) or all";
    return std::nullopt;
  }
  if (sizes.empty()) cases[static_cast<std::size_t>(FaceSize::mm45)] = true;
  std::vector<FaceVariant> variants;
  for (std::size_t c = 0; c < kAllFaceSizes.size(); ++c) {
    if (!cases[c]) continue;
    const FaceSize size = kAllFaceSizes[c];
    if (textSizes.empty()) {
      variants.push_back({size, faceMetrics(size).textSize});
      continue;
    }
    for (std::size_t t = 0; t < kAllTextSizes.size(); ++t) {
      if (texts[t]) variants.push_back({size, kAllTextSizes[t]});
    }
  }
  return variants;
}

}  // namespace dunvel
