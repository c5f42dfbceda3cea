#pragma once

// Text functions over UTF-8 std::string. They count characters as Unicode code
// points and number positions from 1. A byte that is not part of a valid UTF-8
// sequence counts as one character of its own. No function reads outside its
// arguments or throws for an out-of-range position or count: it clamps or
// gives the empty string.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// Number of characters.
int64_t Len(std::string_view s);

// Bytes taken by the character that starts at byte i of s: the length of a
// well-formed UTF-8 sequence, or 1 for a byte that does not start one; 0 when
// i is not inside s. Len counts characters by exactly this rule.
size_t CharacterBytes(std::string_view s, size_t i);

// First n characters; n <= 0 gives "", n past the end gives all of s.
std::string Left(std::string_view s, int64_t n);
// Last n characters; n <= 0 gives "", n past the end gives all of s.
std::string Right(std::string_view s, int64_t n);
// From character `start` to the end; start < 1 counts as 1.
std::string Mid(std::string_view s, int64_t start);
// At most n characters from `start`; start < 1 counts as 1, n <= 0 gives "".
std::string Mid(std::string_view s, int64_t start, int64_t n);

// Character position of the first `find` in s at or after `start` (0 or 1:
// the whole of s); 0 when absent or when `find` is empty. Exact comparison.
int64_t InStr(int64_t start, std::string_view s, std::string_view find);
int64_t InStr(std::string_view s, std::string_view find);

// Field n (from 1) of s cut at every `sep` (exact comparison); "" past the
// last field or for n < 1. An empty `sep` leaves s as its only field.
std::string NthField(std::string_view s, std::string_view sep, int64_t n);
// All fields of s cut at every `sep`; always at least one ("" gives {""}).
std::vector<std::string> Split(std::string_view s, std::string_view sep);

// An integer as plain decimal: digits, a minus sign before a negative value.
// Only the empty format is supported; it is what the program uses.
std::string Str(int64_t n, std::string_view format = "");

// Leading spaces, an optional sign, digits, an optional fraction and exponent,
// read up to the first character that cannot continue the number; 0 when the
// text starts with no number. Out-of-range values give +-infinity or 0 as the
// nearest double does. Independent of the process locale. `length`, when
// given, receives how many bytes the number took, the blanks before it
// included: 0 when the text starts with no number.
double Val(std::string_view s, size_t* length = nullptr);

// Truncates toward zero to a 64-bit integer, clamped to the type's range;
// a value that is not a number gives 0.
int64_t TruncateToInt64(double v);

// The character with this code point as UTF-8; an invalid code gives "".
std::string Chr(uint32_t code);

// The runtime's string comparison: equal when the texts differ at most in the
// letter case of ASCII letters.
bool TextEquals(std::string_view a, std::string_view b);

}  // namespace rt
