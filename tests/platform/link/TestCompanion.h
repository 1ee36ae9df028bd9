#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "platform/link/LinkTestSupport.h"
#include "platform/link/SocketSession.h"

namespace dunvel::testing {

// The companion's end of the link as the link tests set it up: a session at path (with the
// other options given) that listens, has a recording delegate and is activated. listenProblem
// is "" when it listens. The session stops before the delegate goes.
struct TestCompanion {
  explicit TestCompanion(std::filesystem::path path, SocketSession::Options options = {})
      : session([&] {
          options.path = std::move(path);
          return options;
        }()) {
    listenProblem = session.listen();
    session.setDelegate(&delegate);
    session.activateSession();
  }

  RecordingDelegate delegate;
  SocketSession session;
  std::string listenProblem;
};

}  // namespace dunvel::testing
