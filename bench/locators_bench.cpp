// The two locators against lean PCRE2 loops that compute the same results
// with the same options (JIT only, invalid UTF-8 searched past, an anchored
// compile for the search after an empty match, stray bytes counted as one
// character each), at about 4 MB and 16 MB of text with a few stray bytes in
// it, for kind patterns and for the worst a user can write: one match per
// character, and patterns that match empty almost everywhere. After the runs,
// prints each locator's time over its baseline's and the 16 MB time over the
// 4 MB time.

#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/locators.h"

namespace {

constexpr size_t kMegabyte = 1024 * 1024;
const std::vector<std::string> kPatterns = {"[0-9,]+円", "^■", ".", "\\s*", ".*"};

// Japanese prose with prices, dates and headings in CR-separated paragraphs.
std::string MakeText(size_t bytes) {
  static const std::vector<std::string> words = {
      "商品", "説明", "価格", "送料", "東京", "大阪", "在庫", "発送", "です",   "ます",
      "の",   "は",   "を",   "に",   "、",   "。",   "注文", "確認", "お客様", "本日"};
  std::mt19937 rng(4242);
  std::uniform_int_distribution<int> pick(0, static_cast<int>(words.size()) - 1);
  std::uniform_int_distribution<int> percent(0, 99);
  std::uniform_int_distribution<int> amount(1, 99999);
  std::uniform_int_distribution<int> paragraphWords(4, 40);
  std::string text;
  text.reserve(bytes + 256);
  // Texts from the host are not always valid UTF-8: now and then a stray
  // byte or a cut sequence.
  static const std::vector<std::string> strays = {"\xFF", "\x80", "\xE6\x97", "\xC0\xAF"};
  while (text.size() < bytes) {
    if (!text.empty()) text.push_back('\r');
    if (percent(rng) < 2) text += strays[static_cast<size_t>(percent(rng)) % strays.size()];
    if (percent(rng) < 15) text += "■";
    for (int n = paragraphWords(rng); n > 0; --n) {
      const int roll = percent(rng);
      if (roll < 8) {
        const int value = amount(rng);
        text += value >= 1000 ? std::to_string(value / 1000) + "," +
                                    std::to_string(1000 + value % 1000).substr(1)
                              : std::to_string(value);
        text += "円";
      } else if (roll < 12) {
        text += "2024年" + std::to_string(1 + percent(rng) % 12) + "月";
      } else {
        text += words[static_cast<size_t>(pick(rng))];
      }
    }
  }
  return text;
}

const std::string& Text(size_t megabytes) {
  static std::map<size_t, std::string> texts;
  auto it = texts.find(megabytes);
  if (it == texts.end()) it = texts.emplace(megabytes, MakeText(megabytes * kMegabyte)).first;
  return it->second;
}

void AppendNumber(std::string& list, int64_t n) {
  char buffer[24];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, n);
  (void)ec;
  list.append(buffer, end);
  list.push_back(',');
}

// The compiled pattern with JIT, in the dialect the locators use.
class BarePattern {
 public:
  explicit BarePattern(const std::string& pattern) {
    compile_ = pcre2_compile_context_create(nullptr);
    pcre2_set_newline(compile_, PCRE2_NEWLINE_ANY);
    code_ = Compile(pattern, 0);
    anchored_ = Compile(pattern, PCRE2_ANCHORED);
    data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
    context_ = pcre2_match_context_create(nullptr);
    stack_ = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr);
    pcre2_jit_stack_assign(context_, nullptr, stack_);
  }
  ~BarePattern() {
    pcre2_jit_stack_free(stack_);
    pcre2_match_context_free(context_);
    pcre2_match_data_free(data_);
    pcre2_code_free(anchored_);
    pcre2_code_free(code_);
    pcre2_compile_context_free(compile_);
  }
  BarePattern(const BarePattern&) = delete;
  BarePattern& operator=(const BarePattern&) = delete;

  // Through the JIT's own entry, the fastest a loop can call it.
  bool Match(std::string_view subject, size_t offset) { return Run(code_, subject, offset, 0); }
  // A non-empty match starting at offset.
  bool MatchNonEmptyAt(std::string_view subject, size_t offset) {
    return Run(anchored_, subject, offset, PCRE2_NOTEMPTY_ATSTART);
  }
  const PCRE2_SIZE* Ovector() const { return pcre2_get_ovector_pointer(data_); }

 private:
  pcre2_code* Compile(const std::string& pattern, uint32_t anchored) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                      PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_UCP | PCRE2_CASELESS |
                          PCRE2_MULTILINE | PCRE2_NEVER_BACKSLASH_C | anchored,
                      &error, &offset, compile_);
    if (code == nullptr) throw std::runtime_error("pattern rejected");
    if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) throw std::runtime_error("no JIT");
    return code;
  }
  bool Run(const pcre2_code* code, std::string_view subject, size_t offset, uint32_t options) {
    const int rc = pcre2_jit_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                                   subject.size(), offset, options, data_, context_);
    if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) throw std::runtime_error("match failed");
    return rc >= 0;
  }

  pcre2_compile_context* compile_ = nullptr;
  pcre2_code* code_ = nullptr;
  pcre2_code* anchored_ = nullptr;
  pcre2_match_data* data_ = nullptr;
  pcre2_match_context* context_ = nullptr;
  pcre2_jit_stack* stack_ = nullptr;
};

