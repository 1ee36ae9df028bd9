#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "render/Geometry.h"
#include "render/TextSize.h"

namespace dunvel {

// The watch case sizes the companion can be drawn for: every screen the app's minimum system
// version runs on, smallest display first. mm49third is the third rugged model, whose display
// grew inside the same 49 mm case.
enum class FaceSize { mm40, mm41, mm42, mm44, mm45, mm46, mm49, mm49third };

// Every case, in the order of the enum: the one list the tools offer, draw and check.
inline constexpr std::array<FaceSize, 8> kAllFaceSizes = {
    FaceSize::mm40, FaceSize::mm41, FaceSize::mm42, FaceSize::mm44,
    FaceSize::mm45, FaceSize::mm46, FaceSize::mm49, FaceSize::mm49third};

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

// The case's metrics at its default text size ("large" on 40 and 41 mm, "xLarge" on the
// others), or at textSize when given.
FaceMetrics faceMetrics(FaceSize size, std::optional<TextSize> textSize = std::nullopt);
// "40mm", "41mm", "42mm", "44mm", "45mm", "46mm", "49mm", "49mm-3"; nothing for any other text.
std::optional<FaceSize> parseFaceSize(std::string_view text);
std::string_view faceSizeName(FaceSize size);
// The names of every case, joined as a sentence: "40mm, 41mm, …, 49mm or 49mm-3" (with "or"
// before the last, or `last` in its place when given: "…, 49mm-3 or all").
std::string faceSizeNames(std::string_view last = {});

}  // namespace dunvel
