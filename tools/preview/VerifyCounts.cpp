#include "preview/VerifyCounts.h"

namespace dunvel {

VerifyCounts VerifyCounts::of(const std::vector<ImageOutcome>& outcomes) {
  VerifyCounts counts;
  counts.images = outcomes.size();
  for (const ImageOutcome& outcome : outcomes) {
    switch (outcome.status) {
      case ImageOutcome::Status::equal:
        ++counts.equal;
        break;
      case ImageOutcome::Status::differs:
        ++counts.differ;
        break;
      case ImageOutcome::Status::missing:
        ++counts.missing;
        break;
      case ImageOutcome::Status::unreadable:
        ++counts.unreadable;
        break;
      case ImageOutcome::Status::recorded:
      case ImageOutcome::Status::unwritten:
      case ImageOutcome::Status::kept:
        break;
    }
  }
  return counts;
}

std::string VerifyCounts::line() const {
  return std::to_string(images) + (images == 1 ? " image, " : " images, ") + std::to_string(equal) +
         " equal, " + std::to_string(differ) + " differ, " + std::to_string(missing) + " missing" +
         (unreadable > 0 ? ", " + std::to_string(unreadable) + " unreadable" : "");
}

}  // namespace dunvel
