#include "render/FaceSize.h"

namespace dunvel {

FaceMetrics faceMetrics(FaceSize size, std::optional<TextSize> textSize) {
  // Sizes in points of the three cases' displays (41 mm 352×430 px, 45 mm 396×484 px, 49 mm
  // 410×502 px at two pixels per point). The time band is measured on the watch: 34 points on
  // 41 mm, 35 on 45 mm; 49 mm keeps our earlier reading of its screens, 37 (the same seventh of
  // the face's height). The display's smooth corners are our reading of the watch's own screens:
  // they reach about a quarter of its width in from each edge (a continuous corner of radius r
  // bends over 1.53 r), so nothing below the time band is cut. The default text sizes are the
  // watch's own: "large" on the 41 mm case, "xLarge" on the larger ones.
  FaceMetrics metrics;
  switch (size) {
    case FaceSize::mm41:
      metrics = {{176.0, 215.0}, 34.0, 27.0, TextSize::large, TextSize::large};
      break;
    case FaceSize::mm49:
      metrics = {{205.0, 251.0}, 37.0, 31.0, TextSize::xLarge, TextSize::xLarge};
      break;
    case FaceSize::mm45:
      metrics = {{198.0, 242.0}, 35.0, 30.0, TextSize::xLarge, TextSize::xLarge};
      break;
  }
  if (textSize) metrics.textSize = *textSize;
  return metrics;
}

std::optional<FaceSize> parseFaceSize(std::string_view text) {
  if (text == "41mm") return FaceSize::mm41;
  if (text == "45mm") return FaceSize::mm45;
  if (text == "49mm") return FaceSize::mm49;
  return std::nullopt;
}

std::string_view faceSizeName(FaceSize size) {
  switch (size) {
    case FaceSize::mm41:
      return "41mm";
    case FaceSize::mm49:
      return "49mm";
    case FaceSize::mm45:
      break;
  }
  return "45mm";
}

}  // namespace dunvel
