#include "state/OneLine.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace dunvel {
namespace {

// Whether a terminal would take anything in the text as a control: a C0 control, DEL, or a C1
// control as UTF-8 (U+0080 to U+009F) or as a lone byte.
bool holdsControls(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F)) {
      // Here a character is at most two bytes: one after a lead byte is no control.
      const bool continuation = i > 0 && static_cast<unsigned char>(text[i - 1]) >= 0xC3;
      if (!continuation) return true;
    }
  }
  return false;
}

// A game name, a team name or a recording's line is written to logs and terminals: it must
// neither forge a line nor start an escape sequence (clear the screen, set the title, write the
// clipboard), and readable text must stay as it is.
TEST(OneLine, ControlsOfEveryKindAreEscapedAndTextIsKept) {
  EXPECT_EQ(oneLine("line1\nFAKE: dunvel-watch: stopped\r"),
            "line1\\nFAKE: dunvel-watch: stopped\\r");
  EXPECT_EQ(oneLine("\x1b[2Jclear"), "\\x1b[2Jclear");
  EXPECT_EQ(oneLine("\x1b]0;title\x07"), "\\x1b]0;title\\x07");
  EXPECT_EQ(oneLine("\x1b]52;c;aGVsbG8=\x1b\\"), "\\x1b]52;c;aGVsbG8=\\x1b\\");
  EXPECT_EQ(oneLine("a\tb\x7f"), "a\\tb\\x7f");
  EXPECT_EQ(oneLine(std::string("nul\0here", 8)), "nul\\x00here");
  // C1 controls as UTF-8: CSI (U+009B) and NEL (U+0085), which some terminals obey.
  EXPECT_EQ(oneLine("\xc2\x9b"
                    "2J \xc2\x85"),
            "\\u009b2J \\u0085");
  // Bytes that are not UTF-8: a lone CSI byte, a cut sequence, an overlong slash, a surrogate.
  EXPECT_EQ(oneLine("\x9b"
                    "2J"),
            "\\x9b2J");
  EXPECT_EQ(oneLine("\xe2\x80"), "\\xe2\\x80");
  EXPECT_EQ(oneLine("\xc0\xaf"), "\\xc0\\xaf");
  EXPECT_EQ(oneLine("\xed\xa0\x80"), "\\xed\\xa0\\x80");
  // Arabic, a no-break space (U+00A0, right after the C1 range), a symbol and an emoji stay.
  for (const std::string text : {"الصقور",
                                 "a\xc2\xa0"
                                 "b",
                                 "\xe2\x80\xa6", "\xf0\x9f\x8f\x86", "back\\slash"}) {
    EXPECT_EQ(oneLine(text), text);
  }
  // Every byte value, alone and after each lead byte, comes out free of controls.
  for (int first = 0; first < 256; ++first) {
    for (int second : {0x00, 0x0A, 0x1B, 0x80, 0x85, 0x9B, 0xA0, 0xBF, 0xC2}) {
      const std::string text{static_cast<char>(first), static_cast<char>(second)};
      EXPECT_FALSE(holdsControls(oneLine(text))) << first << " " << second;
    }
  }
}

// A key or a name may also hold what reorders or breaks a line without being a control: the
// bidirectional overrides, embeddings and isolates, and the line and paragraph separators.
// Shown raw, "\u202e" would print the rest of a line backwards. Their neighbours stay, and so do
// the marks that only nudge the direction of a neutral (U+200E, U+200F, U+061C).
TEST(OneLine, LayoutControlsAreEscapedAndTheMarksAroundThemKept) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"\xE2\x80\xAA", "\\u202a"},
      {"\xE2\x80\xAB", "\\u202b"},
      {"\xE2\x80\xAC", "\\u202c"},
      {"\xE2\x80\xAD", "\\u202d"},
      {"x\xE2\x80\xAEgpj.exe", "x\\u202egpj.exe"},
      {"\xE2\x81\xA6", "\\u2066"},
      {"\xE2\x81\xA7", "\\u2067"},
      {"\xE2\x81\xA8", "\\u2068"},
      {"\xE2\x81\xA9", "\\u2069"},
      {"a\xE2\x80\xA8"
       "b",
       "a\\u2028b"},
      {"a\xE2\x80\xA9"
       "b",
       "a\\u2029b"},
      // Neighbours: the en dash and ellipsis below U+2028, the per-mille sign after U+202E, the
      // invisible operators before U+2066 and the deprecated format characters after U+2069.
      {"\xE2\x80\x93\xE2\x80\xA6\xE2\x80\xB0\xE2\x81\xA4\xE2\x81\xAA",
       "\xE2\x80\x93\xE2\x80\xA6\xE2\x80\xB0\xE2\x81\xA4\xE2\x81\xAA"},
      {"\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C", "\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(oneLine(text), shown) << shown;
}

// A field that may hold the separators of its output is quoted, and ends at its own quote.
TEST(OneLine, AQuotedFieldEndsWhereItEnds) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "\"plain\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"back\\slash", "\"back\\\\slash\""},
      {"/a: b", "\"/a: b\""},
      {"line\nbreak \xE2\x80\xAE", "\"line\\nbreak \\u202e\""},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(quotedLine(text), shown) << shown;
}

}  // namespace
}  // namespace dunvel
