#include "views/toolkit/Environment.h"

#include <stdexcept>

namespace dunvel {

namespace {

// The innermost open scope of this thread (views live on the main thread only).
thread_local const EnvironmentValues* currentValues = nullptr;

}  // namespace

const EnvironmentValues& Environment::current() {
  if (!currentValues) {
    throw std::logic_error(
        "environment read outside a view evaluation, button action or view event handler");
  }
  return *currentValues;
}

bool Environment::isActive() {
  return currentValues != nullptr;
}

Environment::Scope::Scope(const EnvironmentValues& values) : previous_(currentValues) {
  currentValues = &values;
}

Environment::Scope::~Scope() {
  currentValues = previous_;
}

}  // namespace dunvel
