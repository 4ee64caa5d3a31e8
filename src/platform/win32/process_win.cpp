// Child processes on Windows. Each direction is a named pipe of its own:
// anonymous pipes cannot be read or written with a time-out, overlapped
// named pipes can. Our ends are overlapped and not inheritable; the child's
// ends are ordinary synchronous handles, inherited by the child alone. The
// child's standard error is the null device, and the child is in a job that
// ends it, and all it starts, when this process ends. Every wait also wakes
// on a cancel event of the object's own.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/spawn_win.h"

namespace platform {

using win32::CloseIfOpen;
using win32::MakeKillOnCloseJob;

namespace {

// How long Terminate waits for an ended child to be gone.
constexpr DWORD kTerminateWaitMs = 5000;


// Error code for a wait that the cancel event ended.
constexpr DWORD kCancelledError = ERROR_CANCELLED;

// Waits for an overlapped operation started on `handle`; cancels it when
// `waitMs` passes or `cancel` (when not null) is set. Returns the Win32
// error (0 when it completed) and the byte count in `*moved`.
DWORD FinishOverlapped(HANDLE handle, OVERLAPPED* overlapped, HANDLE cancel, DWORD waitMs,
                       DWORD* moved) {
  const HANDLE waits[2] = {overlapped->hEvent, cancel};
  const DWORD waited = WaitForMultipleObjects(cancel != nullptr ? 2 : 1, waits, FALSE, waitMs);
  if (waited != WAIT_OBJECT_0) CancelIoEx(handle, overlapped);
  // Waits for the cancellation too, so `overlapped` is free afterwards. An
  // operation that completed just before its cancellation keeps its bytes.
  if (GetOverlappedResult(handle, overlapped, moved, TRUE)) return 0;
  const DWORD error = GetLastError();
  if (error != ERROR_OPERATION_ABORTED) return error;
  return waited == WAIT_OBJECT_0 + 1 ? kCancelledError : WAIT_TIMEOUT;
}

// One overlapped read or write of at most `size` bytes on `handle`, waited
// for until `deadline`. Returns the Win32 error (0 when it completed) and
// the byte count in `*moved`.
DWORD Transfer(HANDLE handle, HANDLE event, HANDLE cancel, bool write, char* data, DWORD size,
               std::uint64_t deadline, DWORD* moved) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  ResetEvent(event);
  *moved = 0;
  const BOOL done = write ? WriteFile(handle, data, size, nullptr, &overlapped)
                          : ReadFile(handle, data, size, nullptr, &overlapped);
  if (done) return GetOverlappedResult(handle, &overlapped, moved, TRUE) ? 0 : GetLastError();
  const DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return error;
  return FinishOverlapped(handle, &overlapped, cancel, static_cast<DWORD>(Remaining(deadline)),
                          moved);
}

IoResult FromError(DWORD error) {
  switch (error) {
    case 0:
      return IoResult::kOk;
    case WAIT_TIMEOUT:
      return IoResult::kTimedOut;
    case kCancelledError:
      return IoResult::kCancelled;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
    case ERROR_HANDLE_EOF:
      return IoResult::kClosed;
    default:
      return IoResult::kFailed;
  }
}


}  // namespace

struct ChildProcess::Impl {
  ~Impl() {
    CloseIfOpen(event);
    CloseIfOpen(cancel);
    CloseIfOpen(job);
  }
  std::mutex life;          // guards `process`, `cancel` and `inJob` against Kill
  HANDLE process = nullptr;
  DWORD id = 0;
  HANDLE input = nullptr;   // our end of the child's standard input
  HANDLE output = nullptr;  // our end of the child's standard output
  HANDLE event = nullptr;   // completion event for our overlapped operations
  HANDLE cancel = nullptr;  // set while cancelled
  std::atomic<bool> cancelled{false};
  HANDLE job = nullptr;     // the child and all it starts; ends them with this process
  bool inJob = false;       // the running child is in `job`

  // Under `life`: wakes every wait, now and until ClearCancel.
  void SetCancelled() {
    cancelled = true;
    if (cancel != nullptr) SetEvent(cancel);
  }
  // Under `life`: ends the child with all it started.
  void EndGroup() {
    if (process == nullptr) return;
    if (inJob) TerminateJobObject(job, 1);
    TerminateProcess(process, 1);
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
  if (impl_->event == nullptr) {
    impl_->event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (impl_->event == nullptr) return 1;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->life);
    if (impl_->cancel == nullptr) {
      impl_->cancel = CreateEventW(nullptr, TRUE, impl_->cancelled ? TRUE : FALSE, nullptr);
      if (impl_->cancel == nullptr) return 1;
    }
  }
  if (impl_->job == nullptr) impl_->job = MakeKillOnCloseJob();

  win32::ChildStreams streams;
  if (const int made = win32::MakeChildStreams(streams)) return made;
  std::vector<wchar_t> commandLine;
  // Started suspended, so that it is in the job before it can do anything.
  PROCESS_INFORMATION created{};
  const bool started =
      win32::BuildCommandLine(program, arguments, commandLine) &&
      win32::CreateSuspended(program, commandLine, streams.inputTheirs, streams.outputTheirs,
                             streams.errorTheirs, created, background);
  streams.CloseTheirs();
  if (!started) {
    streams.CloseOurs();
    return 10;
  }
  // Without a job (none could be made, or the host's own job refuses one)
  // the child still runs; it then only ends with us when we end it.
  const bool inJob =
      impl_->job != nullptr && AssignProcessToJobObject(impl_->job, created.hProcess);
  ResumeThread(created.hThread);
  CloseHandle(created.hThread);
  std::lock_guard<std::mutex> lock(impl_->life);
  impl_->inJob = inJob;
  impl_->process = created.hProcess;
  impl_->id = created.dwProcessId;
  impl_->input = streams.inputOurs;
  impl_->output = streams.outputOurs;
  return 0;
}

