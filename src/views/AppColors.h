#pragma once

#include "views/toolkit/Color.h"

namespace dunvel {

// The screens' own palette. Each colour is made once, on first use (safe if two first uses
// race), and shared by every screen for the life of the app.

// Warm gold for symbols, figures and status texts that are to stand out. Fully opaque.
const Color& accentGold();

// Dark blue for card backgrounds; fully opaque here, the cards draw it at opacity 0.6.
const Color& panelBlue();

}  // namespace dunvel
