#include "views/toolkit/Color.h"

#include <algorithm>
#include <cmath>

namespace dunvel {

namespace {

double unitFraction(double value) {
  if (std::isnan(value)) return 0.0;
  return std::clamp(value, 0.0, 1.0);
}

}  // namespace

Color Color::sRGB(double red, double green, double blue, double opacity) {
  Color c(Kind::sRGB);
  c.red_ = unitFraction(red);
  c.green_ = unitFraction(green);
  c.blue_ = unitFraction(blue);
  c.alpha_ = unitFraction(opacity);
  return c;
}

Color Color::opacity(double factor) const {
  Color c = *this;
  c.alpha_ = unitFraction(alpha_ * unitFraction(factor));
  return c;
}

std::string_view Color::name() const {
  switch (kind_) {
    case Kind::primary:
      return "primary";
    case Kind::secondary:
      return "secondary";
    case Kind::red:
      return "red";
    case Kind::green:
      return "green";
    case Kind::gray:
      return "gray";
    case Kind::sRGB:
      break;
  }
  return "sRGB";
}

}  // namespace dunvel
