// The two locators against bare PCRE2 loops that compute the same results,
// at about 4 MB and 16 MB of text. After the runs, prints each locator's time
// over its baseline's and the 16 MB time over the 4 MB time.

#define PCRE2_CODE_UNIT_WIDTH 8
#include <benchmark/benchmark.h>
#include <pcre2.h>

#include <bit>
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
  while (text.size() < bytes) {
    if (!text.empty()) text.push_back('\r');
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
                          PCRE2_UTF | PCRE2_UCP | PCRE2_CASELESS | PCRE2_MULTILINE, &error,
                          &offset, compile_);
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

  bool Match(std::string_view subject, size_t offset, uint32_t options) {
    const int rc = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(subject.data()),
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

// Code points in text[from, to), eight bytes at a time.
int64_t CountCharacters(std::string_view text, size_t from, size_t to) {
  int64_t continuations = 0;
  size_t i = from;
  for (; i + 8 <= to; i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    continuations += std::popcount(word & ~(word << 1) & 0x8080808080808080ULL);
  }
  for (; i < to; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++continuations;
  }
  return static_cast<int64_t>(to - from) - continuations;
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
  uint32_t options = 0;
  while (re.Match(text, offset, options)) {
    const PCRE2_SIZE* ov = re.Ovector();
    before += CountCharacters(text, counted, ov[0]);
    AppendNumber(starts, before + 1);
    before += CountCharacters(text, ov[0], ov[1]);
    AppendNumber(ends, before);
    counted = ov[1];
    offset = ov[1];
    options = PCRE2_NO_UTF_CHECK;
  }
  starts.reserve(starts.size() + 2 + ends.size());
  starts += "<>";
  starts += ends;
  return starts;
}

// The paragraph list from one match attempt per paragraph with its CR. With
// `validate`, the text's UTF-8 is checked once up front, as any loop that must
// reject a bad text has to; without it only the first paragraph is checked,
// which shows what the check itself costs.
std::string BareParagraphs(const std::string& text, const std::string& pattern,
                           bool validate = true) {
  BarePattern re(pattern);
  // An anchored attempt over the whole text: PCRE2 checks all of it first.
  if (validate) re.Match(text, 0, PCRE2_ANCHORED);
  std::string list;
  const std::string_view all(text);
  size_t begin = 0;
  for (int64_t number = 1;; ++number) {
    const size_t cr = all.find('\r', begin);
    if (cr == std::string_view::npos) {
      const std::string last = std::string(all.substr(begin)) + "\r";
      if (re.Match(last, 0, PCRE2_NO_UTF_CHECK)) AppendNumber(list, number);
      break;
    }
    const uint32_t options = number == 1 && !validate ? 0 : PCRE2_NO_UTF_CHECK;
    if (re.Match(all.substr(begin, cr + 1 - begin), 0, options)) AppendNumber(list, number);
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

void ParagraphsUncheckedLoop(benchmark::State& state) {
  const std::string& text = Text(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(BareParagraphs(text, kHeadingPattern, false));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK(Ranges)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(RangesBaseline)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(Paragraphs)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ParagraphsBaseline)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
BENCHMARK(ParagraphsUncheckedLoop)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);

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
    PrintRatio(reporter, "getRegParaPos / unchecked loop, " + s + " MB", "Paragraphs/" + s,
               "ParagraphsUncheckedLoop/" + s);
  }
  PrintRatio(reporter, "getRegPos 16 MB / 4 MB", "Ranges/16", "Ranges/4");
  PrintRatio(reporter, "getRegParaPos 16 MB / 4 MB", "Paragraphs/16", "Paragraphs/4");
  PrintRatio(reporter, "baseline ranges 16 MB / 4 MB", "RangesBaseline/16", "RangesBaseline/4");
  PrintRatio(reporter, "baseline paragraphs 16 MB / 4 MB", "ParagraphsBaseline/16",
             "ParagraphsBaseline/4");
  return 0;
}
