#include "runtime/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>

#include "runtime/exceptions.h"

#if !defined(__cpp_lib_to_chars)
#include <clocale>
#if defined(__APPLE__)
#include <xlocale.h>
#endif
#endif

namespace rt {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Byte length of the character that starts at byte i: the length of a
// well-formed UTF-8 sequence (no overlong forms, no surrogates, at most
// U+10FFFF), or 1 for a byte that does not start one.
size_t CharLength(std::string_view s, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = at(i);
  if (c < 0x80) return 1;
  const size_t left = s.size() - i;
  unsigned char lo = 0x80, hi = 0xBF;
  size_t len = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 1;
  }
  if (left < len) return 1;
  if (at(i + 1) < lo || at(i + 1) > hi) return 1;
  for (size_t k = 2; k < len; ++k) {
    if (!IsContinuation(at(i + k))) return 1;
  }
  return len;
}

// Whether byte offset i lies between two characters. Only a continuation byte
// can lie inside a character, and then only inside one that starts at most
// three bytes earlier, so looking back that far decides it.
bool IsBoundary(std::string_view s, size_t i) {
  if (i == 0 || i >= s.size()) return true;
  if (!IsContinuation(static_cast<unsigned char>(s[i]))) return true;
  for (size_t k = 1; k <= 3 && k <= i; ++k) {
    if (IsContinuation(static_cast<unsigned char>(s[i - k]))) continue;
    return CharLength(s, i - k) <= k;
  }
  return true;
}

// Byte offset after skipping `count` characters from byte `from`; the end of
// s when it has fewer.
size_t SkipChars(std::string_view s, size_t from, int64_t count) {
  size_t i = from;
  while (count > 0 && i < s.size()) {
    i += CharLength(s, i);
    --count;
  }
  return i;
}

// Byte offset of the next occurrence of `find` at or after byte `from` that
// starts and ends between characters; npos when there is none.
size_t FindAtBoundaries(std::string_view s, std::string_view find, size_t from) {
  while (from <= s.size()) {
    const size_t hit = s.find(find, from);
    if (hit == std::string_view::npos) return hit;
    if (IsBoundary(s, hit) && IsBoundary(s, hit + find.size())) return hit;
    from = hit + 1;
  }
  return std::string_view::npos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

double ParseDecimal(const std::string& text) {
#if defined(__cpp_lib_to_chars)
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) return std::nan("");
  return value;
#else
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", nullptr);
  return strtod_l(text.c_str(), nullptr, c_locale);
#endif
}

}  // namespace

int64_t Len(std::string_view s) {
  // Texts run to megabytes and are counted between every two matches, so
  // runs of ASCII go eight bytes at a time; everything else is decoded one
  // character at a time, which is what keeps stray bytes exact.
  const size_t size = s.size();
  int64_t n = 0;
  size_t i = 0;
  while (i < size) {
    if (i + 8 <= size) {
      uint64_t word;
      std::memcpy(&word, s.data() + i, sizeof word);
      if ((word & 0x8080808080808080ULL) == 0) {
        i += 8;
        n += 8;
        continue;
      }
    }
    i += CharLength(s, i);
    ++n;
  }
  return n;
}

size_t CharacterBytes(std::string_view s, size_t i) { return i < s.size() ? CharLength(s, i) : 0; }

std::string Left(std::string_view s, int64_t n) {
  if (n <= 0) return {};
  return std::string(s.substr(0, SkipChars(s, 0, n)));
}

std::string Right(std::string_view s, int64_t n) {
  if (n <= 0) return {};
  const int64_t len = Len(s);
  if (n >= len) return std::string(s);
  return std::string(s.substr(SkipChars(s, 0, len - n)));
}

std::string Mid(std::string_view s, int64_t start) {
  const size_t from = SkipChars(s, 0, std::max<int64_t>(start, 1) - 1);
  return std::string(s.substr(from));
}

std::string Mid(std::string_view s, int64_t start, int64_t n) {
  if (n <= 0) return {};
  const size_t from = SkipChars(s, 0, std::max<int64_t>(start, 1) - 1);
  const size_t to = SkipChars(s, from, n);
  return std::string(s.substr(from, to - from));
}

int64_t InStr(int64_t start, std::string_view s, std::string_view find) {
  if (find.empty()) return 0;
  int64_t position = std::max<int64_t>(start, 1);
  size_t cursor = SkipChars(s, 0, position - 1);
  if (cursor >= s.size()) return 0;
  const size_t hit = FindAtBoundaries(s, find, cursor);
  if (hit == std::string_view::npos) return 0;
  while (cursor < hit) {
    cursor += CharLength(s, cursor);
    ++position;
  }
  return position;
}

