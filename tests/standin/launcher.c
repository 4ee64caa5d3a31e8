/* A Windows launcher, as some tool packages ship one: it starts
 * exiftool.exe from the folder "launched" beside it as a child process of
 * its own, which inherits its standard handles, and waits for it. Ending
 * this process alone leaves that child holding the pipes. */
#include <windows.h>
#include <wchar.h>

int wmain(void) {
  static wchar_t self[32768], commandLine[65536];
  DWORD length = GetModuleFileNameW(NULL, self, 32768);
  if (length == 0 || length >= 32768) return 120;
  wchar_t *slash = wcsrchr(self, L'\\');
  if (slash == NULL) return 121;
  wcscpy(slash + 1, L"launched\\exiftool.exe");

  /* Our own arguments follow the program's quoted path. */
  const wchar_t *rest = GetCommandLineW();
  if (*rest == L'"') {
    rest = wcschr(rest + 1, L'"');
    rest = rest ? rest + 1 : L"";
  } else {
    while (*rest && *rest != L' ') ++rest;
  }
  if (wcslen(self) + wcslen(rest) + 3 >= 65536) return 122;
  wcscpy(commandLine, L"\"");
  wcscat(commandLine, self);
  wcscat(commandLine, L"\"");
  wcscat(commandLine, rest);

  STARTUPINFOW startup = {0};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child = {0};
  if (!CreateProcessW(self, commandLine, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &child))
    return 123;
  CloseHandle(child.hThread);
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(child.hProcess, &code);
  return (int)code;
}
