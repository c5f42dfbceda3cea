#define PCRE2_CODE_UNIT_WIDTH 8
#include "runtime/regex.h"

#include <pcre2.h>

#include <new>
#include <utility>

#include "runtime/exceptions.h"
#include "runtime/text.h"

namespace rt {

namespace {

// The one dialect every pattern is compiled in; rule files rely on it. \C is
// refused: it matches single bytes, so matches could split characters and
// later searches would start inside one. Texts come from the host as they
// are, so a byte that is not part of valid UTF-8 is searched past rather than
// refused: it matches nothing, and no match starts or ends inside it.
constexpr uint32_t kCompileOptions = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_UCP |
                                     PCRE2_CASELESS | PCRE2_MULTILINE | PCRE2_NEVER_BACKSLASH_C;

// Enough for deeply nested ordinary patterns; only the pages used are touched.
constexpr size_t kJitStackStart = 32 * 1024;
constexpr size_t kJitStackMax = 8 * 1024 * 1024;

std::string ErrorText(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (n < 0) return "regular expression error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
}

[[noreturn]] void ThrowMatchError(int code) {
  throw RegExException("regular expression match failed: " + ErrorText(code));
}

struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct JitStackFree {
  void operator()(pcre2_jit_stack* p) const { pcre2_jit_stack_free(p); }
};

// The JIT stack of the thread that matches: searches never nest, so one
// serves every expression of a thread, and an expression does not reserve
// one of its own. PCRE2 falls back to its small default stack when it is
// null (the allocation failed).
pcre2_jit_stack* ThreadJitStack(void*) {
  thread_local const std::unique_ptr<pcre2_jit_stack, JitStackFree> stack(
      pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
  return stack.get();
}

}  // namespace

struct RegEx::Impl {
  std::string pattern;
  std::string replacement;
  RegExOptions options;
  std::unique_ptr<pcre2_compile_context, CompileContextFree> compileContext;
  std::unique_ptr<pcre2_match_context, MatchContextFree> matchContext;
  std::unique_ptr<pcre2_code, CodeFree> code;
  // The same pattern compiled anchored, for the search right after an empty
  // match where one search will not do; made when first needed. Only the
  // JIT searches invalid UTF-8 correctly, and it cannot anchor a search at
  // match time: PCRE2 hands such a search to its interpreter, which returns
  // matches from past the next stray byte and reads on to the end of the
  // valid stretch at every call.
  std::unique_ptr<pcre2_code, CodeFree> anchoredCode;
  std::unique_ptr<pcre2_match_data, MatchDataFree> matchData;
  bool jitted = false;
  bool anchoredJitted = false;
  // Whether the search after an empty match can be one search (see
  // FindAfterEmpty). Backtracking verbs and \G act on where a search
  // starts, which would tell the one search from the two, so a pattern that
  // may hold either, any "(*" or "\G" in it, takes two.
  bool oneSearchAfterEmpty = false;

  Impl() {
    compileContext.reset(pcre2_compile_context_create(nullptr));
    matchContext.reset(pcre2_match_context_create(nullptr));
    if (!compileContext || !matchContext) throw std::bad_alloc();
    pcre2_set_newline(compileContext.get(), PCRE2_NEWLINE_ANY);
    pcre2_jit_stack_assign(matchContext.get(), &ThreadJitStack, nullptr);
  }

