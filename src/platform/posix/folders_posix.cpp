// Folder listings, network drives and the module's threads on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <atomic>
#include <string_view>
#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace platform {

namespace {

bool NetworkFileSystem(const char* path) {
  struct statfs info {};
  if (statfs(path, &info) != 0) return false;
  switch (static_cast<unsigned long>(info.f_type) & 0xffffffffUL) {
    case 0x6969UL:      // NFS
    case 0x517BUL:      // SMB
    case 0xFF534D42UL:  // CIFS
    case 0xFE534D42UL:  // SMB2
    case 0x65735546UL:  // FUSE (sshfs and the like)
      return true;
    default:
      return false;
  }
}

}  // namespace

bool ListFolderFiles(const std::u16string& folder, std::size_t limit,
                     std::vector<std::u16string>& names,
                     std::vector<std::u16string>* folders) {
  names.clear();
  if (folders != nullptr) folders->clear();
  const std::string path = Utf16ToUtf8(folder);
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return false;
  while (names.size() < limit) {
    const dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    bool regular = entry->d_type == DT_REG;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
      struct stat info {};
      bool link = entry->d_type == DT_LNK;
      if (!link && fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
        link = S_ISLNK(info.st_mode);
        isFolder = S_ISDIR(info.st_mode);
      }
      regular = fstatat(dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
      // A link is read where its file lies.
      if (regular && link) regular = !NetworkFileSystem((path + entry->d_name).c_str());
    }
    if (regular) names.push_back(Utf8ToUtf16(entry->d_name));
    const std::string_view name = entry->d_name;
    if (isFolder && folders != nullptr && folders->size() < limit && name != "." && name != "..")
      folders->push_back(Utf8ToUtf16(entry->d_name));
  }
  closedir(dir);
  return true;
}

bool OnNetworkDrive(const std::u16string& folder) {
  return NetworkFileSystem(Utf16ToUtf8(folder).c_str());
}

bool FileOnNetworkDrive(const std::u16string& name) {
  // statfs follows links.
  struct stat info {};
  if (stat(Utf16ToUtf8(name).c_str(), &info) == 0) return OnNetworkDrive(name);
  return OnNetworkDrive(name.substr(0, name.find_last_of(u'/') + 1));
}

void Mutex::lock() { mutex_.lock(); }
void Mutex::unlock() { mutex_.unlock(); }

void Condition::WaitFor(std::unique_lock<Mutex>& lock, int timeoutMs) {
  std::unique_lock<std::mutex> inner(lock.mutex()->mutex_, std::adopt_lock);
  condition_.wait_for(inner, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs));
  inner.release();
}

void Condition::NotifyAll() { condition_.notify_all(); }

struct Worker::Impl {
  std::thread thread;
  std::atomic<bool> finished{false};
};

Worker::Worker() = default;
Worker::~Worker() { Join(); }

bool Worker::Start(void (*run)(void*), void* argument) {
  Join();
  impl_ = std::make_unique<Impl>();
  Impl* impl = impl_.get();
  try {
    impl->thread = std::thread([impl, run, argument] {
      run(argument);
      impl->finished = true;
    });
  } catch (...) {
    impl_.reset();
    return false;
  }
  return true;
}

bool Worker::Finished() const { return !impl_ || impl_->finished.load(); }

void Worker::Join(int) {
  if (!impl_) return;
  if (impl_->thread.joinable()) impl_->thread.join();
  impl_.reset();
}

}  // namespace platform