bool ChildProcess::Running() const {
  return impl_ && impl_->process != nullptr && impl_->input != nullptr &&
         impl_->output != nullptr;
}

std::uint32_t ChildProcess::Id() const { return impl_ ? impl_->id : 0; }

std::uint64_t ChildProcess::MemoryBytes() const {
  if (!impl_ || impl_->process == nullptr) return 0;
  // The launcher's job holds the program that does the work as well.
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[15];
  } ids{};
  ids.list.NumberOfAssignedProcesses = 16;
  std::vector<DWORD> processes;
  if (impl_->inJob && QueryInformationJobObject(impl_->job, JobObjectBasicProcessIdList, &ids,
                                                sizeof ids, nullptr)) {
    const DWORD count = std::min<DWORD>(ids.list.NumberOfProcessIdsInList, 16);
    for (DWORD i = 0; i < count; ++i)
      processes.push_back(static_cast<DWORD>(ids.list.ProcessIdList[i]));
  }
  if (processes.empty()) processes.push_back(impl_->id);
  std::uint64_t total = 0;
  for (DWORD id : processes) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) continue;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (K32GetProcessMemoryInfo(process, &counters, sizeof counters))
      total += counters.WorkingSetSize;
    CloseHandle(process);
  }
  return total;
}

IoResult ChildProcess::Write(std::string_view data, int timeoutMs) {
  if (!impl_ || impl_->input == nullptr) return IoResult::kFailed;
  if (impl_->cancelled) return IoResult::kCancelled;
  const std::uint64_t deadline = DeadlineAfter(timeoutMs);
  std::size_t done = 0;
  while (done < data.size()) {
    const std::size_t left = data.size() - done;
    const DWORD size = left > 0x10000 ? 0x10000 : static_cast<DWORD>(left);
    DWORD moved = 0;
    const DWORD error = Transfer(impl_->input, impl_->event, impl_->cancel, true,
                                 const_cast<char*>(data.data()) + done, size, deadline, &moved);
    done += moved;
    if (error != 0) {
      // A time-out after some bytes still leaves the write incomplete.
      return FromError(error);
    }
    if (moved == 0 && Remaining(deadline) == 0) return IoResult::kTimedOut;
  }
  return IoResult::kOk;
}

IoResult ChildProcess::Read(char* buffer, std::size_t capacity,
                            std::size_t* received, int timeoutMs) {
  *received = 0;
  if (!impl_ || impl_->output == nullptr) return IoResult::kFailed;
  if (capacity == 0) return IoResult::kOk;
  if (impl_->cancelled) return IoResult::kCancelled;
  const std::uint64_t deadline = DeadlineAfter(timeoutMs);
  for (;;) {
    const DWORD size = capacity > 0x10000 ? 0x10000 : static_cast<DWORD>(capacity);
    DWORD moved = 0;
    const DWORD error = Transfer(impl_->output, impl_->event, impl_->cancel, false, buffer,
                                 size, deadline, &moved);
    if (moved > 0) {
      *received = moved;
      return IoResult::kOk;
    }
    if (error != 0) return FromError(error);
    // A zero-byte message from the writer: nothing moved, read on.
    if (Remaining(deadline) == 0) return IoResult::kTimedOut;
  }
}

void ChildProcess::CloseInput() {
  if (impl_) CloseIfOpen(impl_->input);
}

bool ChildProcess::WaitForExit(int timeoutMs) {
  if (!impl_ || impl_->process == nullptr) return true;
  if (impl_->cancelled) return false;
  const HANDLE waits[2] = {impl_->process, impl_->cancel};
  return WaitForMultipleObjects(impl_->cancel != nullptr ? 2 : 1, waits, FALSE,
                                static_cast<DWORD>(timeoutMs < 0 ? 0 : timeoutMs)) ==
         WAIT_OBJECT_0;
}

void ChildProcess::Terminate() {
  if (!impl_) return;
  CloseIfOpen(impl_->input);
  CloseIfOpen(impl_->output);
  std::lock_guard<std::mutex> lock(impl_->life);
  if (impl_->process != nullptr) {
    // Whatever the child started goes too, even once the child itself is gone.
    if (impl_->inJob) TerminateJobObject(impl_->job, 1);
    if (WaitForSingleObject(impl_->process, 0) != WAIT_OBJECT_0) {
      TerminateProcess(impl_->process, 1);
      WaitForSingleObject(impl_->process, kTerminateWaitMs);
    }
    CloseIfOpen(impl_->process);
  }
  impl_->inJob = false;
  impl_->id = 0;
}

void ChildProcess::Cancel() {
  if (!impl_) return;
  std::lock_guard<std::mutex> lock(impl_->life);
  impl_->SetCancelled();
}

void ChildProcess::Kill() {
  if (!impl_) return;
  std::lock_guard<std::mutex> lock(impl_->life);
  impl_->SetCancelled();
  impl_->EndGroup();
}

void ChildProcess::ClearCancel() {
  if (!impl_) return;
  std::lock_guard<std::mutex> lock(impl_->life);
  if (impl_->cancel != nullptr) ResetEvent(impl_->cancel);
  impl_->cancelled = false;
}

bool ChildProcess::Cancelled() const { return impl_ && impl_->cancelled; }

std::uint64_t MonotonicMilliseconds() { return GetTickCount64(); }

}  // namespace platform
