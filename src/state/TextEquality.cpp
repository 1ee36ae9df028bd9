#include "state/TextEquality.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <string>

namespace dunvel {

namespace {

enum class Utf8Form { ascii, wellFormed, illFormed };

Utf8Form classify(std::string_view text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  std::int32_t i = 0;
  while (i < length && bytes[i] < 0x80) ++i;
  if (i == length) return Utf8Form::ascii;
  while (i < length) {
    UChar32 c;
    // U8_NEXT rejects overlong forms, surrogates and code points above U+10FFFF (c < 0).
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return Utf8Form::illFormed;
  }
  return Utf8Form::wellFormed;
}

bool normalizedEqual(std::string_view a, std::string_view b) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
  if (U_FAILURE(status)) return false;
  std::string normalA;
  std::string normalB;
  icu::StringByteSink<std::string> sinkA(&normalA, static_cast<std::int32_t>(a.size()));
  icu::StringByteSink<std::string> sinkB(&normalB, static_cast<std::int32_t>(b.size()));
  nfd->normalizeUTF8(0, icu::StringPiece(a.data(), static_cast<std::int32_t>(a.size())), sinkA,
                     nullptr, status);
  nfd->normalizeUTF8(0, icu::StringPiece(b.data(), static_cast<std::int32_t>(b.size())), sinkB,
                     nullptr, status);
  // Should ICU fail (it only does on memory exhaustion), the bytes already differed: unequal.
  if (U_FAILURE(status)) return false;
  return normalA == normalB;
}

}  // namespace

bool textEquals(std::string_view a, std::string_view b) {
  if (a == b) return true;
  // ICU's string APIs take 32-bit lengths; texts beyond that are compared as bytes (and differ).
  constexpr std::size_t kIcuMaxLength = 0x7fffffff;
  if (a.size() > kIcuMaxLength || b.size() > kIcuMaxLength) return false;
  const Utf8Form formA = classify(a);
  const Utf8Form formB = classify(b);
  // Normalisation would turn every bad sequence into U+FFFD and make different bad texts equal,
  // so ill-formed texts only equal their own bytes (already checked above).
  if (formA == Utf8Form::illFormed || formB == Utf8Form::illFormed) return false;
  // Pure ASCII is already in every normal form: differing bytes mean different characters.
  if (formA == Utf8Form::ascii && formB == Utf8Form::ascii) return false;
  return normalizedEqual(a, b);
}

}  // namespace dunvel
