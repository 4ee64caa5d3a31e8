// Small text helpers shared by the configuration, conversion, tool and
// plugin code. Case folding is ASCII-only everywhere: "a" to "z" and
// nothing else.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Each byte becomes the UTF-16 code unit of the same value (ISO 8859-1).
std::u16string WidenText(std::string_view bytes);

constexpr char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char16_t AsciiUpper(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b);

// Length of a zero-terminated text, looking at no more than `limit` units;
// returns `limit` when no terminator was found within it.
std::size_t BoundedLength(const char* s, std::size_t limit);
std::size_t BoundedLength(const char16_t* s, std::size_t limit);

// True when `text` holds a high surrogate not followed by a low one, or a
// low surrogate not preceded by a high one: UTF-16 that names no characters.
bool HasUnpairedSurrogate(std::u16string_view text);

// Copies `source` into a host buffer of `capacity` units: at most
// capacity - 1 units and a terminating zero. Does nothing when the buffer is
// null or the capacity below 1. A wide text is never cut between the two
// halves of a surrogate pair: the pair is left out whole.
void CopyTruncated(std::string_view source, char* buffer, int capacity);
void CopyTruncated(std::u16string_view source, char16_t* buffer, int capacity);

}  // namespace text
