#pragma once

namespace dunvel {

// The haptics the companion plays, with the platform's raw values.
enum class HapticType : int { notification = 0, success = 3, failure = 4, click = 8 };

}  // namespace dunvel
