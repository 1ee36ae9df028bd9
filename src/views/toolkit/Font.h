#pragma once

#include "views/toolkit/FontWeight.h"
#include "views/toolkit/TextStyle.h"

namespace dunvel {

// A font as the screens ask for it: a named text style, optionally bold and with monospaced
// digits. Font::title3().bold().monospacedDigit() reads like the screen. A value with ==.
class Font {
 public:
  static Font title2() { return Font(TextStyle::title2); }
  static Font title3() { return Font(TextStyle::title3); }
  static Font headline() { return Font(TextStyle::headline); }
  static Font body() { return Font(TextStyle::body); }
  static Font footnote() { return Font(TextStyle::footnote); }
  static Font caption2() { return Font(TextStyle::caption2); }

  Font bold() const {
    Font f = *this;
    f.weight_ = FontWeight::bold;
    return f;
  }
  Font monospacedDigit() const {
    Font f = *this;
    f.monospacedDigit_ = true;
    return f;
  }

  TextStyle style() const { return style_; }
  FontWeight weight() const { return weight_; }
  bool isMonospacedDigit() const { return monospacedDigit_; }

  friend bool operator==(const Font&, const Font&) = default;

 private:
  explicit Font(TextStyle style) : style_(style) {}

  TextStyle style_;
  FontWeight weight_ = FontWeight::regular;
  bool monospacedDigit_ = false;
};

}  // namespace dunvel
