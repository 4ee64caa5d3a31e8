// The thin operating-system layer. Everything above it is portable; each
// operating system supplies one implementation of these functions
// (platform/win32 and platform/posix).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#ifndef _WIN32
#include <condition_variable>
#endif
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
// Every character that separates the parts of a path.
inline constexpr char16_t kPathSeparators[] = u"\\/";
// Exiftool on Windows ends its lines with CR LF, on POSIX with LF.
inline constexpr std::size_t kToolLineEndLength = 2;
#else
inline constexpr char16_t kPathSeparator = u'/';
inline constexpr char16_t kPathSeparators[] = u"/";
inline constexpr std::size_t kToolLineEndLength = 1;
#endif

// Full directory of the module that holds this code, ending with its path
// separator; empty when it cannot be found.
std::u16string ModuleDirectory();

// UTF-8 to UTF-16. Invalid sequences become U+FFFD. Stops at a zero byte.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
// A text in the system's narrow code page (Windows: CP_ACP; POSIX: UTF-8)
// to UTF-16; none when any byte sequence does not convert exactly.
std::optional<std::u16string> SystemCodePageToUtf16(std::string_view text);
// UTF-16 to the system's narrow code page, whole characters only, cut to at
// most `maxBytes` bytes. A character the code page lacks becomes "?".
std::string Utf16ToSystemCodePage(std::u16string_view text, std::size_t maxBytes);

// A field name or unit list of Config.txt as the host shows it. Windows
// hosts read it in the ANSI code page: text that is valid UTF-8 with
// non-ASCII characters is converted to it, each character it lacks becoming
// "?"; anything else is passed on as the bytes stand. POSIX hosts read
// UTF-8: the text as it stands.
std::string HostFieldText(std::string_view text);

// Opens a file for reading in binary mode; null when it cannot be opened.
std::FILE* OpenForReading(const std::u16string& path);

// True for a full path that the tool takes as exactly that one file.
// Windows: a drive ("C:\", "C:/") or a UNC share ("\\server\share"), and no
// "*" or "?", which the tool there expands as wildcards. POSIX: a leading "/".
bool IsPlainAbsolutePath(std::u16string_view path);

// What the file system says of a file, for telling whether it has changed.
// Size and modification time alone do not tell: tools keep both on purpose,
// and a file may be replaced by another of the same size and time. The
// file's change time, which the system sets on every change of content or
// metadata (a rename too) and no user tool can set back, does; on POSIX the
// file's identity (device and inode) is compared as well, at no extra cost.
struct FileStamp {
  bool exists = false;
  bool regular = false;         // a file, not a directory or a device
  bool identified = false;      // the change time is known (POSIX: and identity)
  std::uint64_t size = 0;
  std::int64_t modified = 0;    // in the platform's finest unit
  std::int64_t changed = 0;     // change time, in the same unit
  std::uint64_t volume = 0;     // POSIX st_dev; 0 on Windows
  std::uint64_t file = 0;       // POSIX st_ino; 0 on Windows
  bool operator==(const FileStamp& o) const {
    return exists == o.exists && regular == o.regular && identified == o.identified &&
           size == o.size && modified == o.modified && changed == o.changed &&
           volume == o.volume && file == o.file;
  }
  bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
FileStamp StatFile(const std::u16string& path);

// The names of the files in the folder `folder` (a full path ending with
// its separator) that look like regular files, in the order the system
// lists them; at most `limit`. Links (POSIX: symbolic links; Windows:
// reparse points) to files on a network drive are left out. With
// `folders`, also the names of its sub-folders that are not links, in the
// order listed, at most `limit`. False when the folder cannot be read.
bool ListFolderFiles(const std::u16string& folder, std::size_t limit,
                     std::vector<std::u16string>& names,
                     std::vector<std::u16string>* folders = nullptr);
// True when `folder` lies on a network drive (Windows: a remote drive or a
// share; POSIX: NFS, SMB/CIFS or FUSE), where reading ahead costs the
// network what no host asked for.
bool OnNetworkDrive(const std::u16string& folder);
// The same for the file `name` where it really is: a link is followed to
// its file. Without the file, its folder decides.
bool FileOnNetworkDrive(const std::u16string& name);

// A thread of the module's own. The module's code stays loaded while it
// runs, even when the host frees the module meanwhile: on Windows the
// thread holds a reference to the module and gives it back as it exits.
class Worker {
 public:
  struct Impl;
  Worker();
  ~Worker();  // joins
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs `run(argument)` on a new thread; false when none could be made.
  bool Start(void (*run)(void*), void* argument);
  // True once `run` has returned (and the thread touches nothing of the
  // module's any more but its reference).
  bool Finished() const;
  // Waits until `run` has returned; does nothing when none was started.
  // With `exitWaitMs`, waits also up to that long for the thread to end
  // (on Windows: to give back its reference to the module), which only a
  // caller outside the module's unload entry may wait for.
  void Join(int exitWaitMs = 0);

