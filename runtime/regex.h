#pragma once

// Regular expressions on PCRE2 (8-bit, UTF mode). Every pattern uses one fixed
// dialect, the one existing rule files were written for: Unicode properties,
// letter case ignored unless the pattern turns it on with (?-i), ^ and $ at
// every line, any Unicode line end ends a line, "." does not match a line end,
// greedy quantifiers, empty matches reported. A pattern that is not valid
// UTF-8, or that turns the JIT off with (*NO_JIT), raises RegExException. In
// a subject, a byte that is not part of valid UTF-8 matches nothing, no match
// starts at it (not even an empty one), and it counts as one character, as
// Len counts it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace rt {

struct RegExOptions {
  // Replace() replaces every match instead of the first only.
  bool ReplaceAllMatches = false;
};

// One match: its text and where it lies in the subject.
class RegExMatch {
 public:
  RegExMatch(std::string text, int64_t byteStart, int64_t charStart)
      : text_(std::move(text)), byte_start_(byteStart), char_start_(charStart) {}
  // The matched text (group 0).
  const std::string& SubExpressionString() const { return text_; }
  // 0-based byte offset of the match in the subject.
  int64_t ByteStart() const { return byte_start_; }
  // 1-based character position of the match's first character.
  int64_t CharacterStart() const { return char_start_; }

 private:
  std::string text_;
  int64_t byte_start_;
  int64_t char_start_;
};

// A match found by ForEachMatch, as byte offsets into the subject [start, end).
struct MatchSpan {
  size_t start;
  size_t end;
};

// Owns one compiled pattern and its match data; move-only. Raises
// RegExException for a pattern that cannot be compiled (at SearchPattern) and
// when a match runs into PCRE2's limits (a search that runs out of JIT stack
// is first redone by PCRE2's interpreter).
class RegEx {
 public:
  RegEx();
  ~RegEx();
  RegEx(RegEx&&) noexcept;
  RegEx& operator=(RegEx&&) noexcept;
  RegEx(const RegEx&) = delete;
  RegEx& operator=(const RegEx&) = delete;

  // Compiles the pattern (JIT where available).
  void SearchPattern(const std::string& pattern);
  const std::string& SearchPattern() const;

  // "\0" stands for the whole match and "\1" to "\9" for groups (empty when the
  // group did not take part); every other character stands for itself.
  void ReplacementPattern(const std::string& replacement);
  const std::string& ReplacementPattern() const;

  // This object's options, by reference.
  RegExOptions& Options();

  // The target with the first match, or every match from left to right without
  // overlap when ReplaceAllMatches is set, replaced. Raises RegExException when
  // no pattern has been set.
  std::string Replace(std::string_view target);

  // The first match in target, from its beginning; null when there is none.
  std::shared_ptr<RegExMatch> Search(std::string_view target);
  // Whether Search would find a match, without making one.
  bool HasMatch(std::string_view target);

  // Calls `onMatch` for every match, left to right, without overlap, as
  // Replace with ReplaceAllMatches finds them: after an empty match a
  // non-empty match at the same place is tried before moving one character on.
  template <class F>
  void ForEachMatch(std::string_view target, F&& onMatch) {
    MatchSpan match{0, 0};
    for (bool found = FirstMatch(target, match); found; found = NextMatch(target, match)) {
      onMatch(match);
    }
  }

 private:
  // The first match in target; false when there is none.
  bool FirstMatch(std::string_view target, MatchSpan& match);
  // The match after `match`, the last one found in target; false when there
  // is none.
  bool NextMatch(std::string_view target, MatchSpan& match);

  struct Impl;
  Impl& impl();
  std::unique_ptr<Impl> impl_;
};

}  // namespace rt
