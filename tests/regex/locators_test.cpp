#include "engine/locators.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <gtest/gtest.h>
#include <pcre2.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/exceptions.h"

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
      {"\xE6\x97\r\n\x80x", "x", "6,<>6,"},
      // After an empty match the search goes on past stray bytes, and an
      // empty match right after one is kept.
      {" \xFF", "a*", "1,3,<>0,2,"}, {"\xE6\x81\x80\xC3\xE4\x80\x80", "", "1,3,4,<>0,2,3,"},
      {"\r\x80\xE5\x86\x86", "x?", "1,3,4,<>0,2,3,"}, {"xyz\xFF" "a", "a*", "1,2,3,5,6,<>0,1,2,5,5,"},
      {"Title\r\rBody text\rMore text \xFF end", ".*", "1,6,7,8,17,18,29,33,<>5,5,6,16,16,27,32,32,"},
      {"12 EUR\r3\xA0" "45", "\\d*", "1,3,4,5,6,7,8,10,12,<>2,2,3,4,5,6,8,11,11,"}});
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

// A reference for both locators that shares no code path with them: PCRE2's
// interpreter, no JIT, no invalid-UTF mode. The text is cut into its maximal
// stretches of valid UTF-8; each is searched on its own, as if it were the
// whole subject, except that no line starts right after a stray byte and none
// ends right before one. No match starts at a stray byte. After an empty
// match, a non-empty one at the same place is tried, then the search moves
// one character on (CR LF is one line end). \A, \Z and \z would be read per
// stretch here, so the patterns below leave them out.
class Reference {
 public:
  explicit Reference(const std::string& pattern) {
    compile_ = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(compile_, PCRE2_NEWLINE_ANY);
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                          PCRE2_UTF | PCRE2_UCP | PCRE2_CASELESS | PCRE2_MULTILINE, &error,
                          &offset, compile_);
    data_ = code_ ? pcre2_match_data_create_from_pattern(code_, nullptr) : nullptr;
  }
  ~Reference() {
    pcre2_match_data_free(data_);
    pcre2_code_free(code_);
    pcre2_compile_context_free(compile_);
  }
  Reference(const Reference&) = delete;
  Reference& operator=(const Reference&) = delete;

  // Byte spans [start, end) of every match in text, left to right.
  std::vector<std::pair<size_t, size_t>> Matches(const std::string& text) {
    std::vector<std::pair<size_t, size_t>> found;
    size_t begin = 0;
    for (;;) {
      size_t end = begin;
      while (end < text.size() && ValidLength(text, end) > 0) end += ValidLength(text, end);
      SearchStretch(text, begin, end, found);
      if (end == text.size()) return found;
      begin = end + 1;  // past one stray byte
    }
  }

  // Length of the well-formed UTF-8 sequence at i, by decoding it; 0 when
  // the byte there starts none.
  static size_t ValidLength(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned c = byte(i);
    if (c < 0x80) return 1;
    const size_t n = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    uint32_t cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      if ((byte(i + k) >> 6) != 2) return 0;
      cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
  }

 private:
  void SearchStretch(const std::string& text, size_t begin, size_t end,
                     std::vector<std::pair<size_t, size_t>>& found) {
    const bool strayAfter = end < text.size();
    const uint32_t flags = (begin > 0 ? PCRE2_NOTBOL : 0) | (strayAfter ? PCRE2_NOTEOL : 0);
    const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data() + begin);
    const size_t length = end - begin;
    size_t offset = 0;
    uint32_t extra = 0;
    while (offset <= length) {
      if (pcre2_match(code_, subject, length, offset, flags | extra, data_, nullptr) < 0) {
        if (extra == 0) return;
        // No non-empty match where the empty one was: one character on.
        offset += text.compare(begin + offset, 2, "\r\n") == 0 ? 2 : ValidLength(text, begin + offset);
        extra = 0;
        continue;
      }
      const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_);
      if (ov[0] == ov[1] && ov[0] == length && strayAfter) return;
      found.emplace_back(begin + ov[0], begin + ov[1]);
      offset = ov[1];
      extra = ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED : 0;
      if (ov[0] == ov[1] && offset == length) return;
    }
  }

  pcre2_compile_context* compile_ = nullptr;
  pcre2_code* code_ = nullptr;
  pcre2_match_data* data_ = nullptr;
};

// Characters before every byte offset: a valid sequence is one, so is each
// stray byte.
std::vector<int64_t> CharactersBefore(const std::string& text) {
  std::vector<int64_t> before(text.size() + 1, 0);
  int64_t n = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t len = std::max<size_t>(Reference::ValidLength(text, i), 1);
    for (size_t k = 0; k < len; ++k) before[i + k] = n;
    i += len;
    ++n;
  }
  before[text.size()] = n;
  return before;
}

std::string ReferenceRanges(const std::string& text, const std::string& pattern) {
  Reference re(pattern);
  const std::vector<int64_t> before = CharactersBefore(text);
  std::string starts, ends;
  for (const auto& [s, e] : re.Matches(text)) {
    starts += std::to_string(before[s] + 1) + ",";
    ends += std::to_string(before[e]) + ",";
  }
  return starts + "<>" + ends;
}

std::string ReferenceParagraphs(const std::string& text, const std::string& pattern) {
  Reference re(pattern);
  std::string list;
  size_t begin = 0;
  for (int number = 1;; ++number) {
    const size_t cr = std::min(text.find('\r', begin), text.size());
    if (!re.Matches(text.substr(begin, cr - begin) + "\r").empty()) {
      list += std::to_string(number) + ",";
    }
    if (cr == text.size()) return list;
    begin = cr + 1;
  }
}

// Several thousand texts of up to 24 awkward parts each: Japanese, accented
// letters, every line end and several kinds of stray byte.
TEST(LocatorsAgainstReference, AgreeOnGeneratedTextsWithPatternsThatMatchEmptyOrNot) {
  static const std::vector<std::string> parts = {
      "a", "b", "x", "A", "日本", "あい", "円", "■", "12", ",", " ", "\t", "\r", "\n", "\r\n",
      "é", "É", "ñ", "😀", "\xE2\x80\xA8", "\xFF", "\x80", "\xE6\x97", "\xED\xA0\x80",
      "\xC0\xAF", "\xC3", "\xF4\x90\x80\x80"};
  static const std::vector<std::string> patterns = {
      "\\s*", ".*", "^", "$", "x?", "(a|)", "\\b", "\\B", "(?=.)", "[^a]*", "x*?", "\\w*", "",
      "^$", "a*", "a", "[あい]+", "日本|本", "\\d+", "é+", "(?<=a)b", "\\R", "^■", ".", "[^a\\r]",
      "\\r\\n|\\r", "(?-i)A", "円$", "\\X", "\\w+\\b", "\\n?", "[\\r\\n]*", "(?=\\n)|\\r",
      // "(*" takes the other way on after an empty match.
      "(*NO_START_OPT)\\s*", "(*NO_START_OPT)x?", "(*NO_START_OPT)(?=\\n)|\\r"};
  std::mt19937 rng(20261207);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (size_t n = rng() % 25; n > 0; --n) text += parts[rng() % parts.size()];
    for (const std::string& pattern : patterns) {
      SCOPED_TRACE("pattern \"" + pattern + "\" text " + testing::PrintToString(text));
      EXPECT_EQ(getRegPos(text, pattern), ReferenceRanges(text, pattern));
      EXPECT_EQ(getRegParaPos(text, pattern), ReferenceParagraphs(text, pattern));
      if (testing::Test::HasFailure()) return;
    }
  }
}

}  // namespace
