#include "views/AppColors.h"

namespace dunvel {

// Function-local statics: their initialisation runs exactly once even under concurrent first use.
const Color& accentGold() {
  static const Color color = Color::sRGB(1.0, 0.7, 0.0, 1.0);
  return color;
}

const Color& panelBlue() {
  static const Color color = Color::sRGB(0.2, 0.26, 0.42, 1.0);
  return color;
}

}  // namespace dunvel
