// Child processes on POSIX: two pipes, our ends non-blocking and waited on
// with poll() together with a wake-up pipe that Cancel writes to; the
// child's standard error goes to the null device. Children are started by a
// launcher thread of the object's own (spawn_posix.h), each as the leader
// of a process group of its own, which is what Kill and Terminate end.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/spawn_posix.h"

namespace platform {

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

// A close-on-exec pipe whose two descriptors are above the standard ones, so
// that moving a child's end onto 0, 1 or 2 always makes a fresh descriptor
// (and so clears close-on-exec on it).
bool MakePipe(int ends[2]) {
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  for (int i = 0; i < 2; ++i) {
    if (ends[i] > 2) continue;
    const int moved = fcntl(ends[i], F_DUPFD_CLOEXEC, 3);
    if (moved < 0) {
      close(ends[0]);
      close(ends[1]);
      return false;
    }
    close(ends[i]);
    ends[i] = moved;
  }
  return true;
}

bool SetNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Waits for `events` on `fd` until `deadline`, or until `wake` (when not
// -1) becomes readable. 1 ready, 0 timed out, -1 error, -2 woken.
int WaitFor(int fd, short events, int wake, std::uint64_t deadline) {
  for (;;) {
    pollfd entries[2] = {{fd, events, 0}, {wake, POLLIN, 0}};
    const int result = poll(entries, wake >= 0 ? 2 : 1, Remaining(deadline));
    if (result > 0) return wake >= 0 && entries[1].revents != 0 ? -2 : 1;
    if (result == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

IoResult FromWait(int waited) {
  switch (waited) {
    case 0:
      return IoResult::kTimedOut;
    case -2:
      return IoResult::kCancelled;
    default:
      return IoResult::kFailed;
  }
}

// Writes with SIGPIPE blocked for this thread, so that a pipe without a
// reader gives EPIPE instead of ending the host. A SIGPIPE that our write
// raised is taken off the pending set before the old mask comes back; one
// that was pending before is left alone.
ssize_t WriteWithoutSigpipe(int fd, const char* data, std::size_t size) {
  sigset_t pipeOnly, oldMask;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipeOnly, &oldMask);

  ssize_t written;
  do {
    written = write(fd, data, size);
  } while (written < 0 && errno == EINTR);
  const int savedErrno = errno;

  if (written < 0 && savedErrno == EPIPE && !wasPending) {
    const timespec zero{0, 0};
    while (sigtimedwait(&pipeOnly, nullptr, &zero) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  errno = savedErrno;
  return written;
}

}  // namespace

struct ChildProcess::Impl {
  ~Impl() {
    CloseFd(wake[0]);
    CloseFd(wake[1]);
  }
  std::mutex life;  // guards pid, reaped and wake against Kill and Cancel
  pid_t pid = 0;    // also the child's process group
  bool reaped = false;
  int input = -1;   // write end of the child's standard input
  int output = -1;  // read end of the child's standard output
  // Readable while cancelled: Cancel writes a byte, ClearCancel drains it.
  int wake[2] = {-1, -1};
  std::atomic<bool> cancelled{false};
  Launcher launcher;

  // Under `life`: wakes every wait, now and until ClearCancel.
  void SetCancelled() {
    cancelled = true;
    Wake();
  }
  // Under `life`: makes the wake-up pipe readable, when there is one.
  void Wake() {
    if (wake[1] < 0) return;
    const char byte = 1;
    ssize_t ignored = write(wake[1], &byte, 1);
    (void)ignored;
  }
  // Under `life`: ends the child's whole group.
  void KillGroup() {
    if (pid > 0 && !reaped) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);  // in case it could not lead a group of its own
    }
  }
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
  if (impl_) Terminate();
}

ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    if (impl_) Terminate();
    impl_ = std::move(other.impl_);
  }
  return *this;
}

int ChildProcess::Start(const std::u16string& program, const std::u16string& arguments,
                        bool background) {
  if (!impl_) impl_ = std::make_unique<Impl>();
  Terminate();
  {
    std::lock_guard<std::mutex> lock(impl_->life);
    if (impl_->wake[0] < 0) {
      if (!MakePipe(impl_->wake)) return 1;
      SetNonBlocking(impl_->wake[0]);
      SetNonBlocking(impl_->wake[1]);
      if (impl_->cancelled) impl_->Wake();
    }
  }

  SpawnPlan plan;
  plan.path = Utf16ToUtf8(program);
  plan.background = background;
  if (plan.path.empty() || plan.path[0] != '/') return 10;
  const std::string text = Utf16ToUtf8(arguments);
  plan.words.push_back(plan.path);
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find(' ', begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin) plan.words.emplace_back(text, begin, end - begin);
    begin = end + 1;
  }
  for (std::string& word : plan.words) plan.argv.push_back(word.data());
  plan.argv.push_back(nullptr);

  int outputPipe[2], inputPipe[2];
  if (!MakePipe(outputPipe)) return 1;
  if (!MakePipe(inputPipe)) {
    close(outputPipe[0]);
    close(outputPipe[1]);
    return 3;
  }
  plan.input = inputPipe[0];
  plan.output = outputPipe[1];
  plan.nullDevice = open("/dev/null", O_WRONLY | O_CLOEXEC);

  const pid_t pid = plan.nullDevice < 0 ? -1 : impl_->launcher.Spawn(plan);
  if (plan.nullDevice >= 0) close(plan.nullDevice);
  close(inputPipe[0]);
  close(outputPipe[1]);
  if (pid <= 0) {
    close(inputPipe[1]);
    close(outputPipe[0]);
    return 10;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->life);
    impl_->pid = pid;
    impl_->reaped = false;
  }
  impl_->input = inputPipe[1];
  impl_->output = outputPipe[0];
  SetNonBlocking(impl_->input);
  SetNonBlocking(impl_->output);
  return 0;
}

