#pragma once

#include <optional>
#include <string_view>

#include "render/Geometry.h"
#include "render/TextSize.h"

namespace dunvel {

// The watch case sizes the companion can be drawn for.
enum class FaceSize { mm41, mm45, mm49 };

// What a face size means on screen, in points.
struct FaceMetrics {
  Size size;
  // The band at the top where the system shows the time; content starts below it.
  double safeAreaTop = 0.0;
  // The corner radius of the display's rounded outline.
  double displayCornerRadius = 0.0;
  // The text size every text is drawn at: the case's default unless the wearer chose another.
  TextSize textSize = TextSize::xLarge;
  // The case's default text size, which the time in the band keeps whatever textSize is.
  TextSize defaultTextSize = TextSize::xLarge;
};

// The case's metrics at its default text size ("large" on 41 mm, "xLarge" on 45 and 49 mm), or
// at textSize when given.
FaceMetrics faceMetrics(FaceSize size, std::optional<TextSize> textSize = std::nullopt);
// "41mm", "45mm", "49mm"; nothing for any other text.
std::optional<FaceSize> parseFaceSize(std::string_view text);
std::string_view faceSizeName(FaceSize size);

}  // namespace dunvel
