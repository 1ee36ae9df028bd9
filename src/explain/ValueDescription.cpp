#include "explain/ValueDescription.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <system_error>

namespace dunvel {
namespace {

// Characters a quoted text keeps before it is cut.
constexpr std::size_t kQuotedCharacters = 40;

template <class Integer>
std::string integerText(Integer value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string plural(std::size_t count, const char* one, const char* many) {
  return integerText(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string numberText(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number > 0 ? "infinity" : "-infinity";
  char buffer[64];
  // The shortest text that reads back as the same double; whole numbers without exponent up to
  // 2^63, so a time in milliseconds reads as it was sent.
  const auto [end, error] =
      std::abs(number) < 9.2e18 && std::trunc(number) == number
          ? std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed)
          : std::to_chars(buffer, buffer + sizeof buffer, number);
  return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

std::string quoted(std::string_view text) {
  std::size_t cut = 0;
  std::size_t characters = 0;
  while (cut < text.size() && characters < kQuotedCharacters) {
    ++cut;
    // A character's continuation bytes stay with it.
    while (cut < text.size() && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) ++cut;
    ++characters;
  }
  std::string out = "\"";
  out += text.substr(0, cut);
  if (cut < text.size()) out += "\xE2\x80\xA6";  // …
  out += '"';
  return out;
}

std::string describeValue(const ContextValue& value) {
  struct Visitor {
    std::string operator()(const std::string& text) const { return "the text " + quoted(text); }
    std::string operator()(std::int64_t integer) const {
      return "the number " + integerText(integer);
    }
    std::string operator()(std::uint64_t integer) const {
      return "the number " + integerText(integer);
    }
    std::string operator()(double floating) const { return "the number " + numberText(floating); }
    std::string operator()(bool boolean) const { return boolean ? "true" : "false"; }
    std::string operator()(const ContextDate&) const { return "a date"; }
    std::string operator()(const ContextData& data) const {
      return "raw data of " + plural(data.size(), "byte", "bytes");
    }
    std::string operator()(const ContextArray& array) const {
      return array.empty() ? std::string("an empty list")
                           : "a list of " + plural(array.size(), "value", "values");
    }
    std::string operator()(const ContextDictionary&) const { return "an object"; }
  };
  return std::visit(Visitor{}, value.storage());
}

std::optional<std::string> numberInText(std::string_view text) {
  if (text.empty() || text.size() > 32) return std::nullopt;
  double number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(number)) {
    return std::nullopt;
  }
  // Written as sent when it is plain JSON already ("5", "1765136700.5"); from_chars also takes
  // forms JSON does not ("05", "1e3"), which are written out as the number they mean.
  const bool plainJson = text.find_first_not_of("-0123456789.") == std::string_view::npos &&
                         !(text.size() > 1 && text[0] == '0' && text[1] != '.') &&
                         text.front() != '.' && text.back() != '.';
  return plainJson ? std::string(text) : numberText(number);
}

std::optional<std::string> textOfNumber(const ContextValue& value) {
  if (const auto* integer = value.get_if<std::int64_t>()) return integerText(*integer);
  if (const auto* integer = value.get_if<std::uint64_t>()) return integerText(*integer);
  if (const auto* floating = value.get_if<double>()) {
    if (std::isfinite(*floating)) return numberText(*floating);
  }
  return std::nullopt;
}

}  // namespace dunvel
