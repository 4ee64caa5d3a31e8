/* exiftool.exe for Wine: a Windows process that runs a POSIX tool (the real
 * /usr/bin/exiftool, or the program named by VELTAMO_BRIDGE_TOOL) with its
 * own arguments and relays the standard streams:
 *   Windows stdin  -> tool stdin   (lines holding a Windows absolute path,
 *                                   "C:\...", become the Unix path)
 *   tool stdout    -> Windows stdout  (each LF becomes CR LF, as Perl's
 *                                   text-mode output does on Windows)
 *   tool stderr    -> Windows stderr  (the same)
 * The tool dies with the bridge; the bridge exits with the tool's status once
 * the tool has exited. Built with winegcc; three threads, all Windows ones. */
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <windows.h>

#define LINE_CAPACITY 8192
#define CHUNK 4096

static int toolInput = -1; /* write end of the tool's stdin */

/* Writes all of `size` bytes to a POSIX descriptor; 0 on failure. */
static int WriteAllFd(int fd, const char *data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    data += n;
    size -= (size_t)n;
  }
  return 1;
}

/* Writes all of `size` bytes to a Windows handle; 0 on failure. */
static int WriteAllHandle(HANDLE handle, const char *data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(handle, data, (DWORD)size, &written, NULL) || written == 0)
      return 0;
    data += written;
    size -= written;
  }
  return 1;
}

static int IsWindowsAbsolute(const char *line, size_t length) {
  return length >= 3 &&
         ((line[0] >= 'A' && line[0] <= 'Z') || (line[0] >= 'a' && line[0] <= 'z')) &&
         line[1] == ':' && line[2] == '\\';
}

/* Passes one line (with its LF when it has one) on to the tool, the Unix
 * form of a Windows path in place of the path. */
static int ForwardLine(const char *line, size_t length) {
  size_t body = length;
  if (body > 0 && line[body - 1] == '\n') --body;
  if (body > 0 && line[body - 1] == '\r') --body;
  if (IsWindowsAbsolute(line, body)) {
    WCHAR wide[LINE_CAPACITY];
    int units = MultiByteToWideChar(CP_UTF8, 0, line, (int)body, wide, LINE_CAPACITY - 1);
    if (units > 0) {
      char *unixPath;
      wide[units] = 0;
      unixPath = wine_get_unix_file_name(wide);
      if (unixPath != NULL) {
        int ok = WriteAllFd(toolInput, unixPath, strlen(unixPath)) &&
                 WriteAllFd(toolInput, line + body, length - body);
        HeapFree(GetProcessHeap(), 0, unixPath);
        return ok;
      }
    }
  }
  return WriteAllFd(toolInput, line, length);
}

/* Windows stdin -> the tool's stdin, a line at a time. A line longer than
 * the buffer cannot be a path to translate and goes on as it is. */
static DWORD WINAPI RelayInput(void *unused) {
  static char line[LINE_CAPACITY];
  size_t held = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char chunk[CHUNK];
  (void)unused;
  for (;;) {
    DWORD got = 0, i;
    if (!ReadFile(input, chunk, sizeof chunk, &got, NULL) || got == 0) break;
    for (i = 0; i < got; ++i) {
      line[held++] = chunk[i];
      if (chunk[i] == '\n') {
        if (!ForwardLine(line, held)) goto done;
        held = 0;
      } else if (held == sizeof line) {
        if (!WriteAllFd(toolInput, line, held)) goto done;
        held = 0;
      }
    }
  }
  if (held > 0) ForwardLine(line, held);
done:
  close(toolInput);
  return 0;
}

/* Turns each LF into CR LF and writes the result to `handle`; 0 when the
 * handle takes no more. */
static int WriteTranslated(HANDLE handle, const char *data, size_t size) {
  char translated[2 * CHUNK];
  size_t j, out = 0;
  for (j = 0; j < size; ++j) {
    if (data[j] == '\n') translated[out++] = '\r';
    translated[out++] = data[j];
  }
  return WriteAllHandle(handle, translated, out);
}

static int toolError = -1; /* read end of the tool's stderr */

/* The tool's stderr -> Windows stderr. Drained to its end even when nobody
 * takes it, so that the tool never blocks on it. */
static DWORD WINAPI RelayError(void *unused) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  char chunk[CHUNK];
  int open = error != NULL && error != INVALID_HANDLE_VALUE;
  (void)unused;
  for (;;) {
    ssize_t got = read(toolError, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (open) open = WriteTranslated(error, chunk, (size_t)got);
  }
  close(toolError);
  return 0;
}

int main(int argc, char **argv) {
  static char tool[4096];
  int toStdin[2], fromOutput[2], fromError[2];
  pid_t parent = getpid(), child;
  HANDLE inputThread, errorThread;
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  char chunk[CHUNK];
  int status = 0, i;
  DWORD length;
  char **args;

  /* From the Windows environment: what the starting Windows process set
   * there does not reach this process's Unix one. */
  length = GetEnvironmentVariableA("VELTAMO_BRIDGE_TOOL", tool, sizeof tool);
  if (length == 0 || length >= sizeof tool) strcpy(tool, "/usr/bin/exiftool");
  if (pipe(toStdin) != 0 || pipe(fromOutput) != 0 || pipe(fromError) != 0) return 120;
  signal(SIGPIPE, SIG_IGN);

  /* Everything the child needs is made before fork: only async-signal-safe
   * calls may follow it in a process with threads. */
  args = calloc((size_t)argc + 1, sizeof *args);
  if (args == NULL) return 123;
  args[0] = tool;
  for (i = 1; i < argc; ++i) args[i] = argv[i];

  child = fork();
  if (child < 0) return 121;
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(122);
    signal(SIGPIPE, SIG_DFL);
    dup2(toStdin[0], 0);
    dup2(fromOutput[1], 1);
    dup2(fromError[1], 2);
#ifdef SYS_close_range
    if (syscall(SYS_close_range, 3u, ~0u, 0u) != 0)
#endif
      for (i = 3; i < 4096; ++i) close(i);
    execv(tool, args);
    _exit(127);
  }
  close(toStdin[0]);
  close(fromOutput[1]);
  close(fromError[1]);
  toolInput = toStdin[1];
  toolError = fromError[0];

  /* This thread forked the tool and stays until the end, so the tool's
   * parent-death signal fires only when the bridge itself goes. The input
   * relay runs on a thread that Wine made: Win32 calls need one, which a
   * bare pthread is not. */
  inputThread = CreateThread(NULL, 0, RelayInput, NULL, 0, NULL);
  if (inputThread == NULL) return 124;
  CloseHandle(inputThread);
  errorThread = CreateThread(NULL, 0, RelayError, NULL, 0, NULL);
  if (errorThread == NULL) return 124;

  for (;;) {
    ssize_t got = read(fromOutput[0], chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    if (!WriteTranslated(output, chunk, (size_t)got)) {
      /* Nobody reads the replies any more. */
      kill(child, SIGKILL);
      break;
    }
  }
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  WaitForSingleObject(errorThread, 5000);
  CloseHandle(errorThread);
  CloseHandle(output);
  ExitProcess(WIFEXITED(status) ? (UINT)WEXITSTATUS(status) : 128u + (UINT)WTERMSIG(status));
  return 0;
}
