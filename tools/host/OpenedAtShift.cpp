#include "host/OpenedAtShift.h"

#include <cmath>
#include <cstdint>

namespace dunvel {

ContextDictionary OpenedAtShift::apply(ContextDictionary payload, double moment, double sendAt) {
  const auto entry = payload.find("questionOpenedAt");
  if (entry == payload.end()) return payload;
  double opened = 0;
  if (const auto* floating = entry->second.get_if<double>()) {
    opened = *floating;
  } else if (const auto* integer = entry->second.get_if<std::int64_t>()) {
    opened = static_cast<double>(*integer);
  }
  // 0, negative or not a number: the companion shows 0:00 for it whenever it is sent.
  if (!std::isfinite(opened) || opened <= 0) return payload;
  if (!recorded_ || *recorded_ != opened) {
    recorded_ = opened;
    replayed_ = sendAt - (moment - opened);
  }
  entry->second = ContextValue(replayed_);
  return payload;
}

}  // namespace dunvel
