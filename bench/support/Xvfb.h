#pragma once

#include <signal.h>

#include <memory>
#include <optional>
#include <string>

#include "support/ChildProcess.h"

namespace dunvel::bench {

// A private X server for the measuring programs and the soak, on the first free display from :90
// on; it ends with the object.
class Xvfb {
 public:
  // Nothing when no server could be started (Xvfb missing, or no display free).
  static std::optional<Xvfb> start();

  // ":90", for DISPLAY.
  const std::string& name() const { return name_; }
  // Ends the server at once (SIGKILL), as a crash or an ended session does.
  void kill() { server_->signal(SIGKILL); }

 private:
  Xvfb(std::string name, std::unique_ptr<ChildProcess> server)
      : name_(std::move(name)), server_(std::move(server)) {}

  std::string name_;
  std::unique_ptr<ChildProcess> server_;
};

}  // namespace dunvel::bench