  // The pattern compiled with these options and JIT compiled where it can
  // be (without JIT, the interpreter gives the same results on valid UTF-8,
  // only slower); raises RegExException when it cannot be compiled.
  std::unique_ptr<pcre2_code, CodeFree> CompileWith(const std::string& source,
                                                    uint32_t compileOptions, bool& jit) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    std::unique_ptr<pcre2_code, CodeFree> compiled(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.data()), source.size(), compileOptions,
                      &errorCode, &errorOffset, compileContext.get()));
    if (!compiled) {
      throw RegExException("invalid regular expression: " + ErrorText(errorCode) + " at offset " +
                           std::to_string(errorOffset));
    }
    jit = pcre2_jit_compile(compiled.get(), PCRE2_JIT_COMPLETE) == 0;
    // (*NO_JIT) at the start of a pattern leaves it without JIT code even
    // where JIT works, and PCRE2's interpreter gets texts with stray bytes
    // wrong; such a pattern was never usable, so it is refused here, clearly.
    size_t jitSize = 0;
    if (jit && pcre2_pattern_info(compiled.get(), PCRE2_INFO_JITSIZE, &jitSize) == 0 &&
        jitSize == 0) {
      throw RegExException("invalid regular expression: (*NO_JIT) is not supported");
    }
    return compiled;
  }

  void Compile(const std::string& source) {
    code.reset();
    anchoredCode.reset();
    jitted = anchoredJitted = oneSearchAfterEmpty = false;
    matchData.reset();
    pattern.clear();

    bool jit = false;
    std::unique_ptr<pcre2_code, CodeFree> compiled = CompileWith(source, kCompileOptions, jit);
    std::unique_ptr<pcre2_match_data, MatchDataFree> data(
        pcre2_match_data_create_from_pattern(compiled.get(), nullptr));
    if (!data) throw std::bad_alloc();

    code = std::move(compiled);
    jitted = jit;
    oneSearchAfterEmpty =
        source.find("(*") == std::string::npos && source.find("\\G") == std::string::npos;
    matchData = std::move(data);
    pattern = source;
  }

  void RequirePattern() const {
    if (!code) throw RegExException("no search pattern has been set");
  }

  // One pcre2_match call: true on a match, false on none; raises on errors.
  bool Match(const pcre2_code* compiled, bool jit, std::string_view subject, size_t offset,
             uint32_t flags) {
    // An empty view may have no storage at all; PCRE2 wants a real pointer.
    const char* bytes = subject.data() != nullptr ? subject.data() : "";
    const auto* start = reinterpret_cast<PCRE2_SPTR>(bytes);
    // The JIT's own entry skips the checks pcre2_match makes at every call,
    // which tell in a loop over many short matches.
    int rc = jit ? pcre2_jit_match(compiled, start, subject.size(), offset, flags, matchData.get(),
                                   matchContext.get())
                 : pcre2_match(compiled, start, subject.size(), offset, flags, matchData.get(),
                               matchContext.get());
    // A valid pattern can need more stack than the JIT stack holds (a
    // repeated group over a long text); the interpreter keeps its backtracking
    // on the heap, within PCRE2's own heap limit, so that one search is redone
    // there.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
      rc = pcre2_match(compiled, start, subject.size(), offset, flags | PCRE2_NO_JIT,
                       matchData.get(), matchContext.get());
    }
    if (rc == PCRE2_ERROR_NOMATCH) return false;
    if (rc < 0) ThrowMatchError(rc);
    return true;
  }

  const PCRE2_SIZE* Ovector() const { return pcre2_get_ovector_pointer(matchData.get()); }

  // The first match at or after offset, passing over an empty match right
  // before a stray byte: no match starts at one. (Where PCRE2 reports such
  // empty matches differs between its JIT and its interpreter, and from one
  // kind of stray byte to another.) `flags` hold for the search from offset
  // only: past such a byte the search goes on as one of its own.
  bool Find(std::string_view subject, size_t offset, uint32_t flags = 0) {
    for (;;) {
      if (!Match(code.get(), jitted, subject, offset, flags)) return false;
      const PCRE2_SIZE* ov = Ovector();
      const size_t at = ov[0];
      if (ov[1] != at || at >= subject.size() || static_cast<unsigned char>(subject[at]) < 0x80 ||
          CharacterBytes(subject, at) != 1) {
        return true;
      }
      offset = at + 1;
      flags = 0;
    }
  }

  // A non-empty match that starts exactly at offset. It never starts at a
  // stray byte, since a stray byte matches nothing.
  bool FindNonEmptyAt(std::string_view subject, size_t offset) {
    if (!anchoredCode) {
      anchoredCode = CompileWith(pattern, kCompileOptions | PCRE2_ANCHORED, anchoredJitted);
    }
    return Match(anchoredCode.get(), anchoredJitted, subject, offset, PCRE2_NOTEMPTY_ATSTART);
  }

  // The match after an empty one at `at`, short of the end: a non-empty
  // match that starts there, else the first match from one character on
  // (CR LF counts as one, as it is one line end; a stray byte is one
  // character, as Len counts it).
  bool FindAfterEmpty(std::string_view subject, size_t at) {
    const bool crlf = subject[at] == '\r' && at + 1 < subject.size() && subject[at + 1] == '\n';
    if (oneSearchAfterEmpty) {
      // One search from `at` that refuses only an empty match there tries
      // `at` for a non-empty match and then moves on a character at a time:
      // both searches in one, at half the calls on a pattern that matches
      // empty almost everywhere. Only a match between CR and LF is left to
      // take back.
      if (!Find(subject, at, PCRE2_NOTEMPTY_ATSTART)) return false;
      if (!crlf || Ovector()[0] != at + 1) return true;
    } else if (FindNonEmptyAt(subject, at)) {
      return true;
    }
    return Find(subject, at + (crlf ? 2 : CharacterBytes(subject, at)));
  }

  // The first match in the subject, or the one after `match`: left to
  // right, without overlap.
  bool First(std::string_view subject, MatchSpan& match) {
    RequirePattern();
    return Find(subject, 0) && Take(0, match);
  }
  bool Next(std::string_view subject, MatchSpan& match) {
    const size_t previousEnd = match.end;
    if (match.start != match.end) {
      if (!Find(subject, previousEnd)) return false;
    } else if (previousEnd == subject.size() || !FindAfterEmpty(subject, previousEnd)) {
      return false;
    }
    return Take(previousEnd, match);
  }

  // The match just found, as a span.
  bool Take(size_t previousEnd, MatchSpan& match) const {
    const PCRE2_SIZE* ov = Ovector();
    // \K can move a match's start past its end or before an earlier match;
    // positions from such a match would be meaningless.
    if (ov[0] > ov[1] || ov[0] < previousEnd) {
      throw RegExException("regular expression match out of order (\\K in the pattern)");
    }
    match = MatchSpan{ov[0], ov[1]};
    return true;
  }
};