// Bytes of the character at i: a well-formed UTF-8 sequence, or one byte
// that is not part of one.
size_t CharacterAt(std::string_view text, size_t i) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned c = p[i];
  size_t len = c < 0x80 ? 1 : c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
  if (len > 1) {
    const unsigned lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
    const unsigned hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
    if (i + len > text.size() || p[i + 1] < lo || p[i + 1] > hi) len = 0;
    for (size_t k = 2; k < len; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) len = 0;
    }
  }
  return len == 0 ? 1 : len;
}

// Characters in text[from, to), both between characters: a well-formed
// sequence is one, and so is every byte that is not part of one. ASCII eight
// bytes at a time.
int64_t CountCharacters(std::string_view text, size_t from, size_t to) {
  int64_t n = 0;
  size_t i = from;
  while (i < to) {
    uint64_t word;
    if (i + 8 <= to &&
        (std::memcpy(&word, text.data() + i, 8), (word & 0x8080808080808080ULL) == 0)) {
      i += 8;
      n += 8;
      continue;
    }
    i += CharacterAt(text, i);
    ++n;
  }
  return n;
}

bool IsStray(std::string_view text, size_t i) {
  return static_cast<unsigned char>(text[i]) >= 0x80 && CharacterAt(text, i) == 1;
}

// The position list straight from a global match loop: after an empty match,
// a non-empty one at the same place, else one character on (CR LF as one);
// no match at a stray byte.
std::string BareRanges(const std::string& text, const std::string& pattern) {
  BarePattern re(pattern);
  std::string starts;
  std::string ends;
  size_t counted = 0;
  int64_t before = 0;
  bool found = re.Match(text, 0);
  while (found) {
    const PCRE2_SIZE* ov = re.Ovector();
    const size_t start = ov[0];
    const size_t end = ov[1];
    if (start == end && start < text.size() && IsStray(text, start)) {
      found = re.Match(text, start + 1);
      continue;
    }
    before += CountCharacters(text, counted, start);
    AppendNumber(starts, before + 1);
    before += CountCharacters(text, start, end);
    AppendNumber(ends, before);
    counted = end;
    size_t offset = end;
    if (start == end) {
      if (end == text.size()) break;
      if (re.MatchNonEmptyAt(text, end)) continue;
      offset += text.compare(end, 2, "\r\n") == 0 ? 2 : CharacterAt(text, end);
    }
    found = re.Match(text, offset);
  }
  starts.reserve(starts.size() + 2 + ends.size());
  starts += "<>";
  starts += ends;
  return starts;
}

// Whether the paragraph holds a match that does not start at a stray byte.
bool HasMatch(BarePattern& re, std::string_view paragraph) {
  size_t offset = 0;
  while (re.Match(paragraph, offset)) {
    const size_t at = re.Ovector()[0];
    if (re.Ovector()[1] != at || at == paragraph.size() || !IsStray(paragraph, at)) return true;
    offset = at + 1;
  }
  return false;
}

