#include "preview/ImageOutcome.h"

namespace dunvel {

std::string ImageOutcome::verdict() const {
  switch (status) {
    case Status::equal:
      return "equal";
    case Status::differs: {
      std::string text = sizesDiffer ? "differs in size"
                                     : "differs in " + std::to_string(differingPixels) +
                                           (differingPixels == 1 ? " pixel" : " pixels");
      if (!note.empty()) text += " (" + note + ")";
      return text;
    }
    case Status::missing:
      return "has no reference";
    case Status::unreadable:
      return "has a reference that cannot be read (" + note + ")";
    case Status::recorded:
      return "recorded";
    case Status::unwritten:
      return "not written";
    case Status::kept:
      return "kept";
  }
  return {};
}

}  // namespace dunvel