RegEx::RegEx() : impl_(std::make_unique<Impl>()) {}
RegEx::~RegEx() = default;
RegEx::RegEx(RegEx&&) noexcept = default;
RegEx& RegEx::operator=(RegEx&&) noexcept = default;

RegEx::Impl& RegEx::impl() {
  // A moved-from object becomes a fresh one when used again.
  if (!impl_) impl_ = std::make_unique<Impl>();
  return *impl_;
}

void RegEx::SearchPattern(const std::string& pattern) { impl().Compile(pattern); }

const std::string& RegEx::SearchPattern() const {
  static const std::string empty;
  return impl_ ? impl_->pattern : empty;
}

void RegEx::ReplacementPattern(const std::string& replacement) { impl().replacement = replacement; }

const std::string& RegEx::ReplacementPattern() const {
  static const std::string empty;
  return impl_ ? impl_->replacement : empty;
}

RegExOptions& RegEx::Options() { return impl().options; }

std::string RegEx::Replace(std::string_view target) {
  Impl& d = impl();
  d.RequirePattern();
  const std::string& replacement = d.replacement;
  const bool all = d.options.ReplaceAllMatches;
  const uint32_t groups = pcre2_get_ovector_count(d.matchData.get());

  std::string result;
  result.reserve(target.size());
  size_t copied = 0;
  MatchSpan match{0, 0};
  for (bool found = d.First(target, match); found; found = d.Next(target, match)) {
    result.append(target.substr(copied, match.start - copied));
    const PCRE2_SIZE* ov = d.Ovector();
    for (size_t i = 0; i < replacement.size(); ++i) {
      const char c = replacement[i];
      if (c == '\\' && i + 1 < replacement.size() && replacement[i + 1] >= '0' &&
          replacement[i + 1] <= '9') {
        const uint32_t group = static_cast<uint32_t>(replacement[i + 1] - '0');
        if (group < groups && ov[2 * group] != PCRE2_UNSET) {
          result.append(target.substr(ov[2 * group], ov[2 * group + 1] - ov[2 * group]));
        }
        ++i;
      } else {
        result.push_back(c);
      }
    }
    copied = match.end;
    if (!all) break;
  }
  result.append(target.substr(copied));
  return result;
}

std::shared_ptr<RegExMatch> RegEx::Search(std::string_view target) {
  Impl& d = impl();
  d.RequirePattern();
  if (!d.Find(target, 0)) return nullptr;
  const PCRE2_SIZE* ov = d.Ovector();
  const size_t start = ov[0];
  const size_t end = ov[1] < start ? start : ov[1];
  return std::make_shared<RegExMatch>(std::string(target.substr(start, end - start)),
                                      static_cast<int64_t>(start),
                                      Len(target.substr(0, start)) + 1);
}

bool RegEx::HasMatch(std::string_view target) {
  Impl& d = impl();
  d.RequirePattern();
  return d.Find(target, 0);
}

bool RegEx::FirstMatch(std::string_view target, MatchSpan& match) {
  return impl().First(target, match);
}

bool RegEx::NextMatch(std::string_view target, MatchSpan& match) {
  return impl().Next(target, match);
}

}  // namespace rt
