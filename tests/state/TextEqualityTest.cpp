#include "state/TextEquality.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace dunvel {
namespace {

std::string utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// One column of the conformance file: code points in hex separated by spaces.
std::string column(const std::string& hexCodePoints) {
  std::istringstream in(hexCodePoints);
  std::string out;
  std::string hex;
  while (in >> hex) out += utf8(static_cast<char32_t>(std::stoul(hex, nullptr, 16)));
  return out;
}

struct ConformanceLine {
  int lineNumber;
  std::string c[5];  // source, NFC, NFD, NFKC, NFKD
};

std::vector<ConformanceLine> readConformanceData() {
  std::ifstream file(DUNVEL_NORMALIZATION_TEST);
  std::vector<ConformanceLine> lines;
  std::string text;
  int number = 0;
  while (std::getline(file, text)) {
    ++number;
    if (text.empty() || text[0] == '#' || text[0] == '@') continue;
    ConformanceLine line{number, {}};
    std::size_t start = 0;
    for (auto& col : line.c) {
      const std::size_t end = text.find(';', start);
      if (end == std::string::npos) break;
      col = column(text.substr(start, end - start));
      start = end + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

TEST(TextEquality, UnicodeNormalizationConformance) {
  const std::vector<ConformanceLine> lines = readConformanceData();
  // Unicode 15 has about 19 000 test lines; fewer means the file is missing or was misread.
  ASSERT_GT(lines.size(), 15000u) << "cannot read " << DUNVEL_NORMALIZATION_TEST;

  int failures = 0;
  auto check = [&](bool ok, const ConformanceLine& line, const char* what) {
    if (ok) return;
    ADD_FAILURE() << "NormalizationTest.txt line " << line.lineNumber << ": " << what;
    ++failures;
  };
  for (std::size_t i = 0; i < lines.size() && failures < 20; ++i) {
    const ConformanceLine& l = lines[i];
    // Columns 1-3 are canonically equivalent to each other, as are columns 4 and 5.
    check(textEquals(l.c[0], l.c[1]), l, "c1 == c2");
    check(textEquals(l.c[1], l.c[0]), l, "c2 == c1");
    check(textEquals(l.c[0], l.c[2]), l, "c1 == c3");
    check(textEquals(l.c[1], l.c[2]), l, "c2 == c3");
    check(textEquals(l.c[3], l.c[4]), l, "c4 == c5");
    // Compatibility equivalence is not canonical: where the decompositions differ, so do texts.
    if (l.c[2] != l.c[4]) check(!textEquals(l.c[0], l.c[4]), l, "c1 != c5");
    // Neighbouring lines with different canonical decompositions stay unequal.
    if (i > 0 && lines[i - 1].c[2] != l.c[2]) {
      check(!textEquals(lines[i - 1].c[0], l.c[0]), l, "previous c1 != c1");
    }
  }
}

TEST(TextEquality, FastPathsAndPlainDifferences) {
  EXPECT_TRUE(textEquals("", ""));
  EXPECT_TRUE(textEquals("abc", "abc"));
  EXPECT_FALSE(textEquals("abc", "abd"));
  EXPECT_FALSE(textEquals("abc", "ab"));
  EXPECT_FALSE(textEquals("a", "A"));
  EXPECT_FALSE(textEquals("", "\xCC\x81"));  // a lone combining mark is still a character
  EXPECT_TRUE(textEquals(std::string_view("a\0b", 3), std::string_view("a\0b", 3)));
  EXPECT_FALSE(textEquals(std::string_view("a\0b", 3), std::string_view("a\0c", 3)));
  EXPECT_TRUE(textEquals("\xD9\x81\xD8\xB1\xD9\x8A\xD9\x82", "\xD9\x81\xD8\xB1\xD9\x8A\xD9\x82"));
  // Arabic ALEF WITH MADDA ABOVE against ALEF + COMBINING MADDA.
  EXPECT_TRUE(textEquals("\xD8\xA2", "\xD8\xA7\xD9\x93"));
  // Canonical reordering of combining marks: dot below and acute in either order.
  EXPECT_TRUE(textEquals("e\xCC\x81\xCC\xA3", "e\xCC\xA3\xCC\x81"));
  // Compatibility-only equivalents differ: the "fi" ligature and "fi".
  EXPECT_FALSE(textEquals("\xEF\xAC\x81", "fi"));
}

TEST(TextEquality, IllFormedTextsCompareByBytes) {
  // Each of these would become U+FFFD under normalisation.
  const std::vector<std::string> bad = {
      "\xFF",
      "\xFE",
      "\xC3",              // truncated sequence
      "\xC0\xAF",          // overlong "/"
      "\xED\xA0\x80",      // a UTF-16 surrogate
      "\xF4\x90\x80\x80",  // above U+10FFFF
      "\x80",
  };
  for (std::size_t i = 0; i < bad.size(); ++i) {
    EXPECT_TRUE(textEquals(bad[i], bad[i])) << i;
    EXPECT_FALSE(textEquals(bad[i], "\xEF\xBF\xBD")) << i;  // U+FFFD itself
    for (std::size_t j = 0; j < bad.size(); ++j) {
      if (i != j) {
        EXPECT_FALSE(textEquals(bad[i], bad[j])) << i << " vs " << j;
      }
    }
  }
  EXPECT_FALSE(textEquals("Cafe\xCC\x81\xFF", "Caf\xC3\xA9\xFF"));
  EXPECT_FALSE(
      textEquals("a\xFF"
                 "b",
                 "a\xFE"
                 "b"));
  EXPECT_TRUE(
      textEquals("a\xFF"
                 "b",
                 "a\xFF"
                 "b"));
}

}  // namespace
}  // namespace dunvel
