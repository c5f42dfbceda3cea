#include "runtime/regex.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "runtime/exceptions.h"

namespace {

using rt::RegEx;
using rt::RegExException;
using Cases = std::vector<std::tuple<std::string, std::string, std::string, std::string>>;

// Each case: pattern, replacement, target, the target with every match replaced.
void ExpectReplaced(const Cases& cases) {
  for (const auto& [pattern, replacement, target, expected] : cases) {
    RegEx re;
    re.SearchPattern(pattern);
    re.ReplacementPattern(replacement);
    re.Options().ReplaceAllMatches = true;
    EXPECT_EQ(re.Replace(target), expected)
        << testing::PrintToString(pattern) << " in " << testing::PrintToString(target);
  }
}

TEST(RegExDialect, IgnoresLetterCaseUnlessThePatternTurnsItOnAndDotStopsAtLineEnds) {
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {"abc", "xABCx", true}, {"é", "É", true}, {"σ", "Σ", true}, {"(?-i)abc", "ABC", false},
      {"(?-i)abc", "abc", true}, {"a.b", "a\rb", false}, {"a.b", "a\nb", false},
      {"a.b", "a\xE2\x80\xA8" "b", false}, {"a.b", "a日b", true}, {"^b$", "a\rb\rc", true}};
  for (const auto& [pattern, target, found] : cases) {
    RegEx re;
    re.SearchPattern(pattern);
    EXPECT_EQ(re.Search(target) != nullptr, found) << pattern << " in " << target;
  }
}

// CR LF is one line end: no line starts or ends between its two characters.
TEST(RegExDialect, AnchorsAtEveryLineEndUnicodeClassesAndGreedyQuantifiers) {
  ExpectReplaced({{"^", "[", "a\rb\nc\r\nd", "[a\r[b\n[c\r\n[d"},
                  {"$", "]", "a\rb\nc\r\nd", "a]\rb]\nc]\r\nd]"},
                  {"^", "[", "a\xE2\x80\xA8" "b", "[a\xE2\x80\xA8[b"},
                  {"\\w+", "W", "日本語 と English", "W W W"}, {"\\bé", "-", "éé é", "-é -"},
                  {"\\d+", "D", "１２３円と45円", "D円とD円"},
                  {"a+", "-", "caaat", "c-t"}, {"a+?", "-", "caaat", "c---t"}});
}

TEST(RegExReplace, ReplacesOnlyTheFirstMatchUnlessAllAreAskedFor) {
  RegEx re;
  re.SearchPattern("b");
  re.ReplacementPattern("X");
  EXPECT_EQ(re.Replace("abcabc"), "aXcabc");
  re.Options().ReplaceAllMatches = true;
  EXPECT_EQ(re.Replace("abcabc"), "aXcaXc");
  EXPECT_EQ(re.Replace("none"), "none");
}

TEST(RegExReplace, BackslashDigitsReferToGroupsAndOtherBackslashesStandForThemselves) {
  ExpectReplaced({{"(\\d+)円", "[\\0|\\1]", "計1200円", "計[1200円|1200]"},
                  {"(a)|(b)", "<\\1\\2>", "ab", "<a><b>"}, {"(a)", "\\10", "a", "a0"},
                  {"a", "[\\7]", "a", "[]"},  // a group the pattern lacks is empty
                  {"a", "\\n\\t\\", "a", "\\n\\t\\"}, {"a", "\\\\0", "a", "\\a"},
                  {"a", "$0 $& \\g{0}", "a", "$0 $& \\g{0}"}});
}

// CR LF is stepped over as one line end; after an empty match a non-empty one
// at the same place is taken.
TEST(RegExReplace, EmptyMatchesFallBetweenWholeCharactersAndYieldToNonEmptyOnes) {
  ExpectReplaced({{"x*", "-", "axb", "-a--b-"}, {"", "|", "日本", "|日|本|"}, {"", "|", "", "|"},
                  {"", "|", "a\r\nb", "|a|\r\n|b|"}, {"(?=a)", "^", "banana", "b^an^an^a"},
                  {"a*", "-", "baa", "-b--"}, {"\\b|x", "-", "x y", "--- -y-"}});
}

