#pragma once

#include <string_view>

namespace dunvel {

// Unicode canonical equivalence of two UTF-8 texts. Identical bytes are equal without further
// work; ill-formed UTF-8 on either side is compared byte for byte.
bool textEquals(std::string_view a, std::string_view b);

}  // namespace dunvel
