#pragma once

#include <string>
#include <typeinfo>

namespace dunvel {

// A type's name without its namespace ("dunvel::IdleView" → "IdleView"), from the compiler's
// type information; for the element tree and for error messages.
std::string typeName(const std::type_info& type);

}  // namespace dunvel
