#include "render/FaceSize.h"

namespace dunvel {

FaceMetrics faceMetrics(FaceSize size) {
  // Sizes in points of the three cases' displays (41 mm 352×430 px, 45 mm 396×484 px, 49 mm
  // 410×502 px at two pixels per point). The time band and the display corners are our
  // reading of the watch's own screens: the time takes about the top seventh of the face, and
  // the display's smooth corners reach about a quarter of its width in from each edge (a
  // continuous corner of radius r bends over 1.53 r), so nothing below the time band is cut.
  switch (size) {
    case FaceSize::mm41:
      return {{176.0, 215.0}, 34.0, 27.0};
    case FaceSize::mm49:
      return {{205.0, 251.0}, 37.0, 31.0};
    case FaceSize::mm45:
      break;
  }
  return {{198.0, 242.0}, 36.0, 30.0};
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
