// Folder listings, network drives and the module's threads on Windows.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace platform {

namespace {

const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

}  // namespace

bool ListFolderFiles(const std::u16string& folder, std::size_t limit,
                     std::vector<std::u16string>& names,
                     std::vector<std::u16string>* folders) {
  names.clear();
  if (folders != nullptr) folders->clear();
  const std::u16string pattern = folder + u"*";
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileExW(Wide(pattern), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    std::u16string name(reinterpret_cast<const char16_t*>(found.cFileName));
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (folders != nullptr && folders->size() < limit && name != u"." && name != u".." &&
          (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        folders->push_back(std::move(name));
      continue;
    }
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) continue;
    // A link is read where its file lies.
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        FileOnNetworkDrive(folder + name))
      continue;
    names.push_back(std::move(name));
  } while (names.size() < limit && FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

bool OnNetworkDrive(const std::u16string& folder) {
  // The root of the folder's drive or share: "C:\" or "\\server\share\".
  std::u16string root;
  if (folder.size() >= 3 && folder[1] == u':') {
    root = folder.substr(0, 2) + u"\\";
  } else if (folder.size() >= 2 && (folder[0] == u'\\' || folder[0] == u'/') &&
             (folder[1] == u'\\' || folder[1] == u'/')) {
    return true;  // a share is on the network whatever serves it
  } else {
    return false;
  }
  return GetDriveTypeW(Wide(root)) == DRIVE_REMOTE;
}

bool FileOnNetworkDrive(const std::u16string& name) {
  if (OnNetworkDrive(name)) return true;
  const DWORD attributes = GetFileAttributesW(Wide(name));
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    return false;
  // Opened for its attributes only, through the link, to learn where the
  // file really is; a link that leads nowhere is not read.
  const HANDLE file =
      CreateFileW(Wide(name), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return true;
  std::u16string path(32768, u'\0');
  const DWORD length = GetFinalPathNameByHandleW(
      file, reinterpret_cast<wchar_t*>(&path[0]), static_cast<DWORD>(path.size()),
      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(file);
  if (length == 0 || length >= path.size()) return true;
  path.resize(length);
  // "\\?\UNC\server\share\..." or "\\?\C:\...".
  if (path.rfind(u"\\\\?\\", 0) == 0) path.erase(0, 4);
  if (path.rfind(u"UNC\\", 0) == 0) return true;
  return OnNetworkDrive(path);
}

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "system locks kept in a pointer's place");

void Mutex::lock() { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&lock_)); }
void Mutex::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&lock_)); }

void Condition::WaitFor(std::unique_lock<Mutex>& lock, int timeoutMs) {
  SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&condition_),
                            reinterpret_cast<SRWLOCK*>(&lock.mutex()->lock_),
                            static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs), 0);
}

void Condition::NotifyAll() {
  WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&condition_));
}

struct Worker::Impl {
  HANDLE thread = nullptr;
  std::atomic<bool> finished{false};
};

namespace {

struct Launch {
  void (*run)(void*);
  void* argument;
  Worker::Impl* impl;
  HMODULE module;
};

DWORD WINAPI WorkerMain(void* parameter) {
  Launch* launch = static_cast<Launch*>(parameter);
  const HMODULE module = launch->module;
  launch->run(launch->argument);
  Worker::Impl* impl = launch->impl;
  delete launch;
  // From here on the worker may be joined and gone; the module stays loaded
  // until the reference is given back, together with the thread.
  impl->finished = true;
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

Worker::Worker() = default;
Worker::~Worker() { Join(); }

bool Worker::Start(void (*run)(void*), void* argument) {
  Join();
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&WorkerMain), &module))
    return false;
  impl_ = std::make_unique<Impl>();
  Launch* launch = new Launch{run, argument, impl_.get(), module};
  impl_->thread = CreateThread(nullptr, 0, WorkerMain, launch, 0, nullptr);
  if (impl_->thread == nullptr) {
    delete launch;
    impl_.reset();
    FreeLibrary(module);
    return false;
  }
  return true;
}

bool Worker::Finished() const { return !impl_ || impl_->finished.load(); }

void Worker::Join(int exitWaitMs) {
  if (!impl_) return;
  // A finished worker is waited for only when the caller says so: it may
  // be the one whose exit is unloading the module, or wait for the loader
  // that unloads it.
  WaitForSingleObject(impl_->thread, !impl_->finished.load() ? INFINITE
                                     : static_cast<DWORD>(exitWaitMs < 0 ? 0 : exitWaitMs));
  CloseHandle(impl_->thread);
  impl_.reset();
}

}  // namespace platform
