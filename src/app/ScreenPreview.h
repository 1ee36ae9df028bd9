#pragma once

#include <memory>

#include "observation/Date.h"
#include "state/GameState.h"
#include "views/toolkit/Element.h"

namespace dunvel {

// Whether the host app counts as reachable: the store's published flag, which the idle screen
// shows.
enum class HostReach { unreachable, reachable };

constexpr HostReach hostReach(bool reachable) {
  return reachable ? HostReach::reachable : HostReach::unreachable;
}

// The companion's root view evaluated once for a snapshot: ContentView with the store and the
// right-to-left direction in its environment, and under it the one screen the router chose. No
// session, no timer runs, nothing taps a wrist. now is the current date-time the question clock
// counts from.
class ScreenPreview {
 public:
  ScreenPreview(const GameState& state, HostReach reach, Date now);
  ~ScreenPreview();
  ScreenPreview(const ScreenPreview&) = delete;
  ScreenPreview& operator=(const ScreenPreview&) = delete;

  // Valid as long as the preview.
  const Element& tree() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dunvel
