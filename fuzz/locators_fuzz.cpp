// Feeds arbitrary patterns and texts to both locators and aborts when a
// result could send the style scripts outside the text: a position off the
// text, unpaired or overlapping ranges, paragraph numbers out of order or past
// the last paragraph. Where the text holds neither marker, the match ranges
// must also equal what rewriting the text with markers and scanning it gives.
//
// Input: the pattern, a NUL byte, then the text. Without a NUL the whole input
// serves as both.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/locators.h"
#include "runtime/exceptions.h"
#include "runtime/regex.h"
#include "runtime/text.h"

namespace {

// The numbers of a list written "n,n,...,"; aborts on anything else.
std::vector<int64_t> ParseNumbers(std::string_view list) {
  std::vector<int64_t> numbers;
  size_t i = 0;
  while (i < list.size()) {
    int64_t n = 0;
    size_t digits = 0;
    while (i < list.size() && list[i] >= '0' && list[i] <= '9') {
      if (n > (INT64_MAX - 9) / 10) abort();
      n = n * 10 + (list[i] - '0');
      ++i;
      ++digits;
    }
    if (digits == 0 || i >= list.size() || list[i] != ',') abort();
    if (digits > 1 && list[i - digits] == '0') abort();
    ++i;
    numbers.push_back(n);
  }
  return numbers;
}

// The position list by marker rewriting and a scan of the rewritten text;
// the markers are ASCII, so comparing three bytes compares three characters,
// and the text between two markers is counted as rt::Len counts it.
std::string MarkerScan(const std::string& text, const std::string& pattern) {
  rt::RegEx re;
  re.SearchPattern(pattern);
  re.ReplacementPattern("<@>\\0</>");
  re.Options().ReplaceAllMatches = true;
  const std::string marked = re.Replace(text);
  std::string starts;
  std::string ends;
  int64_t c = 1;
  size_t p = 0;
  while (p < marked.size()) {
    const size_t open = marked.find("<@>", p);
    const size_t close = marked.find("</>", p);
    const size_t next = open < close ? open : close;
    c += rt::Len(std::string_view(marked).substr(p, next == std::string::npos ? next : next - p));
    if (next == std::string::npos) break;
    if (next == open) {
      starts += std::to_string(c) + ",";
    } else {
      ends += std::to_string(c - 1) + ",";
    }
    p = next + 3;
  }
  return starts + "<>" + ends;
}

void CheckRanges(const std::string& text, const std::string& pattern) {
  std::string list;
  try {
    list = engine::getRegPos(text, pattern);
  } catch (const rt::RegExException&) {
    return;
  }
  const size_t separator = list.find("<>");
  if (separator == std::string::npos) abort();
  const std::vector<int64_t> starts = ParseNumbers(std::string_view(list).substr(0, separator));
  const std::vector<int64_t> ends = ParseNumbers(std::string_view(list).substr(separator + 2));
  if (starts.size() != ends.size()) abort();

  const int64_t length = rt::Len(text);
  int64_t previousEnd = 0;
  for (size_t i = 0; i < starts.size(); ++i) {
    const int64_t s = starts[i];
    const int64_t e = ends[i];
    if (s < 1 || s > length + 1 || e < 0 || e > length || s > e + 1) abort();
    if (s <= previousEnd) abort();
    previousEnd = e;
  }

  if (text.find("<@>") == std::string::npos && text.find("</>") == std::string::npos) {
    std::string scanned;
    try {
      scanned = MarkerScan(text, pattern);
    } catch (const rt::RegExException&) {
      return;  // a match limit can be reached on the longer rewritten text
    }
    if (scanned != list) abort();
  }
}

void CheckParagraphs(const std::string& text, const std::string& pattern) {
  const std::string list = engine::getRegParaPos(text, pattern);
  const std::vector<int64_t> numbers = ParseNumbers(list);
  int64_t paragraphs = 1;
  for (char c : text) {
    if (c == '\r') ++paragraphs;
  }
  int64_t previous = 0;
  for (int64_t n : numbers) {
    if (n <= previous || n > paragraphs) abort();
    previous = n;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string pattern = nul == std::string::npos ? input : input.substr(0, nul);
  const std::string text = nul == std::string::npos ? input : input.substr(nul + 1);
  CheckRanges(text, pattern);
  CheckParagraphs(text, pattern);
  return 0;
}
