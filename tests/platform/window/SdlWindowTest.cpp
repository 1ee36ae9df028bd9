#include "platform/window/SdlWindow.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "face/WatchFace.h"
#include "platform/runloop/ManualRunLoop.h"
#include "render/FaceRenderer.h"

namespace dunvel {
namespace {

std::size_t openDescriptors() {
  std::size_t open = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++open;
  }
  return open;
}

// SDL's dummy video driver starts and makes windows, but gives no window system's connection
// to wait on: the window fails after SDL has started, with its wake-up descriptor made. Each
// failure must leave SDL ended and every descriptor closed, so that a later try starts clean.
TEST(SdlWindow, AWindowThatFailsAfterSdlStartedEndsSdlAndLeavesNoDescriptor) {
  ASSERT_EQ(setenv("SDL_VIDEODRIVER", "dummy", 1), 0);
  ManualRunLoop loop;
  FaceRenderer renderer(FaceSize::mm45, 2.0);
  WatchFace face(renderer, loop, loop);
  const std::size_t before = openDescriptors();
  for (int attempt = 0; attempt < 3; ++attempt) {
    bool closed = false;
    try {
      SdlWindow window("dunvel-watch", face, renderer, [&closed] { closed = true; });
      ADD_FAILURE() << "a window without a window system's connection";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(std::string(error.what()).rfind("cannot wait for the window's events: ", 0), 0u)
          << error.what();
    }
    EXPECT_FALSE(closed);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "SDL is ended";
    EXPECT_EQ(openDescriptors(), before) << "try " << attempt;
  }
  unsetenv("SDL_VIDEODRIVER");
}

}  // namespace
}  // namespace dunvel
