#pragma once

#include <cstdint>
#include <string>

#include "observation/Date.h"

namespace dunvel {

// The host remote screen's question clock, as plain functions of the current moment and the
// snapshot's questionOpenedAt. They hold no state, so the screen recomputes them at every
// evaluation.

// Whole seconds since the question was opened, never negative and never undefined:
// - an opening moment that is not greater than 0 (0, negative, NaN) means "unknown" and gives 0;
// - the difference is truncated toward zero; a negative one (watch clock behind) gives 0;
// - a difference that is NaN gives 0, one too large for int64 (or +infinity) saturates at
//   INT64_MAX, because converting an out-of-range double to an integer is undefined.
std::int64_t elapsedSeconds(Date now, double questionOpenedAt);

// A question has run over once it has been open a full minute.
bool overtime(std::int64_t elapsedSeconds);

// "M:SS": minutes not padded and not capped (an hour is "60:00"), seconds with two digits. The
// minutes are 64-bit, so they are formatted as such; a negative count shows as "0:00".
std::string clockText(std::int64_t elapsedSeconds);

}  // namespace dunvel
