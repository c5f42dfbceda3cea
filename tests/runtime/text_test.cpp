#include "runtime/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "runtime/exceptions.h"

namespace {

using namespace rt;
using V = std::vector<std::string>;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr double kInf = std::numeric_limits<double>::infinity();
const std::string kNihongo = "日本語";

TEST(TextLength, CountsCodePointsAndEveryStrayByteAsOneCharacter) {
  const std::vector<std::pair<std::string, int64_t>> cases = {
      {"", 0}, {"abc", 3}, {kNihongo, 3}, {"\xF0\x9F\x98\x80", 1}, {std::string("a\0b", 3), 3},
      {"a\xFF" "b", 3}, {"\xE6\x97", 2},            // 日 cut short
      {"\xF0\x9F\x98", 3}, {"\xC0\xAF", 2},          // overlong "/"
      {"\xE0\x80\x80", 3}, {"\xF0\x80\x80\x80", 4},  // overlong longer forms
      {"\xED\xA0\x80", 3},                           // surrogate
      {"\xF4\x90\x80\x80", 4},                       // past U+10FFFF
      {"\x80\xBF", 2}, {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", 2}};
  for (const auto& [s, n] : cases) EXPECT_EQ(Len(s), n) << testing::PrintToString(s);
}

TEST(TextSlices, ClampPositionsAndCounts) {
  EXPECT_EQ(Left(kNihongo, 2), "日本");
  EXPECT_EQ(Right(kNihongo, 1), "語");
  EXPECT_EQ(Mid(kNihongo, 2), "本語");
  EXPECT_EQ(Mid(kNihongo, 2, 1), "本");
  for (int64_t n : {int64_t{0}, int64_t{-1}, kMin}) {
    EXPECT_EQ(Left(kNihongo, n), "");
    EXPECT_EQ(Right(kNihongo, n), "");
    EXPECT_EQ(Mid(kNihongo, 2, n), "");
    EXPECT_EQ(Mid(kNihongo, n), kNihongo);
    EXPECT_EQ(Mid(kNihongo, n, 1), "日");
  }
  EXPECT_EQ(Left(kNihongo, kMax), kNihongo);
  EXPECT_EQ(Right(kNihongo, kMax), kNihongo);
  EXPECT_EQ(Mid(kNihongo, 0, kMax), kNihongo);
  EXPECT_EQ(Mid(kNihongo, 3, 99), "語");
  EXPECT_EQ(Mid(kNihongo, 4), "");
  EXPECT_EQ(Mid(kNihongo, kMax, 2), "");
  EXPECT_EQ(Right("a\xE6\x97", 1), "\x97");
  EXPECT_EQ(Right("\xE8\xA8\xAD.txt", 4), ".txt");
}

TEST(TextSearch, InStrCountsCharactersFromStart) {
  const std::string s = "日本語日本";
  EXPECT_EQ(InStr(s, "本"), 2);
  EXPECT_EQ(InStr(0, s, "本"), 2);
  EXPECT_EQ(InStr(-7, s, "本"), 2);
  EXPECT_EQ(InStr(3, s, "本"), 5);
  EXPECT_EQ(InStr(5, s, "本"), 5);
  EXPECT_EQ(InStr(6, s, "本"), 0);
  EXPECT_EQ(InStr(kMax, s, "本"), 0);
  EXPECT_EQ(InStr(s, ""), 0);
  EXPECT_EQ(InStr("", "a"), 0);
  EXPECT_EQ(InStr("ABC", "b"), 0);
  EXPECT_EQ(InStr("ab", "abc"), 0);
}

TEST(TextSearch, MatchesOnlyWholeCharactersInBrokenText) {
  // Inside 日 the bytes 97 A5 are no characters; after it they are two.
  const std::string s = "\xE6\x97\xA5\x97\xA5";
  EXPECT_EQ(InStr(s, "\x97\xA5"), 2);
  EXPECT_EQ(InStr("\xE6\x97\xA5", "\x97\xA5"), 0);
  EXPECT_EQ(InStr("a\xE6\x97\xA5", "a\xE6"), 0);  // would end inside 日
  EXPECT_EQ(InStr("a\xE6" "b", "a\xE6"), 1);      // E6 stands alone here
  EXPECT_EQ(Split(s + "x", "\x97\xA5"), (V{"日", "x"}));
  EXPECT_EQ(NthField(s, "\xA5", 1), "日\x97");
}

TEST(TextFields, SplitAndNthFieldKeepEmptyFieldsAtEveryPlace) {
  const std::vector<std::tuple<std::string, std::string, V>> cases = {
      {"", ",", {""}},
      {",", ",", {"", ""}},
      {"a,,b", ",", {"a", "", "b"}},
      {",a,", ",", {"", "a", ""}},
      {"abc", "", {"abc"}},
      {"abc", "abcd", {"abc"}},
      {"aaa", "aa", {"", "a"}},
      {"<t@ke>1/2:x<t@ke><t@ke>3:y<t@ke>", "<t@ke>", {"", "1/2:x", "", "3:y", ""}},
      {"3/17/9", "/", {"3", "17", "9"}},
      {"漢字\t名前\tp", "\t", {"漢字", "名前", "p"}},
      {"日本、語、", "、", {"日本", "語", ""}}};
  for (const auto& [s, sep, fields] : cases) {
    EXPECT_EQ(Split(s, sep), fields) << s;
    for (size_t i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(NthField(s, sep, static_cast<int64_t>(i + 1)), fields[i]) << s;
    }
    for (int64_t n : {int64_t{0}, int64_t{-1}, static_cast<int64_t>(fields.size() + 1), kMax}) {
      EXPECT_EQ(NthField(s, sep, n), "") << s;
    }
  }
}

// Every short byte string, valid or not: the slices put together give the
// text again, and each character is found where the slicing put it.
TEST(TextSafety, SlicesAndSearchesAgreeOnArbitraryBytes) {
  const std::string bytes("\x00\x61\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC2\xDF\xE0\xE6\xED\xEF\xF0\xF4\xF5\xFF", 20);
  V samples;
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) samples.push_back({static_cast<char>(a), static_cast<char>(b)});
  }
  for (char a : bytes) {
    for (char b : bytes) {
      for (char c : bytes) {
        for (char d : bytes) samples.push_back({a, b, c, d});
      }
    }
  }
  for (const auto& s : samples) {
    const int64_t len = Len(s);
    std::string rebuilt;
    for (int64_t i = 1; i <= len; ++i) {
      const std::string one = Mid(s, i, 1);
      ASSERT_EQ(Len(one), 1);
      ASSERT_EQ(InStr(i, s, one), i) << testing::PrintToString(s) << " at " << i;
      ASSERT_EQ(Left(s, i - 1) + Right(s, len - i + 1), s);
      rebuilt += one;
    }
    ASSERT_EQ(rebuilt, s);
  }
}

// Work that grew with the square of the length would not finish here.
TEST(TextSafety, LongTextsTakeLinearTime) {
  std::string s;
  for (int i = 0; i < 500000; ++i) s += "語,";
  s += "終";
  EXPECT_EQ(Len(s), 1000001);
  EXPECT_EQ(InStr(s, "終"), 1000001);
  EXPECT_EQ(Split(s, ",").size(), 500001u);
  EXPECT_EQ(NthField(s, ",", 500001), "終");
  EXPECT_EQ(Mid(s, 1000000, 5), ",終");
}

TEST(TextNumbers, ValReadsTheLeadingNumberOrZero) {
  const std::vector<std::pair<std::string, double>> cases = {
      {"5.", 5}, {".5", 0.5}, {"+7", 7}, {"-.5e1", -5}, {"1e3", 1000}, {"1E-2", 0.01},
      {"1e", 1}, {"1e+", 1}, {"2e3.5", 2000}, {"  \t-12.5abc", -12.5}, {"12 34", 12},
      {"1,5", 1}, {"0x10", 0}, {"9.9", 9.9}, {"0001.2500", 1.25},
      {"123456789012345678901234567890", 1.2345678901234568e29},
      {"", 0}, {"-", 0}, {".", 0}, {"+-1", 0}, {"e5", 0}, {"nan", 0}, {"inf", 0},
      {"-infinity", 0}, {"\n5", 0}, {"１", 0},
      {"1e400", kInf}, {"-1e400", -kInf}, {"1.8e308", kInf}, {"1e-400", 0}, {"2e-324", 0},
      {"1.7976931348623157e308", std::numeric_limits<double>::max()},
      {"4.9e-324", std::numeric_limits<double>::denorm_min()},
      {"1e99999999999999999999999", kInf}, {"1e-99999999999999999999999", 0}};
  for (const auto& [s, v] : cases) EXPECT_EQ(Val(s), v) << '"' << s << '"';
}

TEST(TextNumbers, ValHandlesMegabytesOfDigitsExactly) {
  const std::string zeros(1000000, '0');
  EXPECT_EQ(Val("1" + zeros), kInf);
  EXPECT_EQ(Val("0." + zeros + "1"), 0.0);
  EXPECT_EQ(Val(zeros + "42"), 42.0);
  EXPECT_EQ(Val("1" + zeros + "e-1000000"), 1.0);
  EXPECT_EQ(Val("0." + zeros + "3e1000001"), 3.0);
  // 2^53 + 1 lies halfway between two doubles; digits far behind it decide.
  EXPECT_EQ(Val("9007199254740993"), 9007199254740992.0);
  EXPECT_EQ(Val("9007199254740993." + std::string(900, '0') + "1"), 9007199254740994.0);
}

TEST(TextNumbers, ValIgnoresTheProcessLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && !std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
    GTEST_SKIP() << "no locale with a decimal comma is installed";
  }
  const double point = Val("1.5"), comma = Val("1,5");
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(point, 1.5);
  EXPECT_EQ(comma, 1.0);
}

