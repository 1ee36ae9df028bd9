#pragma once

#include "views/toolkit/EnvironmentValues.h"

namespace dunvel {

// The environment of the view being evaluated, or of the place whose button action, timer
// handler or change action is running. The view graph opens a Scope around each of those, so
// body and the closures it makes can read Environment::current(). Main thread only.
class Environment {
 public:
  // std::logic_error outside any scope: nothing is being evaluated or run by a view graph.
  static const EnvironmentValues& current();
  static bool isActive();

  // Makes values the current environment until the scope ends (scopes nest).
  class Scope {
   public:
    explicit Scope(const EnvironmentValues& values);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    const EnvironmentValues* previous_;
  };
};

}  // namespace dunvel
