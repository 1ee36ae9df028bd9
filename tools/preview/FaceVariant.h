#pragma once

#include <optional>
#include <string>
#include <vector>

#include "render/FaceSize.h"
#include "render/TextSize.h"

namespace dunvel {

// One way a face can be shown: a case at a text size.
struct FaceVariant {
  FaceSize size = FaceSize::mm45;
  TextSize textSize = TextSize::xLarge;

  // "45mm-xLarge": how reference images and reports name it.
  std::string name() const;
  bool operator==(const FaceVariant&) const = default;
};

// The variants named by repeatable --size and --text-size options (each a case or text size
// name, or "all"): every chosen case at every chosen text size. No case chosen means 45mm; no
// text size chosen means each case at its own. Duplicates count once; the order is the cases',
// then the text sizes', smallest first. Nothing, with problem set to one line, for a name that is
// neither.
std::optional<std::vector<FaceVariant>> chooseFaceVariants(
    const std::vector<std::string>& sizes, const std::vector<std::string>& textSizes,
    std::string& problem);

}  // namespace dunvel
