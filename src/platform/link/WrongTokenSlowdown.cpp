#include "platform/link/WrongTokenSlowdown.h"

#include <algorithm>

namespace dunvel {

namespace {

// Wrong tokens from one address that are simply answered 401; from the last of them on, each one
// doubles the slowdown, from the first to the longest.
constexpr int kFreeStrikes = 3;
constexpr std::chrono::milliseconds kFirstSlowdown{1000};
constexpr std::chrono::milliseconds kLongestSlowdown{10'000};
// Wrong tokens in a second from all addresses together past which every address is slowed down
// for a second.
constexpr int kMaxWrongTokensPerSecond = 20;
// Addresses remembered at most; past this the ones no longer slowed down are forgotten first.
constexpr std::size_t kMaxRememberedAddresses = 4096;

}  // namespace

bool WrongTokenSlowdown::slowedDown(const std::string& address, Clock::time_point now) const {
  if (now < allSlowedUntil_) return true;
  const auto found = strikes_.find(address);
  return found != strikes_.end() && now < found->second.slowedUntil;
}

void WrongTokenSlowdown::wrongToken(const std::string& address, Clock::time_point now) {
  if (strikes_.size() >= kMaxRememberedAddresses && !strikes_.contains(address)) {
    std::erase_if(strikes_, [now](const auto& entry) { return entry.second.slowedUntil <= now; });
    // Every remembered address slowed down at once: forget one rather than grow.
    if (strikes_.size() >= kMaxRememberedAddresses) strikes_.erase(strikes_.begin());
  }
  Strikes& strikes = strikes_[address];
  strikes.count = std::min(strikes.count + 1, 64);
  if (strikes.count >= kFreeStrikes) {
    const int doublings = std::min(strikes.count - kFreeStrikes, 16);
    strikes.slowedUntil = now + std::min(kFirstSlowdown * (1 << doublings), kLongestSlowdown);
  }
  if (now - wrongTokenSecond_ >= std::chrono::seconds(1)) {
    wrongTokenSecond_ = now;
    wrongTokensThisSecond_ = 0;
  }
  if (++wrongTokensThisSecond_ > kMaxWrongTokensPerSecond) allSlowedUntil_ = now + kFirstSlowdown;
}

}  // namespace dunvel