bool ChildProcess::Running() const {
  return impl_ && impl_->pid > 0 && impl_->input >= 0 && impl_->output >= 0;
}

std::uint32_t ChildProcess::Id() const {
  return impl_ ? static_cast<std::uint32_t>(impl_->pid) : 0;
}

std::uint64_t ChildProcess::MemoryBytes() const {
  if (!impl_ || impl_->pid <= 0) return 0;
  char path[48];
  std::snprintf(path, sizeof path, "/proc/%ld/statm", static_cast<long>(impl_->pid));
  std::FILE* statm = std::fopen(path, "re");
  if (statm == nullptr) return 0;
  unsigned long long size = 0, resident = 0;
  const bool read = std::fscanf(statm, "%llu %llu", &size, &resident) == 2;
  std::fclose(statm);
  const long page = sysconf(_SC_PAGESIZE);
  return read && page > 0 ? resident * static_cast<unsigned long long>(page) : 0;
}

IoResult ChildProcess::Write(std::string_view data, int timeoutMs) {
  if (!impl_ || impl_->input < 0) return IoResult::kFailed;
  if (impl_->cancelled) return IoResult::kCancelled;
  const std::uint64_t deadline = DeadlineAfter(timeoutMs);
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t written =
        WriteWithoutSigpipe(impl_->input, data.data() + done, data.size() - done);
    if (written > 0) {
      done += static_cast<std::size_t>(written);
      continue;
    }
    if (written < 0 && errno == EPIPE) return IoResult::kClosed;
    if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return IoResult::kFailed;
    const int ready = WaitFor(impl_->input, POLLOUT, impl_->wake[0], deadline);
    if (ready != 1) return FromWait(ready);
  }
  return IoResult::kOk;
}

IoResult ChildProcess::Read(char* buffer, std::size_t capacity,
                            std::size_t* received, int timeoutMs) {
  *received = 0;
  if (!impl_ || impl_->output < 0) return IoResult::kFailed;
  if (capacity == 0) return IoResult::kOk;
  if (impl_->cancelled) return IoResult::kCancelled;
  const std::uint64_t deadline = DeadlineAfter(timeoutMs);
  for (;;) {
    const ssize_t count = read(impl_->output, buffer, capacity);
    if (count > 0) {
      *received = static_cast<std::size_t>(count);
      return IoResult::kOk;
    }
    if (count == 0) return IoResult::kClosed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return IoResult::kFailed;
    const int ready = WaitFor(impl_->output, POLLIN, impl_->wake[0], deadline);
    if (ready != 1) return FromWait(ready);
  }
}

void ChildProcess::CloseInput() {
  if (impl_) CloseFd(impl_->input);
}

bool ChildProcess::WaitForExit(int timeoutMs) {
  if (!impl_) return true;
  const std::uint64_t deadline = DeadlineAfter(timeoutMs);
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(impl_->life);
      if (impl_->pid <= 0 || impl_->reaped) return true;
      // Looked at without reaping it: until it is reaped, its group cannot
      // be taken by another process, and what it started goes with it.
      siginfo_t info{};
      const int result = waitid(P_PID, static_cast<id_t>(impl_->pid), &info,
                                WEXITED | WNOHANG | WNOWAIT);
      if (result == 0 && info.si_pid == impl_->pid) {
        kill(-impl_->pid, SIGKILL);
        int status = 0;
        while (waitpid(impl_->pid, &status, 0) < 0 && errno == EINTR) {
        }
        impl_->reaped = true;
        return true;
      }
      if (result < 0 && errno == ECHILD) {
        // Someone else reaped it (or SIGCHLD is ignored); it is gone.
        impl_->reaped = true;
        return true;
      }
      if (result < 0 && errno != EINTR) return false;
    }
    const int left = Remaining(deadline);
    if (left == 0 || impl_->cancelled) return false;
    const timespec pause{0, (left < 5 ? left : 5) * 1000000L};
    nanosleep(&pause, nullptr);
  }
}

void ChildProcess::Terminate() {
  if (!impl_) return;
  CloseFd(impl_->input);
  CloseFd(impl_->output);
  std::lock_guard<std::mutex> lock(impl_->life);
  if (impl_->pid > 0 && !impl_->reaped) {
    impl_->KillGroup();
    int status = 0;
    while (waitpid(impl_->pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  impl_->pid = 0;
  impl_->reaped = false;
}

void ChildProcess::Cancel() {
  if (!impl_) return;
  std::lock_guard<std::mutex> lock(impl_->life);
  if (!impl_->cancelled) impl_->SetCancelled();
}

void ChildProcess::Kill() {
  if (!impl_) return;
  // Until it is reaped, under this lock, the pid cannot name another process.
  std::lock_guard<std::mutex> lock(impl_->life);
  if (!impl_->cancelled) impl_->SetCancelled();
  impl_->KillGroup();
}

void ChildProcess::ClearCancel() {
  if (!impl_) return;
  std::lock_guard<std::mutex> lock(impl_->life);
  if (impl_->wake[0] >= 0) {
    char drained[16];
    while (read(impl_->wake[0], drained, sizeof drained) > 0) {
    }
  }
  impl_->cancelled = false;
}

bool ChildProcess::Cancelled() const { return impl_ && impl_->cancelled; }

std::uint64_t MonotonicMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

}  // namespace platform
