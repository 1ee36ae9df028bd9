#pragma once

#include <optional>
#include <string>

#include "views/toolkit/HapticType.h"

namespace dunvel {

// What the window adds to a frame beyond the tree itself.
struct PaintOptions {
  // The identity of the button the pointer holds down: it shows its pressed look.
  std::string pressedButton;
  // The haptic whose ring shows along the display's edge, over everything else.
  std::optional<HapticType> haptic;
};

}  // namespace dunvel
