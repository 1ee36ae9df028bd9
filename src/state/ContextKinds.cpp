#include "state/ContextKinds.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace dunvel {

namespace {

// 2^63 and 2^64 are exact doubles; every range check below happens before a conversion, since
// converting an out-of-range double to an integer is undefined behaviour.
constexpr double kTwoPow63 = 9223372036854775808.0;
constexpr double kTwoPow64 = 18446744073709551616.0;

}  // namespace

const std::string* acceptText(const ContextValue& value) {
  return value.get_if<std::string>();
}

std::optional<std::int64_t> acceptInteger(const ContextValue& value) {
  if (const auto* integer = value.get_if<std::int64_t>()) return *integer;
  if (const auto* integer = value.get_if<std::uint64_t>()) {
    if (*integer > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    return static_cast<std::int64_t>(*integer);
  }
  if (const auto* floating = value.get_if<double>()) {
    const double d = *floating;
    // NaN fails both comparisons; infinities fail one of them.
    if (!(d >= -kTwoPow63 && d < kTwoPow63)) return std::nullopt;
    if (std::trunc(d) != d) return std::nullopt;
    return static_cast<std::int64_t>(d);
  }
  return std::nullopt;
}

std::optional<double> acceptFloating(const ContextValue& value) {
  if (const auto* floating = value.get_if<double>()) return *floating;
  if (const auto* integer = value.get_if<std::int64_t>()) {
    const double d = static_cast<double>(*integer);
    // A value near INT64_MAX may round up to 2^63, which no int64 holds: inexact by definition.
    if (d >= kTwoPow63) return std::nullopt;
    if (static_cast<std::int64_t>(d) != *integer) return std::nullopt;
    return d;
  }
  if (const auto* integer = value.get_if<std::uint64_t>()) {
    const double d = static_cast<double>(*integer);
    if (d >= kTwoPow64) return std::nullopt;
    if (static_cast<std::uint64_t>(d) != *integer) return std::nullopt;
    return d;
  }
  return std::nullopt;
}

const ContextDictionary* acceptDictionary(const ContextValue& value) {
  return value.get_if<ContextDictionary>();
}

const ContextArray* acceptDictionaryList(const ContextValue& value) {
  const auto* array = value.get_if<ContextArray>();
  if (array == nullptr) return nullptr;
  const bool allDictionaries = std::all_of(array->begin(), array->end(), [](const ContextValue& e) {
    return e.get_if<ContextDictionary>() != nullptr;
  });
  return allDictionaries ? array : nullptr;
}

}  // namespace dunvel
