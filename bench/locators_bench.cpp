// The two locators against bare PCRE2 loops that compute the same results
// with the same options (invalid UTF-8 searched past, stray bytes counted as
// one character each), at about 4 MB and 16 MB of text with a few stray bytes
// in it. After the runs, prints each locator's time over its baseline's and
// the 16 MB time over the 4 MB time.

#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <cstdio>
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
const std::string kPricePattern = "[0-9,]+円";
const std::string kHeadingPattern = "^■";

// Japanese prose with prices, dates and headings in CR-separated paragraphs.
std::string MakeText(size_t bytes) {
  static const std::vector<std::string> words = {
      "商品", "説明", "価格", "送料", "東京", "大阪", "在庫", "発送", "です", "ます",
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
        text += value >= 1000 ? std::to_string(value / 1000) + "," + std::to_string(1000 + value % 1000).substr(1)
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
    int error = 0;
    PCRE2_SIZE offset = 0;
    code_ = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                          PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_UCP | PCRE2_CASELESS |
                              PCRE2_MULTILINE | PCRE2_NEVER_BACKSLASH_C,
                          &error, &offset, compile_);
    if (code_ == nullptr) throw std::runtime_error("pattern rejected");
    pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE);
    data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
    context_ = pcre2_match_context_create(nullptr);
    stack_ = pcre2_jit_stack_create(32 * 1024, 8 * 1024 * 1024, nullptr);
    pcre2_jit_stack_assign(context_, nullptr, stack_);
  }
  ~BarePattern() {
    pcre2_jit_stack_free(stack_);
    pcre2_match_context_free(context_);
    pcre2_match_data_free(data_);
    pcre2_code_free(code_);
    pcre2_compile_context_free(compile_);
  }
  BarePattern(const BarePattern&) = delete;
  BarePattern& operator=(const BarePattern&) = delete;

  // Through the JIT's own entry, the fastest a loop can call it.
  bool Match(std::string_view subject, size_t offset, uint32_t options) {
    const int rc = pcre2_jit_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()),
                                   subject.size(), offset, options, data_, context_);
    if (rc < 0 && rc != PCRE2_ERROR_NOMATCH) throw std::runtime_error("match failed");
    return rc >= 0;
  }
  const PCRE2_SIZE* Ovector() const { return pcre2_get_ovector_pointer(data_); }

 private:
  pcre2_compile_context* compile_ = nullptr;
  pcre2_code* code_ = nullptr;
  pcre2_match_data* data_ = nullptr;
  pcre2_match_context* context_ = nullptr;
  pcre2_jit_stack* stack_ = nullptr;
};

// Characters in text[from, to): a well-formed UTF-8 sequence is one, and so
// is every byte that is not part of one. ASCII eight bytes at a time.
int64_t CountCharacters(std::string_view text, size_t from, size_t to) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  int64_t n = 0;
  size_t i = from;
  while (i < to) {
    uint64_t word;
    if (i + 8 <= to && (std::memcpy(&word, p + i, 8), (word & 0x8080808080808080ULL) == 0)) {
      i += 8;
      n += 8;
      continue;
    }
    const unsigned c = p[i];
    size_t len = c < 0x80 ? 1 : c < 0xC2 ? 0 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : c < 0xF5 ? 4 : 0;
    if (len > 1) {
      const unsigned lo = c == 0xE0 ? 0xA0 : c == 0xF0 ? 0x90 : 0x80;
      const unsigned hi = c == 0xED ? 0x9F : c == 0xF4 ? 0x8F : 0xBF;
      if (i + len > to || p[i + 1] < lo || p[i + 1] > hi) len = 0;
      for (size_t k = 2; k < len; ++k) {
        if ((p[i + k] & 0xC0) != 0x80) len = 0;
      }
    }
    i += len == 0 ? 1 : len;
    ++n;
  }
  return n;
}

// The position list straight from a global match loop. The benchmark
// patterns cannot match empty, so no empty-match stepping is needed.
std::string BareRanges(const std::string& text, const std::string& pattern) {
  BarePattern re(pattern);
  std::string starts;
  std::string ends;
  size_t offset = 0;
  size_t counted = 0;
  int64_t before = 0;
  while (re.Match(text, offset, 0)) {
    const PCRE2_SIZE* ov = re.Ovector();
    before += CountCharacters(text, counted, ov[0]);
    AppendNumber(starts, before + 1);
    before += CountCharacters(text, ov[0], ov[1]);
    AppendNumber(ends, before);
    counted = ov[1];
    offset = ov[1];
  }
  starts.reserve(starts.size() + 2 + ends.size());
  starts += "<>";
  starts += ends;
  return starts;
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
      if (re.Match(last, 0, 0)) AppendNumber(list, number);
      break;
    }
    if (re.Match(all.substr(begin, cr + 1 - begin), 0, 0)) AppendNumber(list, number);
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

void Ranges(benchmark::State& state) {
  const std::string& text = Text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(engine::getRegPos(text, kPricePattern));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void RangesBaseline(benchmark::State& state) {
  const std::string& text = Text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(BareRanges(text, kPricePattern));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void Paragraphs(benchmark::State& state) {
  const std::string& text = Text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(engine::getRegParaPos(text, kHeadingPattern));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void ParagraphsBaseline(benchmark::State& state) {
  const std::string& text = Text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(BareParagraphs(text, kHeadingPattern));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(Ranges)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(RangesBaseline)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(Paragraphs)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ParagraphsBaseline)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

// Passes everything to the console and keeps each benchmark's time per
// iteration (in milliseconds, the unit all of them use); with repetitions,
// the median.
class RecordingReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Iteration && !medians_.count(name)) {
        milliseconds[name] = run.GetAdjustedRealTime();
      } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        milliseconds[name] = run.GetAdjustedRealTime();
        medians_.insert(name);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> milliseconds;

 private:
  std::set<std::string> medians_;
};

void PrintRatio(const RecordingReporter& r, const std::string& label, const std::string& a,
                const std::string& b) {
  auto x = r.milliseconds.find(a);
  auto y = r.milliseconds.find(b);
  if (x == r.milliseconds.end() || y == r.milliseconds.end() || y->second <= 0) return;
  std::printf("%-40s %6.2f\n", label.c_str(), x->second / y->second);
}

}  // namespace

int main(int argc, char** argv) {
  for (size_t mb : {4, 16}) {
    CheckSame(engine::getRegPos(Text(mb), kPricePattern), BareRanges(Text(mb), kPricePattern),
              "getRegPos");
    CheckSame(engine::getRegParaPos(Text(mb), kHeadingPattern),
              BareParagraphs(Text(mb), kHeadingPattern), "getRegParaPos");
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  std::printf("\nratios\n");
  for (const char* size : {"4", "16"}) {
    const std::string s(size);
    PrintRatio(reporter, "getRegPos / baseline, " + s + " MB", "Ranges/" + s,
               "RangesBaseline/" + s);
    PrintRatio(reporter, "getRegParaPos / baseline, " + s + " MB", "Paragraphs/" + s,
               "ParagraphsBaseline/" + s);
  }
  PrintRatio(reporter, "getRegPos 16 MB / 4 MB", "Ranges/16", "Ranges/4");
  PrintRatio(reporter, "getRegParaPos 16 MB / 4 MB", "Paragraphs/16", "Paragraphs/4");
  PrintRatio(reporter, "baseline ranges 16 MB / 4 MB", "RangesBaseline/16", "RangesBaseline/4");
  PrintRatio(reporter, "baseline paragraphs 16 MB / 4 MB", "ParagraphsBaseline/16",
             "ParagraphsBaseline/4");
  return 0;
}
