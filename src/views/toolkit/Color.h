#pragma once

#include <string_view>

namespace dunvel {

// A colour as the screens name it: one of the platform's semantic colours (whose actual value is
// the renderer's choice) or explicit sRGB components, each with an opacity. A value with ==.
class Color {
 public:
  enum class Kind { primary, secondary, red, green, gray, sRGB };

  static Color primary() { return Color(Kind::primary); }
  static Color secondary() { return Color(Kind::secondary); }
  static Color red() { return Color(Kind::red); }
  static Color green() { return Color(Kind::green); }
  static Color gray() { return Color(Kind::gray); }
  // Components are fractions from 0 to 1; values outside (or NaN) are clamped into that range
  // so a bad component can never reach the painter.
  static Color sRGB(double red, double green, double blue, double opacity = 1.0);

  // The same colour with its opacity multiplied by factor (clamped to 0..1).
  Color opacity(double factor) const;

  Kind kind() const { return kind_; }
  // sRGB components; zero for the semantic colours.
  double redComponent() const { return red_; }
  double greenComponent() const { return green_; }
  double blueComponent() const { return blue_; }
  double alpha() const { return alpha_; }

  // "primary", "secondary", "red", "green", "gray" or "sRGB".
  std::string_view name() const;

  friend bool operator==(const Color&, const Color&) = default;

 private:
  explicit Color(Kind kind) : kind_(kind) {}

  Kind kind_ = Kind::primary;
  double red_ = 0.0;
  double green_ = 0.0;
  double blue_ = 0.0;
  double alpha_ = 1.0;
};

}  // namespace dunvel
