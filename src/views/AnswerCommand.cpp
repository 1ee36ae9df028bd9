#include "views/AnswerCommand.h"

#include "views/toolkit/Environment.h"

namespace dunvel {

void sendCommand(ConnectivityStore& store, const std::string& action, HapticType haptic) {
  store.send(action, {});
  Environment::current().currentDevice().playHaptic(haptic);
}

}  // namespace dunvel
