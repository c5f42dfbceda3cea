#include "engine/locators.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>
#include <vector>

#include "runtime/exceptions.h"
#include "runtime/regex.h"
#include "runtime/text.h"

namespace engine {

namespace {

// Numbers, each followed by a comma, written straight into the list's
// storage: the lists of a long text hold hundreds of thousands of numbers,
// one or two for every match, and appending each through the string would
// cost a call or two per number.
class NumberList {
 public:
  void Add(int64_t n) {
    if (list_.size() - used_ < kMostPerNumber) {
      list_.resize(std::max<size_t>(4096, 2 * list_.size()));
    }
    char* const begin = list_.data() + used_;
    char* end = std::to_chars(begin, begin + kMostPerNumber - 1, n).ptr;
    *end++ = ',';
    used_ += static_cast<size_t>(end - begin);
  }
  std::string_view View() const { return std::string_view(list_).substr(0, used_); }
  std::string Take() {
    list_.resize(used_);
    used_ = 0;
    return std::move(list_);
  }
  // Empties the list, keeping its storage unless that is large.
  void Clear() {
    used_ = 0;
    if (list_.size() > kKeptBytes) std::string().swap(list_);
  }

 private:
  static constexpr size_t kMostPerNumber = 21;  // 19 digits, a sign and the comma
  static constexpr size_t kKeptBytes = 1 << 20;
  std::string list_;
  size_t used_ = 0;
};

// Characters in text[from, to), both ends lying between characters, as Len
// counts them (a stray byte is one).
int64_t CountCharacters(std::string_view text, size_t from, size_t to) {
  // Between most matches of a pattern that matches empty, or every
  // character, lie none or one: not worth a call.
  if (to == from) return 0;
  if (to - from == 1 && static_cast<unsigned char>(text[from]) < 0x80) return 1;
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
  //
  // The lists are built in storage each thread keeps from call to call: a
  // rule run locates in text after text, and fresh storage for every list
  // costs the system a page at a time.
  thread_local NumberList starts;
  thread_local NumberList ends;
  starts.Clear();
  ends.Clear();
  size_t countedTo = 0;
  int64_t charactersBefore = 0;
  re.ForEachMatch(text, [&](rt::MatchSpan m) {
    charactersBefore += CountCharacters(text, countedTo, m.start);
    starts.Add(charactersBefore + 1);
    charactersBefore += CountCharacters(text, m.start, m.end);
    ends.Add(charactersBefore);
    countedTo = m.end;
  });
  std::string list;
  list.reserve(starts.View().size() + 2 + ends.View().size());
  list += starts.View();
  list += "<>";
  list += ends.View();
  starts.Clear();
  ends.Clear();
  return list;
}

std::string getRegParaPos(const std::string& text, const std::string& pattern) {
  try {
    rt::RegEx& re = Compiled(pattern);

    // Each paragraph is searched in place together with the CR that follows
    // it; only the last one, which has none in the text, is copied to get it.
    const std::string_view all(text);
    NumberList list;
    int64_t number = 1;
    size_t begin = 0;
    for (;; ++number) {
      const size_t cr = all.find('\r', begin);
      if (cr == std::string_view::npos) {
        std::string last(all.substr(begin));
        last.push_back('\r');
        if (re.HasMatch(last)) list.Add(number);
        break;
      }
      if (re.HasMatch(all.substr(begin, cr + 1 - begin))) list.Add(number);
      begin = cr + 1;
    }
    return list.Take();
  } catch (const rt::RegExException&) {
    return "";
  }
}

}  // namespace engine
