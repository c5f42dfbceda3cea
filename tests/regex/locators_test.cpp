#include "engine/locators.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/regex.h"
#include "runtime/text.h"

namespace {

using engine::getRegParaPos;
using engine::getRegPos;

TEST(MatchRanges, ListsFirstAndLastCharacterOfEveryMatch) {
  EXPECT_EQ(getRegPos("abcabc", "bc"), "2,5,<>3,6,");
  EXPECT_EQ(getRegPos("xab", "b"), "3,<>3,");
  EXPECT_EQ(getRegPos("ab", "ab"), "1,<>2,");
  EXPECT_EQ(getRegPos("abc", "c"), "3,<>3,");
  EXPECT_EQ(getRegPos("aa", "a"), "1,2,<>1,2,");
}

TEST(MatchRanges, NoMatchGivesTheSeparatorAlone) {
  EXPECT_EQ(getRegPos("abc", "x"), "<>");
  EXPECT_EQ(getRegPos("", "x"), "<>");
}

TEST(MatchRanges, PositionsCountCharactersNotBytes) {
  EXPECT_EQ(getRegPos("éb", "b"), "2,<>2,");
  EXPECT_EQ(getRegPos("価格は1,200円、送料は500円です", "[0-9,]+円"), "4,14,<>9,17,");
  EXPECT_EQ(getRegPos("東京都港区", "港区"), "4,<>5,");
  EXPECT_EQ(getRegPos("😀a😀", "a"), "2,<>2,");
  // A paragraph separator is one character like any other.
  EXPECT_EQ(getRegPos("a\rb\r\nc", "[bc]"), "3,6,<>3,6,");
}

TEST(MatchRanges, EmptyMatchesEndOneBeforeTheyStart) {
  EXPECT_EQ(getRegPos("abc", "^"), "1,<>0,");
  EXPECT_EQ(getRegPos("ab", "$"), "3,<>2,");
  EXPECT_EQ(getRegPos("ab", "x*"), "1,2,3,<>0,1,2,");
  EXPECT_EQ(getRegPos("日本", ""), "1,2,3,<>0,1,2,");
  EXPECT_EQ(getRegPos("", ""), "1,<>0,");
  EXPECT_EQ(getRegPos("baa", "a*"), "1,2,4,<>0,3,3,");
  EXPECT_EQ(getRegPos("a\rb", "^"), "1,3,<>0,2,");
}

TEST(MatchRanges, TextsHoldingTheMarkerCharactersKeepTheirPositions) {
  EXPECT_EQ(getRegPos("<@>x", "x"), "4,<>4,");
  EXPECT_EQ(getRegPos("a</>b", "b"), "5,<>5,");
  EXPECT_EQ(getRegPos("x<@>y</>", "<@>|</>"), "2,6,<>4,8,");
}

TEST(MatchRanges, UnusablePatternOrTextRaises) {
  EXPECT_THROW(getRegPos("abc", "(b"), rt::RegExException);
  EXPECT_THROW(getRegPos("abc", "\xFF"), rt::RegExException);
  EXPECT_THROW(getRegPos("ab\xFF", "a"), rt::RegExException);
}

TEST(ParagraphMatches, NumbersEveryParagraphInWhichThePatternMatches) {
  EXPECT_EQ(getRegParaPos("a\rb\rab", "b"), "2,3,");
  EXPECT_EQ(getRegParaPos("a\rb", "A"), "1,");
  EXPECT_EQ(getRegParaPos("a\rb", "x"), "");
  EXPECT_EQ(getRegParaPos("bb b\rb", "b"), "1,2,");
  EXPECT_EQ(getRegParaPos("■見出し\r本文\r■次", "^■"), "1,3,");
  EXPECT_EQ(getRegParaPos("a\rb", "(?-i)B"), "");
}

TEST(ParagraphMatches, OnlyCarriageReturnsSeparateParagraphs) {
  EXPECT_EQ(getRegParaPos("a\nb\rc", "b"), "1,");
  EXPECT_EQ(getRegParaPos("a\r\nb", "^b"), "2,");
}

TEST(ParagraphMatches, EveryParagraphIsSearchedWithOneCarriageReturnAfterIt) {
  EXPECT_EQ(getRegParaPos("a\rb", "\\r"), "1,2,");
  EXPECT_EQ(getRegParaPos("a\rb", "\\R$"), "1,2,");
  EXPECT_EQ(getRegParaPos("a\rb", "b$"), "2,");
  // A text ending in CR has an empty last paragraph, searched as a lone CR.
  EXPECT_EQ(getRegParaPos("a\r", "^$"), "2,");
  EXPECT_EQ(getRegParaPos("a\r", "^\\r"), "2,");
}

TEST(ParagraphMatches, APatternSeesNothingOfTheNeighbouringParagraphs) {
  EXPECT_EQ(getRegParaPos("a\rb", "(?<=a\\r)b"), "");
  EXPECT_EQ(getRegParaPos("a\rb", "a\\rb"), "");
  EXPECT_EQ(getRegParaPos("a\rb", "\\r(?=b)"), "");
  EXPECT_EQ(getRegParaPos("a\rb\rc", "\\A[bc]\\r\\z"), "2,3,");
}

TEST(ParagraphMatches, EmptyPatternAndEmptyTextCountOneParagraphEach) {
  EXPECT_EQ(getRegParaPos("a\rb\r", ""), "1,2,3,");
  EXPECT_EQ(getRegParaPos("", ""), "1,");
  EXPECT_EQ(getRegParaPos("", "\\r"), "1,");
  EXPECT_EQ(getRegParaPos("", "x"), "");
}

TEST(ParagraphMatches, UnusablePatternOrTextGivesAnEmptyList) {
  EXPECT_EQ(getRegParaPos("a\rb", "("), "");
  EXPECT_EQ(getRegParaPos("a\rb", "\xC3"), "");
  // Paragraphs that matched before the bad one are dropped too.
  EXPECT_EQ(getRegParaPos("a\ra\r\xFF" "a\ra", "a"), "");
  EXPECT_EQ(getRegParaPos(std::string(40, 'a') + "b\ra", "(a|aa)+$"), "");
}

// The position list as rewriting the text with markers around every match
// and scanning it gives it; correct for texts that hold neither marker.
std::string MarkerScan(const std::string& text, const std::string& pattern) {
  rt::RegEx re;
  re.SearchPattern(pattern);
  re.ReplacementPattern("<@>\\0</>");
  re.Options().ReplaceAllMatches = true;
  const std::string marked = re.Replace(text);
  const int64_t length = rt::Len(marked);
  int64_t p = 1;
  int64_t c = 1;
  std::string starts;
  std::string ends;
  do {
    const std::string window = rt::Mid(marked, p, 3);
    if (window == "<@>") {
      starts += rt::Str(c) + ",";
      p += 3;
    } else if (window == "</>") {
      ends += rt::Str(c - 1) + ",";
      p += 3;
    } else {
      ++c;
      ++p;
    }
  } while (p <= length - 2);
  return starts + "<>" + ends;
}

std::string ParagraphsBySearch(const std::string& text, const std::string& pattern) {
  rt::RegEx re;
  re.SearchPattern(pattern);
  const std::vector<std::string> paragraphs = rt::Split(text, "\r");
  std::string list;
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    if (re.Search(paragraphs[i] + "\r")) list += rt::Str(static_cast<int64_t>(i) + 1) + ",";
  }
  return list;
}

