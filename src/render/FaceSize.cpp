#include "render/FaceSize.h"

namespace dunvel {

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
