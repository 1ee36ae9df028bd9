#pragma once

#include <chrono>
#include <string>
#include <unordered_map>

namespace dunvel {

// The WebSocket endpoint's answer to guessed tokens. Wrong tokens on WebSocket upgrades from one
// address are first simply refused (a person retyping one); past a few, each one doubles the
// time during which that address's wrong tokens are answered 429, late, up to the longest; and
// past a rate from all addresses together every wrong token is, for a second, so that guessing
// from many loopback addresses (127.0.x.y) gains nothing. The right token is never slowed down:
// the real host must not be locked out by someone else's guesses from the same address.
class WrongTokenSlowdown {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether a wrong token from the address is answered 429 now.
  bool slowedDown(const std::string& address, Clock::time_point now) const;
  // A wrong token on a WebSocket upgrade from the address.
  void wrongToken(const std::string& address, Clock::time_point now);
  // The right token from the address: its strikes are forgotten.
  void rightToken(const std::string& address) { strikes_.erase(address); }

 private:
  struct Strikes {
    int count = 0;
    Clock::time_point slowedUntil;
  };

  std::unordered_map<std::string, Strikes> strikes_;
  Clock::time_point wrongTokenSecond_;
  int wrongTokensThisSecond_ = 0;
  Clock::time_point allSlowedUntil_;
};

}  // namespace dunvel
