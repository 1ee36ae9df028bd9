#pragma once

namespace dunvel {

class App;

// The platform's app runner: installs the app's scene and runs the main thread until the
// process is asked to end. Returns the process's exit status.
class AppRunner {
 public:
  virtual ~AppRunner() = default;
  virtual int run(const App& app) = 0;
};

// The program's entry: makes the app value and hands control to the runner. Nothing of the
// app's own runs before the runner asks for the scene.
template <class A>
int appMain(AppRunner& runner) {
  const A app;
  return runner.run(app);
}

}  // namespace dunvel
