// Files, programs and the module's own place on POSIX.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/platform.h"

namespace platform {

bool IsPlainAbsolutePath(std::u16string_view path) {
  return !path.empty() && path.front() == u'/';
}

FileStamp StatFile(const std::u16string& path) {
  FileStamp stamp;
  struct stat info {};
  if (stat(Utf16ToUtf8(path).c_str(), &info) != 0) return stamp;
  stamp.exists = true;
  stamp.regular = S_ISREG(info.st_mode);
  stamp.size = static_cast<std::uint64_t>(info.st_size);
  const auto nanoseconds = [](const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  };
  stamp.modified = nanoseconds(info.st_mtim);
  stamp.changed = nanoseconds(info.st_ctim);
  stamp.volume = static_cast<std::uint64_t>(info.st_dev);
  stamp.file = static_cast<std::uint64_t>(info.st_ino);
  stamp.identified = true;
  return stamp;
}

std::FILE* OpenForReading(const std::u16string& path) {
  return std::fopen(Utf16ToUtf8(path).c_str(), "rb");
}

std::u16string ModuleDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModuleDirectory), &info) == 0 ||
      info.dli_fname == nullptr)
    return {};
  std::u16string path = Utf8ToUtf16(info.dli_fname);
  const std::size_t cut = path.rfind(kPathSeparator);
  if (cut == std::u16string::npos) return {};
  path.resize(cut + 1);
  return path;
}

bool IsProgramFile(const std::u16string& path) {
  const std::string bytes = Utf16ToUtf8(path);
  struct stat info {};
  return !bytes.empty() && stat(bytes.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(bytes.c_str(), X_OK) == 0;
}

std::vector<std::u16string> ProgramSearchDirectories() {
  std::vector<std::u16string> directories;
  const char* path = std::getenv("PATH");
  if (path == nullptr) return directories;
  const std::string text(path);
  std::size_t begin = 0;
  while (begin <= text.size()) {
    std::size_t end = text.find(':', begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin && text[begin] == '/') {
      std::u16string directory = Utf8ToUtf16(text.substr(begin, end - begin));
      if (directory.back() != u'/') directory += u'/';
      directories.push_back(std::move(directory));
    }
    begin = end + 1;
  }
  return directories;
}

std::vector<std::u16string> ProgramFileNames(const std::u16string& name) { return {name}; }

}  // namespace platform
