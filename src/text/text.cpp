#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace text {

std::u16string WidenText(std::string_view bytes) {
  std::u16string wide(bytes.size(), u'\0');
  std::transform(bytes.begin(), bytes.end(), wide.begin(), [](char c) {
    return static_cast<char16_t>(static_cast<unsigned char>(c));
  });
  return wide;
}

namespace {
template <typename View>
bool EqualsFolded(View a, View b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

template <typename Char>
std::size_t Length(const Char* s, std::size_t limit) {
  if (s == nullptr) return 0;
  std::size_t n = 0;
  while (n < limit && s[n] != Char{}) ++n;
  return n;
}

}  // namespace

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  return EqualsFolded(a, b);
}
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  return EqualsFolded(a, b);
}

std::size_t BoundedLength(const char* s, std::size_t limit) {
  return Length(s, limit);
}
std::size_t BoundedLength(const char16_t* s, std::size_t limit) {
  return Length(s, limit);
}

bool HasUnpairedSurrogate(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xDC00 && c <= 0xDFFF) return true;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return true;
      ++i;
    }
  }
  return false;
}

void CopyTruncated(std::string_view source, char* buffer, int capacity) {
  if (buffer == nullptr || capacity < 1) return;
  const std::size_t n = std::min(source.size(), static_cast<std::size_t>(capacity) - 1);
  std::copy_n(source.data(), n, buffer);
  buffer[n] = '\0';
}
void CopyTruncated(std::u16string_view source, char16_t* buffer, int capacity) {
  if (buffer == nullptr || capacity < 1) return;
  std::size_t n = std::min(source.size(), static_cast<std::size_t>(capacity) - 1);
  // A cut between the two halves of a surrogate pair would leave half a
  // character: the pair goes whole or not at all.
  if (n > 0 && n < source.size() && source[n - 1] >= 0xD800 && source[n - 1] <= 0xDBFF) --n;
  std::copy_n(source.data(), n, buffer);
  buffer[n] = u'\0';
}

}  // namespace text
