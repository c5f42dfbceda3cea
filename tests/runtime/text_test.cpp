#include "runtime/text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cmath>
#include <limits>
#include <tuple>

#include "tests/support/temp_dir.h"

namespace {

using namespace rt;
using V = std::vector<std::string>;
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr double kInf = std::numeric_limits<double>::infinity();
const std::string kNihongo = "日本語";
const std::string kBroken = "\xE6\x97\xA5\x97\xA5";  // 日 then two stray bytes

TEST(TextLength, CountsCodePointsAndEveryStrayByteAsOneCharacter) {
  const std::vector<std::pair<std::string, int64_t>> cases = {
      {"", 0}, {kNihongo, 3}, {"\xF0\x9F\x98\x80", 1}, {std::string("a\0b", 3), 3},
      {"a\xFF" "b", 3}, {"\xE6\x97", 2}, {"\xF0\x9F\x98", 3}, {"\xC0\xAF", 2},
      {"\xE0\x80\x80", 3}, {"\xF0\x80\x80\x80", 4}, {"\xED\xA0\x80", 3}, {"\xF4\x90\x80\x80", 4},
      {"\x80\xBF", 2}, {"\xEF\xBF\xBF\xF4\x8F\xBF\xBF", 2}, {kBroken, 3}};
  for (const auto& [s, n] : cases) EXPECT_EQ(Len(s), n) << testing::PrintToString(s);
}

TEST(TextSlices, ClampPositionsAndCounts) {
  const std::string& s = kNihongo;
  EXPECT_EQ(Left(s, 2) + "|" + Right(s, 1) + "|" + Mid(s, 2) + "|" + Mid(s, 2, 1), "日本|語|本語|本");
  EXPECT_EQ(Right("\xE8\xA8\xAD.txt", 4), ".txt");
  for (int64_t n : {int64_t{0}, int64_t{-1}, kMin}) {
    SCOPED_TRACE(n);
    EXPECT_EQ(Left(s, n) + Right(s, n) + Mid(s, 2, n), "");
    EXPECT_EQ(Mid(s, n), s);
    EXPECT_EQ(Mid(s, n, 1), "日");
  }
  EXPECT_EQ(Left(s, kMax) + Right(s, kMax) + Mid(s, 0, kMax), s + s + s);
  EXPECT_EQ(Mid(s, 3, 99) + Mid(s, 4) + Mid(s, kMax, 2), "語");
}

TEST(TextSearch, InStrCountsWholeCharactersFromStart) {
  const std::string s = "日本語日本";
  const std::vector<std::tuple<int64_t, std::string, std::string, int64_t>> cases = {
      {1, s, "本", 2}, {0, s, "本", 2}, {-7, s, "本", 2}, {3, s, "本", 5}, {5, s, "本", 5},
      {6, s, "本", 0}, {kMax, s, "本", 0}, {1, s, "", 0}, {1, "", "a", 0}, {1, "ABC", "b", 0},
      {1, "ab", "abc", 0}, {1, kBroken, "\x97\xA5", 2}, {1, "\xE6\x97\xA5", "\x97\xA5", 0},
      {1, "a\xE6\x97\xA5", "a\xE6", 0}, {1, "a\xE6" "b", "a\xE6", 1}};
  for (const auto& [start, text, find, pos] : cases) {
    EXPECT_EQ(InStr(start, text, find), pos) << start << " " << text << " / " << find;
  }
  EXPECT_EQ(InStr(s, "語"), 3);
}

TEST(TextFields, SplitAndNthFieldKeepEmptyFieldsAtEveryPlace) {
  const std::vector<std::tuple<std::string, std::string, V>> cases = {
      {"", ",", {""}}, {",", ",", {"", ""}}, {"a,,b", ",", {"a", "", "b"}},
      {",a,", ",", {"", "a", ""}}, {"abc", "", {"abc"}}, {"abc", "abcd", {"abc"}},
      {"aaa", "aa", {"", "a"}},
      {"<t@ke>1/2:x<t@ke><t@ke>3:y<t@ke>", "<t@ke>", {"", "1/2:x", "", "3:y", ""}},
      {"日本、語、", "、", {"日本", "語", ""}},
      {kBroken + "x", "\x97\xA5", {"日", "x"}}, {kBroken, "\xA5", {"日\x97", ""}}};
  for (const auto& [s, sep, fields] : cases) {
    SCOPED_TRACE(testing::PrintToString(s) + " by " + testing::PrintToString(sep));
    EXPECT_EQ(Split(s, sep), fields);
    for (size_t i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(NthField(s, sep, static_cast<int64_t>(i + 1)), fields[i]);
    }
    for (int64_t n : {int64_t{0}, int64_t{-1}, static_cast<int64_t>(fields.size() + 1), kMax}) {
      EXPECT_EQ(NthField(s, sep, n), "");
    }
  }
}

// Every short byte string: slices tile the text and each character is found where it lies.
TEST(TextSafety, SlicesAndSearchesAgreeOnArbitraryBytes) {
  const char* b = "\x00\x61\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0"
                  "\xC2\xDF\xE0\xE6\xED\xEF\xF0\xF4\xF5\xFF";
  V all;
  for (int k = 0; k < 65536; ++k) all.push_back({static_cast<char>(k >> 8), static_cast<char>(k)});
  for (int k = 0; k < 160000; ++k) {
    all.push_back({b[k % 20], b[k / 20 % 20], b[k / 400 % 20], b[k / 8000]});
  }
  for (const auto& s : all) {
    const int64_t len = Len(s);
    for (int64_t i = 1; i <= len; ++i) {
      const std::string one = Mid(s, i, 1);
      ASSERT_EQ(Len(one), 1);
      ASSERT_EQ(InStr(i, s, one), i) << testing::PrintToString(s) << " at " << i;
      ASSERT_EQ(Left(s, i - 1) + one + Mid(s, i + 1), s);
      ASSERT_EQ(Right(s, len - i + 1), Mid(s, i));
    }
  }
}

TEST(TextSafety, LongTextsTakeLinearTime) {
  std::string s;
  for (int i = 0; i < 500000; ++i) s += "語,";
  s += "終";
  EXPECT_EQ(Len(s), 1000001);
  EXPECT_EQ(InStr(s, "終"), 1000001);
  EXPECT_EQ(Split(s, ",").size(), 500001u);
  EXPECT_EQ(NthField(s, ",", 500001), "終");
}

TEST(TextNumbers, ValReadsTheLeadingNumberOrZero) {
  const std::string zeros(1000000, '0');
  const std::vector<std::pair<std::string, double>> cases = {
      {"5.", 5}, {".5", 0.5}, {"+7", 7}, {"-.5e1", -5}, {"1E-2", 0.01}, {"1e", 1}, {"1e+", 1},
      {"2e3.5", 2000}, {"  \t-12.5abc", -12.5}, {"1,5", 1}, {"0x10", 0}, {"0001.2500", 1.25},
      {"", 0}, {"-", 0}, {".", 0}, {"+-1", 0}, {"e5", 0}, {"nan", 0}, {"-infinity", 0},
      {"\n5", 0}, {"１", 0}, {"1e400", kInf}, {"-1e400", -kInf}, {"1e-400", 0},
      {"1e99999999999999999999999", kInf}, {"1" + zeros, kInf}, {zeros + "42", 42},
      {"0." + zeros + "3e1000001", 3}};
  for (const auto& [s, v] : cases) EXPECT_EQ(Val(s), v) << '"' << s.substr(0, 40) << '"';
  // Where the number ends: after the blanks before it, never on an "e" that
  // starts no exponent; nothing at all when there is no number.
  for (const auto& [s, length] : std::vector<std::pair<std::string, size_t>>{
           {" \t-12.5e+3abc", 10}, {"1e", 1}, {"2e3.5", 3}, {".5", 2}, {"  -", 0}, {"x1", 0}}) {
    size_t used = 99;
    Val(s, &used);
    EXPECT_EQ(used, length) << '"' << s << '"';
  }
}

// A locale whose decimal separator is a comma, as a German user's desktop sets
// it: an installed one, or one compiled into a temporary folder.
bool UseDecimalCommaLocale(const testsupport::TempDir& scratch) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8")) return true;
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + (scratch / "de_DE.UTF-8") + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", scratch.path().c_str(), 1);
  const bool made = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  unsetenv("LOCPATH");
  return made;
}

