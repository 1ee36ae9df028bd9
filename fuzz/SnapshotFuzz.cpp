// Bytes → JSON snapshot reader → decodeGameState → equality, and explain beside it, plus the
// writer's round trip. Any input must leave every step crash-free and sanitizer-clean, and the
// invariants below must hold; a broken invariant aborts so the fuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "explain/FindingText.h"
#include "explain/SnapshotExplain.h"
#include "state/ContextDecoding.h"
#include "state/GameState.h"
#include "state/SnapshotJson.h"
#include "state/TextEquality.h"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void checkTextEquality(std::string_view bytes) {
  const std::string_view first = bytes.substr(0, bytes.size() / 2);
  const std::string_view second = bytes.substr(bytes.size() / 2);
  require(dunvel::textEquals(first, first));
  require(dunvel::textEquals(first, second) == dunvel::textEquals(second, first));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checkTextEquality(bytes);

  const dunvel::JsonReadResult read = dunvel::readSnapshotJson(bytes);
  if (!read.ok()) {
    require(read.error.find('\n') == std::string::npos);
    return 0;
  }
  const dunvel::GameState a = dunvel::decodeGameState(read.dictionary);
  const dunvel::GameState b = dunvel::decodeGameState(read.dictionary);
  // JSON carries no NaN, so a snapshot read from it always equals its own decoding.
  require(a == b);
  require((a == dunvel::GameState{}) == (dunvel::GameState{} == a));
  require(dunvel::textEquals(a.screen, a.gameName) == dunvel::textEquals(a.gameName, a.screen));

  // The second reading beside the decoder takes anything the decoder takes, at any moment, and
  // each of its findings prints as one line.
  for (const double now : {0.0, 1.8e9, -1e300}) {
    for (const auto& finding : dunvel::explainSnapshot(read.dictionary, now)) {
      require(dunvel::findingLine(finding).find('\n') == std::string::npos);
    }
  }

  // What the writer produces reads back to the same dictionary.
  const dunvel::JsonReadResult again =
      dunvel::readSnapshotJson(dunvel::writeContextJson(read.dictionary));
  require(again.ok());
  require(again.dictionary == read.dictionary);
  require(dunvel::decodeGameState(again.dictionary) == a);
  return 0;
}