 private:
  std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------- time zone

struct CalendarTime {
  std::uint16_t year = 0, month = 0, day = 0;
  std::uint16_t hour = 0, minute = 0, second = 0;
};

// UTC file time (100 ns intervals since 1601-01-01 00:00 UTC) of a calendar
// time that is local on this computer, daylight saving included. False when
// the calendar time is not valid.
bool LocalTimeToFileTime(const CalendarTime& local, std::uint64_t* fileTime);

// The calendar time on this computer's clock, daylight saving included, of
// a UTC file time. False when it cannot be told.
bool FileTimeToLocalTime(std::uint64_t fileTime, CalendarTime* local);

// The same for a calendar time under a fixed bias in minutes
// (UTC = local + bias), with no daylight period.
bool BiasedTimeToFileTime(const CalendarTime& local, int biasMinutes,
                          std::uint64_t* fileTime);

// ---------------------------------------------------------------- processes

enum class IoResult {
  kOk,        // some bytes moved
  kClosed,    // the other end is gone (end of file, broken pipe)
  kTimedOut,  // nothing moved within the time allowed
  kCancelled, // Cancel was called
  kFailed,    // any other error
};

// True when `path` names an existing regular file that we may run.
bool IsProgramFile(const std::u16string& path);
// The directories of the PATH environment variable, in order, leaving out
// empty and relative entries (which would mean the current directory).
std::vector<std::u16string> ProgramSearchDirectories();
// The names under which a program named `name` may be found: on Windows
// only ".exe" files, a name without an extension with ".exe" added.
std::vector<std::u16string> ProgramFileNames(const std::u16string& name);

// A child process whose standard input is fed by a pipe that we write and
// whose standard output goes into a pipe that we read. Its standard error
// goes to the null device, so that nothing it warns about can mix into what
// it prints, and it can never block on a full error pipe. Only the child's
// pipe ends and the null device are passed to it. The child and every
// process it starts in turn are one group (Windows: a job; POSIX: a process
// group) that is ended as a whole, so a launcher that runs the real program
// as a child process of its own never leaves that program holding the
// pipes. The child dies with this process,
// however this process ends: on Windows the job ends its processes when its
// last handle closes; elsewhere the child gets a parent-death signal, tied
// to a thread that lives as long as this object.
// Move-only; the destructor ends a child that is still running.
class ChildProcess {
 public:
  ChildProcess();
  ~ChildProcess();
  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the program at the absolute path `program`, and no other, with
  // `arguments` (a text of space-separated words that begins with a space).
  // On Windows the path is also quoted as the command line's first word.
  // With `background`, the child runs at a lower scheduling priority than
  // this process (POSIX: a nice value 10 higher; Windows: below normal), so
  // that it only takes the time the others leave.
  // Results: 0 started; 1 the output pipe could not be made; 3 the input
  // pipe could not be made; 10 no process was created.
  int Start(const std::u16string& program, const std::u16string& arguments,
            bool background = false);

  bool Running() const;
  std::uint32_t Id() const;
  // The memory the child holds now, in bytes: POSIX its resident set;
  // Windows the working sets of every process of its job. 0 when unknown.
  std::uint64_t MemoryBytes() const;

  // Writes all of `data`, waiting at most `timeoutMs` in all.
  IoResult Write(std::string_view data, int timeoutMs);
  // Reads at most `capacity` bytes, waiting at most `timeoutMs` for any.
  IoResult Read(char* buffer, std::size_t capacity, std::size_t* received,
                int timeoutMs);
  // Closes our end of the child's standard input.
  void CloseInput();
  // Waits at most `timeoutMs` for the child to exit; true when it has.
  bool WaitForExit(int timeoutMs);
  // Ends the child and everything it started if it still runs, reaps it and
  // closes the pipes.
  void Terminate();

  // Unlike every other member, these two may be called from any thread,
  // also while another thread is inside Read, Write or WaitForExit.
  // Cancel wakes those waits at once and makes every later one return
  // kCancelled (WaitForExit: false) without waiting, until ClearCancel; it
  // does not rely on the child doing anything.
  void Cancel();
  // Cancel, and end the child's whole group at once; nothing else.
  void Kill();
  // Lets waits wait again after Cancel. Called by the thread that owns the
  // exchanges, between them.
  void ClearCancel();
  bool Cancelled() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Milliseconds from an arbitrary fixed point, never going back.
std::uint64_t MonotonicMilliseconds();

// The point `timeoutMs` from now (none below 0), and the milliseconds left
// until such a point, never below 0.
inline std::uint64_t DeadlineAfter(int timeoutMs) {
  return MonotonicMilliseconds() + static_cast<std::uint64_t>(timeoutMs < 0 ? 0 : timeoutMs);
}
inline int Remaining(std::uint64_t deadline) {
  const std::uint64_t now = MonotonicMilliseconds();
  return now >= deadline ? 0 : static_cast<int>(deadline - now);
}

// A mutex, and a condition to wait for under it with a time-out. On Windows
// the system's own: a thread that waits on the C++ runtime's condition
// variable is given state by the runtime's thread library that stays
// behind (an event and a thread handle) when the module is unloaded.
class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock();
  void unlock();

 private:
  friend class Condition;
#ifdef _WIN32
  void* lock_ = nullptr;  // an SRWLOCK
#else
  std::mutex mutex_;
#endif
};

class Condition {
 public:
  Condition() = default;
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;
  // Waits at most `timeoutMs` for NotifyAll (or less: a wait may end early);
  // `lock` holds the mutex throughout, but while waiting.
  void WaitFor(std::unique_lock<Mutex>& lock, int timeoutMs);
  // Waits until `ready()` or `timeoutMs` have passed; what `ready` says last.
  template <typename Ready>
  bool WaitFor(std::unique_lock<Mutex>& lock, int timeoutMs, Ready ready) {
    const std::uint64_t deadline = DeadlineAfter(timeoutMs);
    while (!ready()) {
      const int left = Remaining(deadline);
      if (left == 0) return false;
      WaitFor(lock, left);
    }
    return true;
  }
  void NotifyAll();

 private:
#ifdef _WIN32
  void* condition_ = nullptr;  // a CONDITION_VARIABLE
#else
  std::condition_variable condition_;
#endif
};

}  // namespace platform