TEST(TextNumbers, ValIgnoresTheProcessLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const testsupport::TempDir scratch;
  if (!UseDecimalCommaLocale(scratch)) GTEST_SKIP() << "no locale with a decimal comma";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  const double point = Val("1.5"), comma = Val("1,5");
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(std::make_pair(point, comma), std::make_pair(1.5, 1.0));
}

TEST(TextNumbers, StrAndTruncateRoundTripAndClamp) {
  for (int64_t n : {int64_t{-37}, -(int64_t{1} << 53)}) EXPECT_EQ(TruncateToInt64(Val(Str(n))), n);
  EXPECT_EQ(Str(kMin), "-9223372036854775808");
  const std::vector<std::pair<double, int64_t>> cases = {
      {9.9, 9}, {-9.9, -9}, {-0.5, 0}, {9223372036854775808.0, kMax}, {kInf, kMax},
      {-9223372036854775808.0, kMin}, {9223372036854774784.0, 9223372036854774784},
      {std::nan(""), 0}};
  for (const auto& [v, n] : cases) EXPECT_EQ(TruncateToInt64(v), n) << v;
}

TEST(TextCharacters, ChrEncodesCodePointsAndRejectsInvalidOnes) {
  const std::vector<std::pair<uint32_t, std::string>> cases = {
      {0x7F, "\x7F"}, {0x80, "\xC2\x80"}, {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"},
      {0xFFFF, "\xEF\xBF\xBF"}, {0x10000, "\xF0\x90\x80\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
      {0xD800, ""}, {0xDFFF, ""}, {0x110000, ""}};
  for (const auto& [code, text] : cases) EXPECT_EQ(Chr(code), text) << code;
}

TEST(TextCompare, TextEqualsIgnoresOnlyAsciiLetterCase) {
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {"", "", true}, {".TXT", ".txt", true}, {"日本", "日本", true}, {"p", "p ", false},
      {"é", "É", false}, {"@", "`", false}, {"[", "{", false}, {"a", {"a\0", 2}, false}};
  for (const auto& [a, b, same] : cases) EXPECT_EQ(TextEquals(a, b), same) << a << " / " << b;
}

}  // namespace