const std::vector<std::string> kPatterns = {
    "",       "x*",       "^",          "$",        "\\b",        "(?=a)",   "a|b",
    "[あい]+", "日本|本",  "\\d+",       "a*?",      "(?-i)A",     ".",       ".*",
    "\\s",    "b?",       "\\R",        "(?<=a)",   "[^a\\r]",     "円$",     "^■",
    "(a)|(b)", "\\B",     "a\\r?",      "^$",       "<|>",        "[0-9,]+円", "(?m)^.",
    "\\X",    "a(?=\\r)", "(?:日|\\n)*", "[<@>/]+", "\\r\\n|\\r", "é+",      "\\s*",
};

const std::vector<std::string> kPieces = {
    "a", "b", "A", "x", "日本", "あ", "い", "円", "■", "1", "2", ",", " ",
    "\r", "\n", "\r\n", "é", "É", "<", "@", ">", "/", "😀", "\xE2\x80\xA8",
};

std::string RandomText(std::mt19937& rng) {
  std::uniform_int_distribution<size_t> length(0, 12);
  std::uniform_int_distribution<size_t> piece(0, kPieces.size() - 1);
  std::string text;
  for (size_t n = length(rng); n > 0; --n) text += kPieces[piece(rng)];
  return text;
}

TEST(LocatorProperties, MatchRangesAgreeWithTheMarkerScan) {
  std::mt19937 rng(20240611);
  int compared = 0;
  for (int round = 0; round < 400; ++round) {
    const std::string text = RandomText(rng);
    if (text.find("<@>") != std::string::npos || text.find("</>") != std::string::npos) continue;
    for (const std::string& pattern : kPatterns) {
      ASSERT_EQ(getRegPos(text, pattern), MarkerScan(text, pattern))
          << "pattern \"" << pattern << "\" text \"" << text << "\"";
      ++compared;
    }
  }
  EXPECT_GT(compared, 10000);
}

TEST(LocatorProperties, ParagraphMatchesAgreeWithASearchOfEveryParagraph) {
  std::mt19937 rng(77);
  for (int round = 0; round < 400; ++round) {
    const std::string text = RandomText(rng);
    for (const std::string& pattern : kPatterns) {
      ASSERT_EQ(getRegParaPos(text, pattern), ParagraphsBySearch(text, pattern))
          << "pattern \"" << pattern << "\" text \"" << text << "\"";
    }
  }
}

}  // namespace
