#include "state/OneLine.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace dunvel
