#include "engine/locators.h"

#include <charconv>
#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/regex.h"
#include "runtime/text.h"

namespace engine {

namespace {

// Writes the digits in place: lists of a long text hold hundreds of
// thousands of numbers.
void AppendNumber(std::string& list, int64_t n) {
  const size_t at = list.size();
  list.resize(at + 21);  // 19 digits, a sign and the comma
  char* const begin = list.data() + at;
  char* end = std::to_chars(begin, begin + 20, n).ptr;
  *end++ = ',';
  list.resize(static_cast<size_t>(end - list.data()));
}

// Characters in text[from, to), both ends lying between characters, as Len
// counts them (a stray byte is one).
int64_t CountCharacters(std::string_view text, size_t from, size_t to) {
  return rt::Len(text.substr(from, to - from));
}

// The pattern compiled. A rule run applies the same few patterns to every
// text, so each thread keeps the ones it used last, compiled (and JIT
// compiled) once; a pattern that cannot be compiled raises and is not kept.
rt::RegEx& Compiled(const std::string& pattern) {
  struct Kept {
    std::string pattern;
    rt::RegEx re;
  };
  constexpr size_t kMostKept = 32;
  thread_local std::vector<Kept> kept;  // the most recently compiled last
  for (auto it = kept.rbegin(); it != kept.rend(); ++it) {
    if (it->pattern == pattern) return it->re;
  }
  rt::RegEx re;
  re.SearchPattern(pattern);
  if (kept.size() == kMostKept) kept.erase(kept.begin());
  kept.push_back(Kept{pattern, std::move(re)});
  return kept.back().re;
}

}  // namespace

std::string getRegPos(const std::string& text, const std::string& pattern) {
  rt::RegEx& re = Compiled(pattern);

  // Positions come straight from the matches of the replace-all iteration,
  // so a text that itself holds "<@>" or "</>" cannot shift them. Matches
  // arrive in order, so the character count only ever moves forward.
  std::string starts;
  std::string ends;
  size_t countedTo = 0;
  int64_t charactersBefore = 0;
  re.ForEachMatch(text, [&](rt::MatchSpan m) {
    charactersBefore += CountCharacters(text, countedTo, m.start);
    AppendNumber(starts, charactersBefore + 1);
    charactersBefore += CountCharacters(text, m.start, m.end);
    AppendNumber(ends, charactersBefore);
    countedTo = m.end;
  });
  // Appended in place: the lists of a long text run to megabytes.
  starts.reserve(starts.size() + 2 + ends.size());
  starts += "<>";
  starts += ends;
  return starts;
}

std::string getRegParaPos(const std::string& text, const std::string& pattern) {
  try {
    rt::RegEx& re = Compiled(pattern);

    // Each paragraph is searched in place together with the CR that follows
    // it; only the last one, which has none in the text, is copied to get it.
    const std::string_view all(text);
    std::string list;
    int64_t number = 1;
    size_t begin = 0;
    for (;; ++number) {
      const size_t cr = all.find('\r', begin);
      if (cr == std::string_view::npos) {
        std::string last(all.substr(begin));
        last.push_back('\r');
        if (re.HasMatch(last)) AppendNumber(list, number);
        break;
      }
      if (re.HasMatch(all.substr(begin, cr + 1 - begin))) AppendNumber(list, number);
      begin = cr + 1;
    }
    return list;
  } catch (const rt::RegExException&) {
    return "";
  }
}

}  // namespace engine