int64_t InStr(std::string_view s, std::string_view find) { return InStr(1, s, find); }

std::string NthField(std::string_view s, std::string_view sep, int64_t n) {
  if (n < 1) return {};
  if (sep.empty()) return n == 1 ? std::string(s) : std::string();
  size_t from = 0;
  for (int64_t field = 1;; ++field) {
    const size_t hit = FindAtBoundaries(s, sep, from);
    if (field == n) {
      return std::string(s.substr(from, hit == std::string_view::npos ? s.npos : hit - from));
    }
    if (hit == std::string_view::npos) return {};
    from = hit + sep.size();
  }
}

std::vector<std::string> Split(std::string_view s, std::string_view sep) {
  std::vector<std::string> fields;
  if (sep.empty()) {
    fields.emplace_back(s);
    return fields;
  }
  size_t from = 0;
  for (;;) {
    const size_t hit = FindAtBoundaries(s, sep, from);
    if (hit == std::string_view::npos) {
      fields.emplace_back(s.substr(from));
      return fields;
    }
    fields.emplace_back(s.substr(from, hit - from));
    from = hit + sep.size();
  }
}

std::string Str(int64_t n, std::string_view format) {
  if (!format.empty()) {
    throw RuntimeException("Str: unsupported format \"" + std::string(format) + "\"");
  }
  char buf[24];
  const auto result = std::to_chars(buf, buf + sizeof buf, n);
  return std::string(buf, result.ptr);
}

double Val(std::string_view s, size_t* length) {
  if (length != nullptr) *length = 0;
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  const double sign = negative ? -1.0 : 1.0;

  // The significant digits (leading zeros dropped) and the power of ten of
  // the first of them, so a huge or tiny value is decided without handing
  // megabytes of digits to the conversion.
  std::string digits;
  bool anyDigit = false;
  bool truncated = false;  // a nonzero digit past the ones kept
  int64_t pointExponent = 0;  // digits before the point, counted from the first significant one
  // Far more digits than a double can need to round correctly.
  constexpr size_t kMaxDigits = 800;
  const auto takeDigit = [&](char c, bool beforePoint) {
    anyDigit = true;
    if (digits.empty() && c == '0') {
      if (!beforePoint) --pointExponent;
      return;
    }
    if (beforePoint) ++pointExponent;
    if (digits.size() < kMaxDigits) {
      digits.push_back(c);
    } else if (c != '0') {
      truncated = true;
    }
  };
  for (; i < s.size() && IsDigit(s[i]); ++i) takeDigit(s[i], true);
  if (i < s.size() && s[i] == '.') {
    ++i;
    for (; i < s.size() && IsDigit(s[i]); ++i) takeDigit(s[i], false);
  }
  if (!anyDigit) return 0.0;

  int64_t exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    bool expNegative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
      expNegative = s[j] == '-';
      ++j;
    }
    if (j < s.size() && IsDigit(s[j])) {
      // Saturates far beyond any double's range while staying clear of overflow.
      constexpr int64_t kExponentCap = int64_t{1} << 40;
      for (; j < s.size() && IsDigit(s[j]); ++j) {
        exponent = std::min(exponent * 10 + (s[j] - '0'), kExponentCap);
      }
      if (expNegative) exponent = -exponent;
      i = j;
    }
  }
  if (length != nullptr) *length = i;

  if (digits.empty()) return sign * 0.0;
  // The value is 0.d1d2d3... times ten to this power.
  const int64_t magnitude = pointExponent + exponent;
  if (magnitude > 400) return sign * std::numeric_limits<double>::infinity();
  if (magnitude < -400) return sign * 0.0;
  if (truncated) digits.push_back('1');
  std::string text = "0." + digits + "e" + std::to_string(magnitude);
  double value = ParseDecimal(text);
  if (std::isnan(value)) {
    value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return sign * value;
}

int64_t TruncateToInt64(double v) {
  if (std::isnan(v)) return 0;
  // 2^63 is exact as a double; every double below it in magnitude converts.
  constexpr double kLimit = 9223372036854775808.0;
  if (v >= kLimit) return std::numeric_limits<int64_t>::max();
  if (v <= -kLimit) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(v);
}

std::string Chr(uint32_t code) {
  std::string out;
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    if (code >= 0xD800 && code <= 0xDFFF) return {};
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code <= 0x10FFFF) {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
  return out;
}

bool TextEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace rt
