#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace dunvel {

// A date as the link carries it: seconds since 1970-01-01 00:00:00 UTC.
struct ContextDate {
  double secondsSince1970 = 0.0;
  friend bool operator==(const ContextDate&, const ContextDate&) = default;
};

using ContextData = std::vector<std::uint8_t>;

class ContextValue;
using ContextArray = std::vector<ContextValue>;
// Keys are always text; a dictionary is ordered by key only for determinism.
using ContextDictionary = std::map<std::string, ContextValue, std::less<>>;

// One property-list value as the phone–watch link delivers it. Numbers keep the form they
// arrived in (signed, unsigned, floating, boolean); the decoder decides what it accepts.
class ContextValue {
 public:
  using Storage = std::variant<std::string, std::int64_t, std::uint64_t, double, bool, ContextDate,
                               ContextData, ContextArray, ContextDictionary>;

  ContextValue() : storage_(std::string()) {}
  ContextValue(std::string text) : storage_(std::move(text)) {}
  ContextValue(const char* text) : storage_(std::string(text)) {}
  ContextValue(int integer) : storage_(std::int64_t{integer}) {}
  ContextValue(long integer) : storage_(std::int64_t{integer}) {}
  ContextValue(long long integer) : storage_(static_cast<std::int64_t>(integer)) {}
  ContextValue(unsigned long integer) : storage_(std::uint64_t{integer}) {}
  ContextValue(unsigned long long integer) : storage_(static_cast<std::uint64_t>(integer)) {}
  ContextValue(double floating) : storage_(floating) {}
  ContextValue(bool boolean) : storage_(boolean) {}
  ContextValue(ContextDate date) : storage_(date) {}
  ContextValue(ContextData data) : storage_(std::move(data)) {}
  ContextValue(ContextArray array) : storage_(std::move(array)) {}
  ContextValue(ContextDictionary dictionary) : storage_(std::move(dictionary)) {}

  const Storage& storage() const { return storage_; }

  template <class T>
  const T* get_if() const {
    return std::get_if<T>(&storage_);
  }

  friend bool operator==(const ContextValue&, const ContextValue&) = default;

 private:
  Storage storage_;
};

}  // namespace dunvel
