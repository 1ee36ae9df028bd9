#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dunvel {

// What verify found for one image: a snapshot drawn in one variant, against its reference.
struct ImageOutcome {
  enum class Status {
    equal,       // as the reference, within the tolerance
    differs,     // beyond it, or in size
    missing,     // there is no reference
    unreadable,  // the reference is there but cannot be read as a PNG
    recorded,    // --record wrote the reference
    unwritten,   // --record could not write it
    kept,        // --record left the reference there was
  };

  std::string subject;  // the snapshot's name ("question", "night-frame-000003")
  std::string variant;  // "45mm-xLarge"
  Status status = Status::equal;
  // Counted where the sizes agree; a reference of another size is not decoded at all.
  std::int64_t differingPixels = 0;
  bool sizesDiffer = false;
  // Why it differs, when it is not only its pixels ("the reference is 352x430 pixels, …"), or
  // why its reference cannot be read.
  std::string note;
  // The reference image's path, as verify was told where the references are.
  std::string reference;
  // The library versions its reference names as those that drew it, when they are not this
  // run's (empty when they are, or when it names none).
  std::string referenceStack;
  // Files written beside the report, relative to its folder with "/" (empty when none): the
  // image drawn, the diff, and a copy of the reference.
  std::string actualFile;
  std::string diffFile;
  std::string referenceFile;
  // Lines "POINTER: KIND: message" explaining the snapshot's fallbacks, for the first failed
  // image of a snapshot: at most 50, then "and N more".
  std::vector<std::string> findings;
  // For the snapshot's other failed images: the image whose failure lists them.
  std::string findingsListedWith;
  // Lines "N RULE: ROLE \"label\": message", what the accessibility audit flags on the image
  // drawn, for a failed image: at most 50, then "and N more".
  std::vector<std::string> audit;

  // "question@45mm-xLarge": the reference's file name without .png.
  std::string imageName() const { return subject + "@" + variant; }
  bool failed() const {
    return status == Status::differs || status == Status::missing || status == Status::unreadable;
  }
  // What was found, in a few words: "differs in 1234 pixels", "differs in size (…)", "has no
  // reference", "has a reference that cannot be read (…)", "equal".
  std::string verdict() const;
};

}  // namespace dunvel
