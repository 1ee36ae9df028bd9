#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace dunvel {

// A localisable text: its key, and for an integer the format "%lld" with its one argument. There
// are no translation tables, so a key shows as the literal itself.
class LocalizedStringKey {
 public:
  explicit LocalizedStringKey(std::string key) : key_(std::move(key)) {}

  // The localisable format "%lld" with one integer: shows the plain decimal integer.
  static LocalizedStringKey integer(std::int64_t value) {
    LocalizedStringKey k("%lld");
    k.argument_ = value;
    return k;
  }

  const std::string& key() const { return key_; }
  const std::optional<std::int64_t>& argument() const { return argument_; }

  friend bool operator==(const LocalizedStringKey&, const LocalizedStringKey&) = default;

 private:
  std::string key_;
  std::optional<std::int64_t> argument_;
};

}  // namespace dunvel
