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
  const icu::StringPiece pieceA(a.data(), static_cast<std::int32_t>(a.size()));
  const icu::StringPiece pieceB(b.data(), static_cast<std::int32_t>(b.size()));
  // Most texts (Arabic and Latin names alike) are already in NFD; two such texts with different
  // bytes are different, and checking that allocates nothing.
  const bool normalizedA = nfd->isNormalizedUTF8(pieceA, status);
  const bool normalizedB = nfd->isNormalizedUTF8(pieceB, status);
  if (U_FAILURE(status)) return false;
  if (normalizedA && normalizedB) return false;
  // Normalise only the side that needs it.
  auto normalized = [&](const icu::StringPiece& piece, std::size_t size) {
    std::string out;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(size));
    nfd->normalizeUTF8(0, piece, sink, nullptr, status);
    return out;
  };
  const std::string normalA = normalizedA ? std::string() : normalized(pieceA, a.size());
  const std::string normalB = normalizedB ? std::string() : normalized(pieceB, b.size());
  // Should ICU fail (it only does on memory exhaustion), the bytes already differed: unequal.
  if (U_FAILURE(status)) return false;
  return (normalizedA ? a : std::string_view(normalA)) ==
         (normalizedB ? b : std::string_view(normalB));
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
