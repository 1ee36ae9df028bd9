#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "state/ContextValue.h"

namespace dunvel {

// The kinds the decoder asks a context value for. Each returns the value when it is of that kind
// and nothing otherwise; nothing is converted between kinds beyond these rules. A boolean is no
// number at all (neither 0/1 nor 0.0/1.0).

// A text, the empty text included.
const std::string* acceptText(const ContextValue& value);

// A number whose value is an integer in the signed 64-bit range: a signed integer, an unsigned
// one up to INT64_MAX, or a floating value without fractional part in [-2^63, 2^63).
std::optional<std::int64_t> acceptInteger(const ContextValue& value);

// A number that converts to a double without loss: any floating value (NaN and infinities
// included), an integer only when the double holds it exactly.
std::optional<double> acceptFloating(const ContextValue& value);

// A dictionary (its keys are text by construction).
const ContextDictionary* acceptDictionary(const ContextValue& value);

// An array whose every element is a dictionary; one element of another kind rejects it whole.
const ContextArray* acceptDictionaryList(const ContextValue& value);

}  // namespace dunvel
