#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "views/toolkit/LocalizedStringKey.h"
#include "views/toolkit/Verbatim.h"

namespace dunvel {

// What a text element holds: a verbatim string, or a localisable key (possibly the integer
// format "%lld" with its argument). shown() is what appears on the screen.
class TextContent {
 public:
  TextContent(Verbatim verbatim);             // NOLINT: a text is made from either kind
  TextContent(LocalizedStringKey localized);  // NOLINT

  bool isLocalizable() const { return localizable_; }
  // The verbatim text, or the localisation key ("%lld" for an integer).
  const std::string& key() const { return key_; }
  const std::optional<std::int64_t>& argument() const { return argument_; }
  // The text as shown: the verbatim text, the key itself, or the key with "%lld" replaced by
  // the argument in plain decimal.
  const std::string& shown() const { return shown_; }

  friend bool operator==(const TextContent&, const TextContent&) = default;

 private:
  bool localizable_ = false;
  std::string key_;
  std::optional<std::int64_t> argument_;
  std::string shown_;
};

}  // namespace dunvel
