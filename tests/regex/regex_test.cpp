#include "runtime/regex.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/exceptions.h"

namespace {

using rt::RegEx;
using rt::RegExException;
using ::testing::HasSubstr;

std::string ReplaceAll(const std::string& pattern, const std::string& replacement,
                       const std::string& target) {
  RegEx re;
  re.SearchPattern(pattern);
  re.ReplacementPattern(replacement);
  re.Options().ReplaceAllMatches = true;
  return re.Replace(target);
}

bool Finds(const std::string& pattern, const std::string& target) {
  RegEx re;
  re.SearchPattern(pattern);
  return re.Search(target) != nullptr;
}

std::vector<std::pair<size_t, size_t>> Spans(const std::string& pattern, const std::string& target) {
  RegEx re;
  re.SearchPattern(pattern);
  std::vector<std::pair<size_t, size_t>> spans;
  re.ForEachMatch(target, [&](rt::MatchSpan m) { spans.emplace_back(m.start, m.end); });
  return spans;
}

TEST(RegExDialect, IgnoresLetterCaseUnlessThePatternTurnsItOn) {
  EXPECT_TRUE(Finds("abc", "xABCx"));
  EXPECT_TRUE(Finds("é", "É"));
  EXPECT_TRUE(Finds("σ", "Σ"));
  EXPECT_FALSE(Finds("(?-i)abc", "ABC"));
  EXPECT_TRUE(Finds("(?-i)abc", "abc"));
}

TEST(RegExDialect, LineAnchorsWorkAtEveryKindOfLineEnd) {
  // CR LF is one line end: no line starts or ends between its two characters.
  EXPECT_EQ(ReplaceAll("^", "[", "a\rb\nc\r\nd"), "[a\r[b\n[c\r\n[d");
  EXPECT_EQ(ReplaceAll("$", "]", "a\rb\nc\r\nd"), "a]\rb]\nc]\r\nd]");
  EXPECT_EQ(ReplaceAll("^", "[", "a\xE2\x80\xA8" "b"), "[a\xE2\x80\xA8[b");
  EXPECT_TRUE(Finds("^b$", "a\rb\rc"));
}

TEST(RegExDialect, DotDoesNotMatchLineEnds) {
  EXPECT_FALSE(Finds("a.b", "a\rb"));
  EXPECT_FALSE(Finds("a.b", "a\nb"));
  EXPECT_FALSE(Finds("a.b", "a\xE2\x80\xA8" "b"));
  EXPECT_TRUE(Finds("a.b", "a日b"));
}

TEST(RegExDialect, ClassesAndWordBoundariesKnowUnicode) {
  EXPECT_EQ(ReplaceAll("\\w+", "W", "日本語 と English"), "W W W");
  EXPECT_EQ(ReplaceAll("\\d+", "D", "１２３円と45円"), "D円とD円");
  EXPECT_EQ(ReplaceAll("\\bé", "-", "éé é"), "-é -");
}

TEST(RegExDialect, QuantifiersAreGreedyUnlessMadeLazy) {
  EXPECT_EQ(ReplaceAll("a+", "-", "caaat"), "c-t");
  EXPECT_EQ(ReplaceAll("a+?", "-", "caaat"), "c---t");
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

TEST(RegExReplace, BackslashDigitsReferToTheMatchAndItsGroups) {
  EXPECT_EQ(ReplaceAll("(\\d+)円", "[\\0|\\1]", "計1200円"), "計[1200円|1200]");
  EXPECT_EQ(ReplaceAll("(a)|(b)", "<\\1\\2>", "ab"), "<a><b>");
  // A group the pattern does not have is empty, like one that took no part.
  EXPECT_EQ(ReplaceAll("a", "[\\7]", "a"), "[]");
}

TEST(RegExReplace, OtherBackslashesStandForThemselves) {
  EXPECT_EQ(ReplaceAll("a", "\\n\\t\\", "a"), "\\n\\t\\");
  EXPECT_EQ(ReplaceAll("a", "\\\\0", "a"), "\\a");
  EXPECT_EQ(ReplaceAll("a", "$0 $& \\g{0}", "a"), "$0 $& \\g{0}");
  EXPECT_EQ(ReplaceAll("(a)", "\\10", "a"), "a0");
}

TEST(RegExReplace, EmptyMatchesAreReplacedBetweenWholeCharacters) {
  EXPECT_EQ(ReplaceAll("x*", "-", "axb"), "-a--b-");
  EXPECT_EQ(ReplaceAll("", "|", "日本"), "|日|本|");
  EXPECT_EQ(ReplaceAll("", "|", ""), "|");
  // CR LF is stepped over as one line end.
  EXPECT_EQ(ReplaceAll("", "|", "a\r\nb"), "|a|\r\n|b|");
  EXPECT_EQ(ReplaceAll("(?=a)", "^", "banana"), "b^an^an^a");
}

TEST(RegExReplace, ANonEmptyMatchIsTakenWhereAnEmptyOneWasFound) {
  EXPECT_EQ(Spans("a*", "baa"), (std::vector<std::pair<size_t, size_t>>{{0, 0}, {1, 3}, {3, 3}}));
  EXPECT_EQ(ReplaceAll("\\b|x", "-", "x y"), "--- -y-");
}

TEST(RegExSearch, ReportsTheFirstMatchWithByteAndCharacterPositions) {
  RegEx re;
  re.SearchPattern("b+");
  auto m = re.Search("日本語abbcb");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->SubExpressionString(), "bb");
  EXPECT_EQ(m->ByteStart(), 10);
  EXPECT_EQ(m->CharacterStart(), 5);
  EXPECT_EQ(re.Search("xyz"), nullptr);
}

TEST(RegExSearch, EachNewTargetIsSearchedFromItsBeginning) {
  RegEx re;
  re.SearchPattern("a");
  auto first = re.Search("xxxa");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->ByteStart(), 3);
  auto second = re.Search("ab");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->ByteStart(), 0);
  EXPECT_EQ(second->CharacterStart(), 1);
}