TEST(RegExSearch, FindsTheFirstMatchFromTheBeginningOfEachNewTarget) {
  RegEx re;
  re.SearchPattern("b+");
  auto m = re.Search("日本語abbcb");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->SubExpressionString(), "bb");
  EXPECT_EQ(m->ByteStart(), 10);
  EXPECT_EQ(m->CharacterStart(), 5);
  m = re.Search("bx");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->CharacterStart(), 1);
  EXPECT_EQ(re.Search("xyz"), nullptr);
  re.SearchPattern("");
  for (std::string_view target : {std::string_view(), std::string_view("abc")}) {
    m = re.Search(target);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->CharacterStart(), 1);
  }
}

TEST(RegExErrors, RejectsBadPatternsWhenTheyAreSetAndLeavesNoPatternBehind) {
  RegEx re;
  EXPECT_THROW(re.Search("a"), RegExException);
  re.SearchPattern("a");
  try {
    re.SearchPattern("ab(c");
    FAIL() << "unbalanced parenthesis accepted";
  } catch (const RegExException& e) {
    EXPECT_THAT(e.Message(), testing::HasSubstr("offset 4"));
  }
  EXPECT_EQ(re.SearchPattern(), "");
  EXPECT_THROW(re.Search("a"), RegExException);
  EXPECT_THROW(re.Replace("a"), RegExException);
  // \C matches single bytes, so it would split characters.
  // (*NO_JIT) would leave stray bytes to PCRE2's interpreter, which misplaces matches.
  for (const char* bad : {"a\xFF", "\xE6\x97", "[z-a]", ".\\C", "(*NO_JIT)a"}) {
    EXPECT_THROW(re.SearchPattern(bad), RegExException) << testing::PrintToString(bad);
  }
}

// A stray byte matches nothing, not even [^a]; after an empty match the
// search steps over it as one character.
TEST(RegExSubjects, BytesThatAreNotUtf8MatchNothingAndAreSteppedOver) {
  ExpectReplaced({{"[^a]", "-", "a\xFF" "b\xE6\x97" "c", "a\xFF-\xE6\x97-"},
                  {"", "|", "a\xFF" "b", "|a\xFF|b|"}, {".+", "<\\0>", "ab\xC0\xAF" "cd", "<ab>\xC0\xAF<cd>"}});
  RegEx re;
  re.SearchPattern("b");
  const auto m = re.Search("\xE6\x97\x80" "ab");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->ByteStart(), 4);
  EXPECT_EQ(m->CharacterStart(), 3);
}

TEST(RegExLimits, NoStackOverflowAndRunawayBacktrackingRaises) {
  RegEx re;
  re.SearchPattern("(a|aa)+$");
  EXPECT_THROW(re.Search(std::string(60, 'a') + "b"), RegExException);
  re.SearchPattern("(?:a|b)*c");
  const std::string target = std::string(200000, 'a') + "c";
  const auto m = re.Search(target);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->SubExpressionString().size(), target.size());
  std::string many;
  for (int i = 0; i < 100000; ++i) many += "語";
  re.SearchPattern("語");
  size_t matches = 0;
  re.ForEachMatch(many, [&](rt::MatchSpan) { ++matches; });
  EXPECT_EQ(matches, 100000u);
}

TEST(RegExLifetime, SettingANewPatternReplacesTheOldOneAndItsGroups) {
  RegEx re;
  re.SearchPattern("(a)(b)(c)");
  re.SearchPattern("x");
  re.ReplacementPattern("\\3");
  EXPECT_EQ(re.Replace("axb"), "ab");
  EXPECT_EQ(re.SearchPattern(), "x");
}

}  // namespace