TEST(TextNumbers, StrAndTruncateRoundTripAndClamp) {
  EXPECT_EQ(Str(-42), "-42");
  EXPECT_EQ(Str(kMin), "-9223372036854775808");
  for (int64_t n : {int64_t{0}, int64_t{200}, int64_t{-37}, -(int64_t{1} << 53)}) {
    EXPECT_EQ(TruncateToInt64(Val(Str(n))), n);
  }
  EXPECT_THROW(Str(5, "#.00"), RuntimeException);

  const std::vector<std::pair<double, int64_t>> cases = {
      {9.9, 9}, {-9.9, -9}, {-0.5, 0}, {0.9, 0}, {1e19, kMax}, {-1e19, kMin},
      {9223372036854775808.0, kMax}, {-9223372036854775808.0, kMin},
      {9223372036854774784.0, 9223372036854774784}, {kInf, kMax}, {-kInf, kMin},
      {std::nan(""), 0}};
  for (const auto& [v, n] : cases) EXPECT_EQ(TruncateToInt64(v), n) << v;
}

TEST(TextCharacters, ChrEncodesCodePointsAndRejectsInvalidOnes) {
  const std::vector<std::pair<uint32_t, std::string>> cases = {
      {9, "\t"}, {13, "\r"}, {0, std::string(1, '\0')}, {0x7F, "\x7F"}, {0x80, "\xC2\x80"},
      {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"}, {0x65E5, "日"}, {0xFFFF, "\xEF\xBF\xBF"},
      {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"}, {0xD800, ""},
      {0xDFFF, ""}, {0x110000, ""}, {0xFFFFFFFF, ""}};
  for (const auto& [code, text] : cases) EXPECT_EQ(Chr(code), text) << code;
}

TEST(TextCompare, TextEqualsIgnoresOnlyAsciiLetterCase) {
  EXPECT_TRUE(TextEquals("", ""));
  EXPECT_TRUE(TextEquals("p", "P"));
  EXPECT_TRUE(TextEquals(".TXT", ".txt"));
  EXPECT_TRUE(TextEquals("日本", "日本"));
  for (const auto& [a, b] : std::vector<std::pair<std::string, std::string>>{
           {"p", "p "}, {"é", "É"}, {"@", "`"}, {"[", "{"}, {"日本", "日木"}, {"a", {"a\0", 2}}}) {
    EXPECT_FALSE(TextEquals(a, b)) << a << " / " << b;
  }
}

}  // namespace