TEST(RegExSearch, EmptyPatternMatchesAtTheStartOfAnyTarget) {
  RegEx re;
  re.SearchPattern("");
  EXPECT_NE(re.Search(std::string_view()), nullptr);
  for (const char* target : {"", "abc", "\r"}) {
    auto m = re.Search(target);
    ASSERT_NE(m, nullptr) << target;
    EXPECT_EQ(m->SubExpressionString(), "");
    EXPECT_EQ(m->CharacterStart(), 1);
  }
}

TEST(RegExErrors, RejectsBadPatternsWhenTheyAreSet) {
  RegEx re;
  try {
    re.SearchPattern("ab(c");
    FAIL() << "unbalanced parenthesis accepted";
  } catch (const RegExException& e) {
    EXPECT_THAT(e.Message(), HasSubstr("offset 4"));
    EXPECT_STREQ(e.ClassName(), "RegExException");
  }
  EXPECT_THROW(re.SearchPattern("a\xFF"), RegExException);
  EXPECT_THROW(re.SearchPattern("\xE6\x97"), RegExException);
  EXPECT_THROW(re.SearchPattern("[z-a]"), RegExException);
  // A single-byte match would split characters.
  EXPECT_THROW(re.SearchPattern(".\\C"), RegExException);
}

TEST(RegExErrors, ARejectedPatternLeavesNoPatternBehind) {
  RegEx re;
  re.SearchPattern("a");
  EXPECT_THROW(re.SearchPattern("("), RegExException);
  EXPECT_EQ(re.SearchPattern(), "");
  EXPECT_THROW(re.Search("a"), RegExException);
}

TEST(RegExErrors, UsingTheObjectWithoutAPatternRaises) {
  RegEx re;
  re.ReplacementPattern("x");
  EXPECT_THROW(re.Search("a"), RegExException);
  EXPECT_THROW(re.Replace("a"), RegExException);
  EXPECT_THROW(re.ForEachMatch("a", [](rt::MatchSpan) {}), RegExException);
}

TEST(RegExErrors, SubjectsThatAreNotUtf8AreRejectedWherePartOfThemIsBad) {
  RegEx re;
  re.SearchPattern("a");
  re.Options().ReplaceAllMatches = true;
  // The bad byte lies after the first match: the whole subject is checked.
  const std::string bad = "abc\xFF";
  EXPECT_THROW(re.Search(bad), RegExException);
  EXPECT_THROW(re.Replace(bad), RegExException);
  EXPECT_THROW(re.ForEachMatch(bad, [](rt::MatchSpan) {}), RegExException);
  EXPECT_THROW(re.Search("\xE6\x97"), RegExException);
  EXPECT_THROW(re.Search("\xC0\xAF"), RegExException);
}

TEST(RegExErrors, RunawayBacktrackingRaisesInsteadOfHanging) {
  RegEx re;
  re.SearchPattern("(a|aa)+$");
  EXPECT_THROW(re.Search(std::string(60, 'a') + "b"), RegExException);
}

TEST(RegExLimits, LongRepeatedGroupsDoNotRunOutOfStack) {
  RegEx re;
  re.SearchPattern("(?:a|b)*c");
  const std::string target = std::string(200000, 'a') + "c";
  auto m = re.Search(target);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->SubExpressionString().size(), target.size());
}

TEST(RegExLifetime, MovingKeepsTheCompiledPatternAndItsSettings) {
  RegEx a;
  a.SearchPattern("b");
  a.ReplacementPattern("[\\0]");
  a.Options().ReplaceAllMatches = true;
  RegEx b(std::move(a));
  EXPECT_EQ(b.SearchPattern(), "b");
  EXPECT_EQ(b.Replace("abab"), "a[b]a[b]");
  RegEx c;
  c = std::move(b);
  EXPECT_EQ(c.Replace("b"), "[b]");
  // A moved-from object can be set up again.
  a.SearchPattern("x");
  EXPECT_NE(a.Search("x"), nullptr);
}

TEST(RegExLifetime, SettingANewPatternReplacesTheOldOne) {
  RegEx re;
  re.SearchPattern("(a)(b)(c)");
  re.SearchPattern("x");
  re.ReplacementPattern("\\3");
  EXPECT_EQ(re.Replace("axb"), "ab");
  EXPECT_EQ(re.SearchPattern(), "x");
  EXPECT_EQ(re.ReplacementPattern(), "\\3");
}

}  // namespace
