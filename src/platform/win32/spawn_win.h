// Starting a child on Windows: its pipes, its job, its command line and
// the suspended process that the caller puts in the job before it runs.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace platform::win32 {

void CloseIfOpen(HANDLE& handle);

// Makes one pipe: `ours` (overlapped, not inheritable) and `theirs`
// (inheritable). `inbound` is true when we read from it.
bool MakePipe(bool inbound, HANDLE* ours, HANDLE* theirs);

// A job that ends its processes when its last handle closes: when we close
// it, and when this process ends in any way.
HANDLE MakeKillOnCloseJob();

// The child's standard streams: a pipe each way, of which the child
// inherits its ends, and the null device for its errors, so that warnings
// and errors are never part of a reply.
struct ChildStreams {
  HANDLE outputOurs = nullptr, outputTheirs = nullptr;
  HANDLE inputOurs = nullptr, inputTheirs = nullptr;
  HANDLE errorTheirs = nullptr;
  void CloseTheirs();
  void CloseOurs();
};
// 0 when made; otherwise 1 or 3 (the second pipe), with nothing left open.
int MakeChildStreams(ChildStreams& streams);

// `"program" arguments`, zero-terminated: the quotes keep a path with
// spaces one word. False for a program that is not a plain absolute path,
// holds a quote, or makes too long a line.
bool BuildCommandLine(const std::u16string& program, const std::u16string& arguments,
                      std::vector<wchar_t>& commandLine);

// Starts `program` suspended and hidden, with `input`, `output` and `error`
// as its standard streams; it inherits those three handles and no other.
// The path is also given as the program to start, so no search is made.
// With `background`, its priority class is below normal.
bool CreateSuspended(const std::u16string& program, std::vector<wchar_t>& commandLine,
                     HANDLE input, HANDLE output, HANDLE error, PROCESS_INFORMATION& created,
                     bool background);

}  // namespace platform::win32
