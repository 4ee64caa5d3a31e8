// Files, programs and the module's own place on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

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

namespace {

std::uint64_t Join(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Size, time and kind from the directory entry alone, for a file that
// cannot be opened even to read its attributes.
FileStamp StampFromAttributes(const std::u16string& path) {
  FileStamp stamp;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(reinterpret_cast<const wchar_t*>(path.c_str()),
                            GetFileExInfoStandard, &data))
    return stamp;
  stamp.exists = true;
  stamp.regular = (data.dwFileAttributes &
                   (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
  stamp.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
  stamp.modified = static_cast<std::int64_t>(
      Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime));
  return stamp;
}

}  // namespace

FileStamp StatFile(const std::u16string& path) {
  // Opened for its attributes only, sharing everything: no other program
  // is kept from reading, writing, renaming or deleting it meanwhile.
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()),
                            FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return StampFromAttributes(path);
  FileStamp stamp;
  stamp.exists = true;
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  if (GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
      GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    stamp.regular =
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    stamp.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    stamp.modified = static_cast<std::int64_t>(
        Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime));
    stamp.changed = basic.ChangeTime.QuadPart;
    stamp.volume = info.dwVolumeSerialNumber;
    stamp.file = Join(info.nFileIndexHigh, info.nFileIndexLow);
    stamp.identified = true;
  }
  // Anything else that opens (a console, a pipe, a device) is no file.
  CloseHandle(file);
  return stamp;
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

bool IsProgramFile(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
  return !path.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::vector<std::u16string> ProgramSearchDirectories() {
  std::vector<std::u16string> directories;
  const DWORD needed = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (needed == 0) return directories;
  std::u16string text(needed, u'\0');
  const DWORD length = GetEnvironmentVariableW(
      L"PATH", reinterpret_cast<wchar_t*>(text.data()), needed);
  if (length == 0 || length >= needed) return directories;
  text.resize(length);
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find(u';', begin);
    if (end == std::u16string::npos) end = text.size();
    std::u16string directory = text.substr(begin, end - begin);
    // Entries may be quoted; relative ones would mean the current directory.
    if (directory.size() >= 2 && directory.front() == u'"' && directory.back() == u'"')
      directory = directory.substr(1, directory.size() - 2);
    if (IsPlainAbsolutePath(directory)) {
      if (directory.back() != u'\\' && directory.back() != u'/') directory += u'\\';
      directories.push_back(std::move(directory));
    }
    begin = end + 1;
  }
  return directories;
}

std::vector<std::u16string> ProgramFileNames(const std::u16string& name) {
  // Only a program file can be started: a Perl script kept as "exiftool"
  // beside "exiftool.exe" is no candidate.
  const std::size_t file = name.find_last_of(u"\\/");
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string::npos || (file != std::u16string::npos && dot < file))
    return {name + u".exe"};
  std::u16string extension = name.substr(dot);
  for (char16_t& c : extension)
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  if (extension == u".exe") return {name};
  return {};
}

}  // namespace platform
