#include "views/toolkit/EnvironmentValues.h"

#include <string>

#include "views/toolkit/TypeName.h"

namespace dunvel {

const Clock& EnvironmentValues::clock() const {
  if (!clock_) throw std::logic_error("environment: no clock installed");
  return *clock_;
}

TimerScheduler& EnvironmentValues::timerScheduler() const {
  if (!timerScheduler_) throw std::logic_error("environment: no timer scheduler installed");
  return *timerScheduler_;
}

HapticEngine& EnvironmentValues::currentDevice() const {
  if (!currentDevice_) throw std::logic_error("environment: no haptic engine installed");
  return *currentDevice_;
}

std::vector<ObservableObject*> EnvironmentValues::observableObjects() const {
  std::vector<ObservableObject*> result;
  for (const auto& [type, entry] : objects_) {
    if (entry.observable) result.push_back(entry.observable);
  }
  return result;
}

void EnvironmentValues::missingObject(const std::type_info& type) {
  throw std::logic_error(std::string("environment: no environment object of type ") +
                         typeName(type));
}

}  // namespace dunvel
