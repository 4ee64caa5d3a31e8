// UTF-8 and UTF-16, and the narrow text a host may pass, on Windows.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/platform.h"

namespace platform {

namespace {
std::u16string ToWide(UINT codePage, std::string_view text) {
  const std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  if (text.empty() || text.size() > INT_MAX) return {};
  const int n = MultiByteToWideChar(codePage, 0, text.data(),
                                    static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                      reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}
}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) { return ToWide(CP_UTF8, text); }

std::optional<std::u16string> SystemCodePageToUtf16(std::string_view text) {
  if (text.empty()) return std::u16string();
  if (text.size() > INT_MAX || text.find('\0') != std::string_view::npos)
    return std::nullopt;
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                    static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                          static_cast<int>(text.size()),
                          reinterpret_cast<wchar_t*>(out.data()), n) != n)
    return std::nullopt;
  return out;
}

namespace {
std::string ToCodePage(std::u16string_view text) {
  if (text.empty() || text.size() > INT_MAX / 4) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  // No best-fit look-alikes: a character the code page lacks is "?".
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, nullptr, 0,
                                    "?", nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, out.data(), n, "?", nullptr);
  return out;
}
}  // namespace

std::string HostFieldText(std::string_view text) {
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  // An ANSI code page that is UTF-8 takes the text as it is.
  if (ascii || text.size() > INT_MAX / 2 || GetACP() == CP_UTF8) return std::string(text);
  const int length = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length,
                                    nullptr, 0);
  if (n <= 0) return std::string(text);
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length,
                          reinterpret_cast<wchar_t*>(wide.data()), n) != n)
    return std::string(text);
  std::string converted = ToCodePage(wide);
  return converted.empty() ? std::string(text) : converted;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  if (text.empty() || text.size() > INT_MAX / 4) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), n, nullptr, nullptr);
  return out;
}


std::string Utf16ToSystemCodePage(std::u16string_view text, std::size_t maxBytes) {
  std::string narrow = ToCodePage(text);
  if (narrow.size() <= maxBytes) return narrow;
  // Too long: character by character (a surrogate pair is one), as far as
  // whole characters fit; a code page may take one or two bytes for each.
  narrow.clear();
  for (std::size_t i = 0; i < text.size();) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    const std::size_t units = pair ? 2 : 1;
    const std::string one = ToCodePage(text.substr(i, units));
    if (narrow.size() + one.size() > maxBytes) break;
    narrow += one;
    i += units;
  }
  return narrow;
}

}  // namespace platform
