#include "host/HostLinkReports.h"

#include "host/HostExitCodes.h"
#include "state/SnapshotJson.h"
#include "wire/LinkFrame.h"

namespace dunvel {

std::function<void(const ContextDictionary&)> HostLinkReports::printCommands(LineWriter& output,
                                                                             LineWriter& errors,
                                                                             EndWaiter& end) {
  return [&output, &errors, &end](const ContextDictionary& command) {
    if (!output.write(writeContextJson(command))) {
      errors.write("dunvel-host: cannot write the commands: " + output.problem());
      end.finish(kBadInput);
    }
  };
}

std::function<void(HostProblem, const std::string&)> HostLinkReports::reportProblem(
    LineWriter& errors, EndWaiter& end) {
  return [&errors, &end](HostProblem, const std::string& problem) {
    errors.write("dunvel-host: companion: " + problem);
    if (problem == kLinkTakenMessage) end.finish(kBadInput);
  };
}

std::function<void(HostDisconnect, const std::string&)> HostLinkReports::reportDisconnect(
    LineWriter& errors, EndWaiter& end, const bool& everConnected) {
  return [&errors, &end, &everConnected](HostDisconnect, const std::string& reason) {
    errors.write("dunvel-host: " + reason);
    if (!everConnected) end.finish(kBadInput);
  };
}

}  // namespace dunvel
