#pragma once

#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace dunvel {

// Checks a number option's text before it is converted: a finite number written out whole.
// Without it "nan" would pass every range check (a comparison with NaN is never true),
// "inf" and "1e999" would be infinities, and junk after the number would be read as
// something else; each is a usage error naming the option instead. Goes before any range check:
// `add_option("--scale", scale)->check(FiniteNumber())->check(CLI::Range(0.25, 8.0))`.
inline CLI::Validator FiniteNumber() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        const char* begin = text.c_str();
        char* end = nullptr;
        const double value = std::strtod(begin, &end);
        if (text.empty() || std::isspace(static_cast<unsigned char>(text.front())) != 0 ||
            end != begin + text.size()) {
          return "\"" + text + "\" is not a number";
        }
        if (!std::isfinite(value)) return "\"" + text + "\" is not a finite number";
        return {};
      },
      "NUMBER");
}

}  // namespace dunvel
