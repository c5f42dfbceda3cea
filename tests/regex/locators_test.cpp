#include "engine/locators.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/regex.h"
#include "runtime/text.h"

namespace {

using engine::getRegParaPos;
using engine::getRegPos;
// Each case: text, pattern, the list expected.
using Cases = std::vector<std::tuple<std::string, std::string, std::string>>;

template <class F>
void ExpectLists(F locate, const Cases& cases) {
  for (const auto& [text, pattern, list] : cases) {
    EXPECT_EQ(locate(text, pattern), list) << pattern << " in " << testing::PrintToString(text);
  }
}

TEST(MatchRanges, ListFirstAndLastCharacterOfEveryMatchCountingCharacters) {
  ExpectLists(getRegPos, {
      {"abcabc", "bc", "2,5,<>3,6,"}, {"xab", "b", "3,<>3,"}, {"ab", "ab", "1,<>2,"},
      {"aa", "a", "1,2,<>1,2,"}, {"abc", "x", "<>"}, {"", "x", "<>"}, {"éb", "b", "2,<>2,"},
      {"価格は1,200円、送料は500円です", "[0-9,]+円", "4,14,<>9,17,"}, {"😀a😀", "a", "2,<>2,"},
      {"a\rb\r\nc", "[bc]", "3,6,<>3,6,"},  // a paragraph separator is one character
      {"<@>x", "x", "4,<>4,"}, {"a</>b", "b", "5,<>5,"}, {"x<@>y</>", "<@>|</>", "2,6,<>4,8,"}});
}

TEST(MatchRanges, EmptyMatchesEndOneBeforeTheyStart) {
  ExpectLists(getRegPos, {
      {"abc", "^", "1,<>0,"}, {"ab", "$", "3,<>2,"}, {"ab", "x*", "1,2,3,<>0,1,2,"},
      {"日本", "", "1,2,3,<>0,1,2,"}, {"", "", "1,<>0,"}, {"baa", "a*", "1,2,4,<>0,3,3,"},
      {"a\rb", "^", "1,3,<>0,2,"}});
}

TEST(MatchRanges, UnusablePatternRaises) {
  EXPECT_THROW(getRegPos("abc", "(b"), rt::RegExException);
  EXPECT_THROW(getRegPos("abc", "\xFF"), rt::RegExException);
}

// A byte that is not part of valid UTF-8 matches nothing, no match starts at
// it, and it counts as one character, as Len counts it: a lone continuation
// byte, a cut 3-byte sequence (2), a surrogate (3) and an overlong form (2).
TEST(StrayBytes, MatchNothingAndCountAsOneCharacterEach) {
  ExpectLists(getRegPos, {
      {"a\xFF" "b", "b", "3,<>3,"}, {"ab\xFF" "cd", ".+", "1,4,<>2,5,"},
      {"a\xFF" "b", "", "1,3,4,<>0,2,3,"}, {"\xFF", "", "2,<>1,"}, {"\xFF", "[^a]", "<>"},
      {"\xE6\x97" "b", "", "3,4,<>2,3,"}, {"a\xE6\x97" "b", "\\b", "1,4,5,<>0,3,4,"},
      {"a\x80" "日b", ".+", "1,3,<>1,4,"}, {"a\xE6\x97" "日b", ".+", "1,4,<>1,5,"},
      {"a\xED\xA0\x80" "日b", ".+", "1,5,<>1,6,"}, {"a\xC0\xAF" "日b", ".+", "1,4,<>1,5,"},
      {"\xE6\x97\r\n\x80x", "x", "6,<>6,"}});
  ExpectLists(getRegParaPos, {{"a\xFF\rb", "b", "2,"}, {"a\ra\r\xFF" "a\ra", "a", "1,2,3,4,"},
                              {"\xFF" "b\rb", "^b", "2,"}, {"\xFF", "\\xFF|\\x{FFFD}", ""}});
}

// Deep enough to exhaust the JIT stack; the interpreter, working on the heap,
// still finds the match.
TEST(StrayBytes, LongMatchBeyondTheJitStackIsStillFound) {
  const std::string text(600000, 'a');
  EXPECT_EQ(getRegPos(text, "(?:a|\\r)+"), "1,<>600000,");
  EXPECT_EQ(getRegParaPos(text, "(?:a|\\r)+"), "1,");
}

// Only CR separates paragraphs; each is searched alone with one CR after it.
TEST(ParagraphMatches, NumbersEveryParagraphInWhichThePatternMatches) {
  ExpectLists(getRegParaPos, {
      {"a\rb\rab", "b", "2,3,"}, {"a\rb", "A", "1,"}, {"a\rb", "(?-i)B", ""}, {"a\rb", "x", ""},
      {"bb b\rb", "b", "1,2,"}, {"■見出し\r本文\r■次", "^■", "1,3,"}, {"a\nb\rc", "b", "1,"},
      {"a\r\nb", "^b", "2,"}, {"a\rb", "\\r", "1,2,"}, {"a\rb", "\\R$", "1,2,"},
      {"a\rb", "b$", "2,"}, {"a\r", "^$", "2,"}, {"a\r", "^\\r", "2,"},
      {"a\rb", "(?<=a\\r)b", ""}, {"a\rb", "a\\rb", ""}, {"a\rb", "\\r(?=b)", ""},
      {"a\rb\rc", "\\A[bc]\\r\\z", "2,3,"}, {"a\rb\r", "", "1,2,3,"}, {"", "", "1,"},
      {"", "\\r", "1,"}, {"", "x", ""}});
}

// Paragraphs that matched before a search ran into a limit are dropped too.
TEST(ParagraphMatches, UnusablePatternGivesAnEmptyList) {
  ExpectLists(getRegParaPos, {{"a\rb", "(", ""}, {"a\rb", "\xC3", ""},
                              {std::string(40, 'a') + "b\ra", "(a|aa)+$", ""}});
}

// The list as marking every match with "<@>" and "</>" and scanning the result
// gives it; right for texts that hold neither marker.
std::string MarkerScan(const std::string& text, const std::string& pattern) {
  rt::RegEx re;
  re.SearchPattern(pattern);
  re.ReplacementPattern("<@>\\0</>");
  re.Options().ReplaceAllMatches = true;
  const std::string marked = re.Replace(text);
  std::string starts, ends;
  int64_t c = 1;
  for (int64_t p = 1; p <= rt::Len(marked) - 2;) {
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
  }
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

// Calls check(text, pattern) for a set of patterns on 400 random texts of up
// to 12 awkward parts each, until a check fails.
template <class F>
void ForRandomTexts(unsigned seed, F check) {
  static const std::vector<std::string> parts = {
      "a", "b", "A", "x", "日本", "あ", "い", "円", "■", "1", "2", ",", " ", "\r", "\n", "\r\n",
      "é", "É", "<", "@", ">", "/", "😀", "\xE2\x80\xA8", "\xFF", "\x80", "\xE6\x97",
      "\xED\xA0\x80", "\xC0\xAF"};
  static const std::vector<std::string> patterns = {
      "", "x*", "^", "$", "\\b", "(?=a)", "a|b", "[あい]+", "日本|本", "\\d+", "a*?", "(?-i)A",
      ".", ".*", "\\s", "b?", "\\R", "(?<=a)", "[^a\\r]", "円$", "^■", "(a)|(b)", "\\B",
      "a\\r?", "^$", "<|>", "[0-9,]+円", "(?m)^.", "\\X", "a(?=\\r)", "(?:日|\\n)*",
      "[<@>/]+", "\\r\\n|\\r", "é+", "\\s*"};
  std::mt19937 rng(seed);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    for (size_t n = rng() % 13; n > 0; --n) text += parts[rng() % parts.size()];
    for (const std::string& pattern : patterns) {
      SCOPED_TRACE("pattern \"" + pattern + "\" text " + testing::PrintToString(text));
      check(text, pattern);
      if (testing::Test::HasFailure()) return;
    }
  }
}

TEST(LocatorProperties, MatchRangesAgreeWithTheMarkerScan) {
  ForRandomTexts(20240611, [](const std::string& text, const std::string& pattern) {
    if (text.find("<@>") != std::string::npos || text.find("</>") != std::string::npos) return;
    EXPECT_EQ(getRegPos(text, pattern), MarkerScan(text, pattern));
  });
}

TEST(LocatorProperties, ParagraphMatchesAgreeWithASearchOfEveryParagraph) {
  ForRandomTexts(77, [](const std::string& text, const std::string& pattern) {
    EXPECT_EQ(getRegParaPos(text, pattern), ParagraphsBySearch(text, pattern));
  });
}

}  // namespace
