#pragma once

#include <optional>
#include <string>

#include "link/SessionPlatform.h"
#include "state/ContextValue.h"
#include "state/GameState.h"
#include "observation/ObservableObject.h"
#include "observation/Published.h"

namespace dunvel {

// The companion's one link to the host app and the one source of what the screens show.
// state and reachable are written only on the main queue; every write announces first.
class ConnectivityStore final : public ObservableObject, public SessionDelegate {
 public:
  // The one store of the process, created on first use from the installed session platform:
  // exactly once even when several threads ask at the same moment, and never destroyed.
  // Without an installed platform it throws std::logic_error (and a later call tries again).
  static ConnectivityStore& shared();

  // A store on the given platform; ConnectivityStore::shared() uses the installed one. Main
  // thread. Runs the construction steps: defaults, then, only when isSupported() says so,
  // defaultSession(), setDelegate and activateSession. A platform without isSupported or main
  // queue (or, when supported, without defaultSession) is a std::logic_error. The store must
  // outlive the blocks it queues and the session's callbacks, as the shared one does.
  explicit ConnectivityStore(SessionPlatform platform);

  Published<GameState> state{*this, GameState{}};
  Published<bool> reachable{*this, false};

  // Main thread. Sends {"action": action} plus extra (an extra entry replaces an equal key) when
  // the session says it is reachable now; drops it otherwise. Reports nothing.
  void send(const std::string& action, const ContextDictionary& extra = {});

  // Session callbacks. Callable from any thread (they arrive on the session's platform thread):
  // each decodes there and queues the assignment, which runs on main.
  void sessionActivationDidComplete(Session& session, ActivationState state,
                                    const std::optional<std::string>& error) override;
  void sessionDidReceiveApplicationContext(Session& session,
                                           const ContextDictionary& applicationContext) override;
  void sessionDidReceiveMessage(Session& session, const ContextDictionary& message) override;
  void sessionReachabilityDidChange(Session& session) override;

 private:
  // Callable from any thread, runs on main: decodes here, queues the whole-snapshot assignment.
  void applyContext(const ContextDictionary& dictionary);
  // Callable from any thread, runs on main: queues refreshReachable.
  void queueRefreshReachable(Session& session);
  // Main thread: assigns what the session says about reachability at this moment.
  void refreshReachable(Session& session);

  SessionPlatform platform_;
  // Whether the construction found the session supported and set it up. Fixed after
  // construction, so reading it from any thread is safe.
  bool supported_ = false;
};

}  // namespace dunvel
