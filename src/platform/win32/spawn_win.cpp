#include "platform/win32/spawn_win.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"

namespace platform::win32 {

namespace {

constexpr DWORD kPipeBuffer = 4096;
// The program path is at most a few hundred code units in practice; longer
// ones are refused rather than built into a command line.
constexpr std::size_t kMaximumProgram = 2048;
constexpr std::size_t kMaximumCommandLine = 8192;

std::atomic<unsigned> pipeSerial{0};

}  // namespace

void CloseIfOpen(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

bool MakePipe(bool inbound, HANDLE* ours, HANDLE* theirs) {
  SECURITY_ATTRIBUTES notInherited{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  // Unique in this process even with several copies of the module loaded
  // at once: each counts from 0, at an address of its own. A name that is
  // taken all the same (by anyone) gives way to the next one.
  wchar_t name[112];
  *ours = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 4 && *ours == INVALID_HANDLE_VALUE; ++attempt) {
    std::swprintf(name, sizeof name / sizeof name[0],
                  L"\\\\.\\pipe\\veltamo-%lu-%llx-%u-%llu", GetCurrentProcessId(),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&pipeSerial)),
                  pipeSerial.fetch_add(1),
                  static_cast<unsigned long long>(GetTickCount64()));
    *ours = CreateNamedPipeW(
        name,
        (inbound ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND) |
            FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        1, kPipeBuffer, kPipeBuffer, 0, &notInherited);
    const DWORD error = GetLastError();
    if (*ours == INVALID_HANDLE_VALUE && error != ERROR_ACCESS_DENIED && error != ERROR_PIPE_BUSY)
      break;
  }
  if (*ours == INVALID_HANDLE_VALUE) {
    *ours = nullptr;
    return false;
  }
  *theirs = CreateFileW(name,
                        inbound ? GENERIC_WRITE : GENERIC_READ | FILE_WRITE_ATTRIBUTES,
                        0, &inherited, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (*theirs == INVALID_HANDLE_VALUE) {
    *theirs = nullptr;
    CloseIfOpen(*ours);
    return false;
  }
  return true;
}

HANDLE MakeKillOnCloseJob() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                               sizeof limits)) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
}

void ChildStreams::CloseTheirs() {
  CloseIfOpen(outputTheirs);
  CloseIfOpen(inputTheirs);
  CloseIfOpen(errorTheirs);
}

void ChildStreams::CloseOurs() {
  CloseIfOpen(outputOurs);
  CloseIfOpen(inputOurs);
}

int MakeChildStreams(ChildStreams& streams) {
  if (!MakePipe(true, &streams.outputOurs, &streams.outputTheirs)) return 1;
  if (!MakePipe(false, &streams.inputOurs, &streams.inputTheirs)) {
    streams.CloseTheirs();
    streams.CloseOurs();
    return 3;
  }
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  streams.errorTheirs =
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (streams.errorTheirs == INVALID_HANDLE_VALUE) streams.errorTheirs = nullptr;
  if (streams.errorTheirs == nullptr) {
    streams.CloseTheirs();
    streams.CloseOurs();
    return 1;
  }
  return 0;
}

bool BuildCommandLine(const std::u16string& program, const std::u16string& arguments,
                      std::vector<wchar_t>& commandLine) {
  if (!IsPlainAbsolutePath(program) || program.size() > kMaximumProgram ||
      program.find(u'"') != std::u16string::npos ||
      program.size() + arguments.size() + 3 > kMaximumCommandLine)
    return false;
  commandLine.clear();
  commandLine.reserve(program.size() + arguments.size() + 3);
  commandLine.push_back(L'"');
  commandLine.insert(commandLine.end(), program.begin(), program.end());
  commandLine.push_back(L'"');
  commandLine.insert(commandLine.end(), arguments.begin(), arguments.end());
  commandLine.push_back(L'\0');
  return true;
}

bool CreateSuspended(const std::u16string& program, std::vector<wchar_t>& commandLine,
                     HANDLE input, HANDLE output, HANDLE error, PROCESS_INFORMATION& created,
                     bool background) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(STARTUPINFOW);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = output;
  startup.StartupInfo.hStdError = error;

  // Only the child's three handles are inherited, not every inheritable
  // handle the host happens to have open.
  HANDLE inheritedHandles[3] = {input, output, error};
  std::vector<unsigned char> attributeStorage;
  LPPROC_THREAD_ATTRIBUTE_LIST attributes = nullptr;
  SIZE_T attributeSize = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
  if (attributeSize != 0) {
    attributeStorage.resize(attributeSize);
    attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeStorage.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)) {
      attributes = nullptr;
    } else if (!UpdateProcThreadAttribute(attributes, 0,
                                          PROC_THREAD_ATTRIBUTE_HANDLE_LIST,
                                          inheritedHandles, sizeof inheritedHandles,
                                          nullptr, nullptr)) {
      DeleteProcThreadAttributeList(attributes);
      attributes = nullptr;
    }
  }
  DWORD flags = CREATE_SUSPENDED;
  if (background) flags |= BELOW_NORMAL_PRIORITY_CLASS;
  if (attributes != nullptr) {
    startup.StartupInfo.cb = sizeof(STARTUPINFOEXW);
    startup.lpAttributeList = attributes;
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  const BOOL started =
      CreateProcessW(reinterpret_cast<const wchar_t*>(program.c_str()), commandLine.data(),
                     nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup.StartupInfo,
                     &created);
  if (attributes != nullptr) DeleteProcThreadAttributeList(attributes);
  // Set again: some systems (Wine) leave the class of the flags aside.
  if (started != FALSE && background)
    SetPriorityClass(created.hProcess, BELOW_NORMAL_PRIORITY_CLASS);
  return started != FALSE;
}

}  // namespace platform::win32
