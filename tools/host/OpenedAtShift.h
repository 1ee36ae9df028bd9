#pragma once

#include <optional>

#include "state/ContextValue.h"

namespace dunvel {

// Moves a recorded snapshot's questionOpenedAt to the moment it is played again, so the question
// clock shows what it showed: a frame recorded at moment M with the question opened at O is sent
// at S with the question opened at S - (M - O). Frames that repeat the opening moment of the
// frame before get the same new value, so the companion still sees one question (its clock
// keeps running and its one-minute tap is not armed again). Plain logic; one per replay.
class OpenedAtShift {
 public:
  // moment and sendAt are seconds since 1970. A payload without a positive, finite
  // questionOpenedAt number comes back unchanged.
  ContextDictionary apply(ContextDictionary payload, double moment, double sendAt);

 private:
  std::optional<double> recorded_;
  double replayed_ = 0;
};

}  // namespace dunvel