// The paragraph list from one match attempt per paragraph with its CR.
std::string BareParagraphs(const std::string& text, const std::string& pattern) {
  BarePattern re(pattern);
  std::string list;
  const std::string_view all(text);
  size_t begin = 0;
  for (int64_t number = 1;; ++number) {
    const size_t cr = all.find('\r', begin);
    if (cr == std::string_view::npos) {
      const std::string last = std::string(all.substr(begin)) + "\r";
      if (HasMatch(re, last)) AppendNumber(list, number);
      break;
    }
    if (HasMatch(re, all.substr(begin, cr + 1 - begin))) AppendNumber(list, number);
    begin = cr + 1;
  }
  return list;
}

void CheckSame(const std::string& a, const std::string& b, const char* what) {
  if (a != b) {
    std::fprintf(stderr, "%s: locator and baseline disagree\n", what);
    std::exit(1);
  }
}

// Arguments: the pattern's index in kPatterns, the text's size in MB.
template <std::string (*Locate)(const std::string&, const std::string&)>
void Locator(benchmark::State& state) {
  const std::string& pattern = kPatterns[static_cast<size_t>(state.range(0))];
  const std::string& text = Text(static_cast<size_t>(state.range(1)));
  for (auto _ : state) benchmark::DoNotOptimize(Locate(text, pattern));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Ranges(benchmark::State& state) { Locator<engine::getRegPos>(state); }
void RangesBaseline(benchmark::State& state) { Locator<BareRanges>(state); }
void Paragraphs(benchmark::State& state) { Locator<engine::getRegParaPos>(state); }
void ParagraphsBaseline(benchmark::State& state) { Locator<BareParagraphs>(state); }

// Each locator right after its baseline, so that both see the same load.
BENCHMARK(RangesBaseline)->ArgsProduct({{0, 1, 2, 3, 4}, {4, 16}})->Unit(benchmark::kMillisecond);
BENCHMARK(Ranges)->ArgsProduct({{0, 1, 2, 3, 4}, {4, 16}})->Unit(benchmark::kMillisecond);
BENCHMARK(ParagraphsBaseline)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {4, 16}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Paragraphs)->ArgsProduct({{0, 1, 2, 3, 4}, {4, 16}})->Unit(benchmark::kMillisecond);

// Passes everything to the console and keeps each benchmark's CPU time per
// iteration (in milliseconds, the unit all of them use; the locators run on
// one thread, and CPU time does not count the time other programs on the
// machine take from them); with repetitions, the median.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Iteration && !medians_.count(name)) {
        milliseconds[name] = run.GetAdjustedCPUTime();
      } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        milliseconds[name] = run.GetAdjustedCPUTime();
        medians_.insert(name);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> milliseconds;

 private:
  std::set<std::string> medians_;
};

// a's time over b's; NaN when either did not run.
double Ratio(const RecordingReporter& r, const std::string& a, const std::string& b) {
  auto x = r.milliseconds.find(a);
  auto y = r.milliseconds.find(b);
  if (x == r.milliseconds.end() || y == r.milliseconds.end() || y->second <= 0) return NAN;
  return x->second / y->second;
}

}  // namespace

int main(int argc, char** argv) {
  for (size_t mb : {4, 16}) {
    for (const std::string& pattern : kPatterns) {
      CheckSame(engine::getRegPos(Text(mb), pattern), BareRanges(Text(mb), pattern),
                ("getRegPos " + pattern).c_str());
      CheckSame(engine::getRegParaPos(Text(mb), pattern), BareParagraphs(Text(mb), pattern),
                ("getRegParaPos " + pattern).c_str());
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\n%-14s %-10s %8s %8s %8s %8s\n", "ratio", "pattern", "4 MB", "16 MB", "16/4",
              "base 16/4");
  for (const char* locator : {"Ranges", "Paragraphs"}) {
    for (size_t i = 0; i < kPatterns.size(); ++i) {
      const std::string l(locator);
      const std::string b = l + "Baseline";
      const std::string a4 = "/" + std::to_string(i) + "/4";
      const std::string a16 = "/" + std::to_string(i) + "/16";
      std::printf("%-14s %-10s %8.2f %8.2f %8.2f %8.2f\n",
                  l == "Ranges" ? "getRegPos" : "getRegParaPos", kPatterns[i].c_str(),
                  Ratio(reporter, l + a4, b + a4), Ratio(reporter, l + a16, b + a16),
                  Ratio(reporter, l + a16, l + a4), Ratio(reporter, b + a16, b + a4));
    }
  }
  return 0;
}
