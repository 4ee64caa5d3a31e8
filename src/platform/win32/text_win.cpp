#include <windows.h>

#include <climits>

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

bool IsPlainAbsolutePath(std::u16string_view path) {
  if (path.find_first_of(u"*?") != std::u16string_view::npos) return false;
  const auto separator = [](char16_t c) { return c == u'\\' || c == u'/'; };
  const auto letter = [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
  };
  if (path.size() >= 3 && letter(path[0]) && path[1] == u':' && separator(path[2]))
    return true;
  // "\\server\share\...", but not the device namespace "\\.\".
  return path.size() >= 5 && separator(path[0]) && separator(path[1]) &&
         !separator(path[2]) && path[2] != u'.';
}

FileStamp StatFile(const std::u16string& path) {
  FileStamp stamp;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(reinterpret_cast<const wchar_t*>(path.c_str()),
                            GetFileExInfoStandard, &data))
    return stamp;
  stamp.exists = true;
  stamp.regular = (data.dwFileAttributes &
                   (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
  stamp.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp.modified = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
      data.ftLastWriteTime.dwLowDateTime);
  return stamp;
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

std::FILE* OpenForReading(const std::u16string& path) {
  return _wfopen(reinterpret_cast<const wchar_t*>(path.c_str()), L"rb");
}

std::u16string ModuleDirectory() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&ModuleDirectory), &module))
    return {};
  // Long paths need more than MAX_PATH; grow until the name fits.
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(
        module, reinterpret_cast<wchar_t*>(path.data()),
        static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const std::size_t cut = path.rfind(kPathSeparator);
  if (cut == std::u16string::npos) return {};
  path.resize(cut + 1);
  return path;
}

}  // namespace platform
