#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "observation/Clock.h"
#include "observation/ObservableObject.h"
#include "observation/TimerScheduler.h"
#include "views/toolkit/HapticEngine.h"
#include "views/toolkit/LayoutDirection.h"
#include "views/toolkit/RunLoop.h"

namespace dunvel {

// What a view finds in its environment: the layout direction, the platform services (clock,
// main run-loop timers, haptic engine) and the environment objects. Services and objects are
// not owned: they must outlive every graph and view that uses them. A value: a modifier makes a
// changed copy for the subtree below it.
class EnvironmentValues {
 public:
  LayoutDirection layoutDirection = LayoutDirection::leftToRight;

  EnvironmentValues& setClock(const Clock& clock) {
    clock_ = &clock;
    return *this;
  }
  EnvironmentValues& setTimerScheduler(TimerScheduler& scheduler) {
    timerScheduler_ = &scheduler;
    return *this;
  }
  EnvironmentValues& setCurrentDevice(HapticEngine& device) {
    currentDevice_ = &device;
    return *this;
  }

  // The services; std::logic_error naming the service when none was installed.
  const Clock& clock() const;
  TimerScheduler& timerScheduler() const;
  bool hasTimerScheduler() const { return timerScheduler_ != nullptr; }
  // The main run loop as the timer publisher wants it: its timers and the clock.
  RunLoop mainRunLoop() const { return RunLoop(timerScheduler(), clock()); }
  HapticEngine& currentDevice() const;

  // Puts object into the environment under its type T. If T is an ObservableObject, graphs
  // re-evaluate after each of its announcements.
  template <class T>
  EnvironmentValues& setObject(T& object) {
    Entry entry{&object, nullptr};
    if constexpr (std::is_base_of_v<ObservableObject, T>) entry.observable = &object;
    objects_[std::type_index(typeid(T))] = entry;
    return *this;
  }

  // The object of type T; std::logic_error naming the type when there is none.
  template <class T>
  T& object() const {
    auto found = objects_.find(std::type_index(typeid(T)));
    if (found == objects_.end()) missingObject(typeid(T));
    return *static_cast<T*>(found->second.object);
  }

  // The observable objects in this environment.
  std::vector<ObservableObject*> observableObjects() const;

 private:
  struct Entry {
    void* object = nullptr;
    ObservableObject* observable = nullptr;
  };
  [[noreturn]] static void missingObject(const std::type_info& type);

  const Clock* clock_ = nullptr;
  TimerScheduler* timerScheduler_ = nullptr;
  HapticEngine* currentDevice_ = nullptr;
  std::map<std::type_index, Entry> objects_;
};

}  // namespace dunvel
