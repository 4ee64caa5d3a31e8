// The tool processes a test's module has started, seen from the test.
#pragma once

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dirent.h>
#include <signal.h>
#include <unistd.h>
#endif

#include "e2e/plugin_dir.h"
#include "host/module_loader.h"

namespace e2e {

// The parent of the Linux process `pid` while it exists and is not a
// zombie; 0 otherwise. Read through /proc, which a program under Wine sees
// as well.
inline long LiveLinuxParent(long pid) {
  std::ifstream stat(host::NativePath("/proc/" + std::to_string(pid) + "/stat"));
  std::string content;
  if (!std::getline(stat, content)) return 0;
  const std::size_t close = content.rfind(')');
  char state = 0;
  long parent = 0;
  if (close == std::string::npos ||
      std::sscanf(content.c_str() + close + 1, " %c %ld", &state, &parent) != 2 ||
      state == 'Z' || state == 'X')
    return 0;
  return parent;
}

// The most tools a module runs on this computer: one a core, up to eight.
inline int ToolsAtMost() {
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 8);
}

// The tools a module runs between walks: the host's and, on a computer of
// more than one core, the standby that its first start brings.
inline std::size_t IdleTools() { return static_cast<std::size_t>(std::min(2, ToolsAtMost())); }

// True while the Linux process `pid` exists and is not a zombie.
inline bool LinuxProcessAlive(long pid) { return LiveLinuxParent(pid) > 0; }

// The live child processes of this one (the module's tool).
inline std::vector<long> ChildProcesses() {
  std::vector<long> children;
#ifdef _WIN32
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID != GetCurrentProcessId()) continue;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) children.push_back(entry.th32ProcessID);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
#else
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return children;
  while (dirent* e = readdir(proc)) {
    const long pid = std::atol(e->d_name);
    if (pid > 0 && LiveLinuxParent(pid) == getpid()) children.push_back(pid);
  }
  closedir(proc);
#endif
  return children;
}

// The module's tools once at least `count` run (waits up to 10 s).
inline std::vector<long> ToolsOnceRunning(std::size_t count = IdleTools()) {
  std::vector<long> tools = ChildProcesses();
  for (int i = 0; i < 500 && tools.size() < count; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    tools = ChildProcesses();
  }
  return tools;
}

// Ends every child process of this one (the module's tool); returns how many.
inline int KillChildProcesses() {
  int killed = 0;
  for (long pid : ChildProcesses()) {
#ifdef _WIN32
    HANDLE process =
        OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) continue;
    if (TerminateProcess(process, 9)) ++killed;
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
#else
    if (kill(static_cast<pid_t>(pid), SIGKILL) == 0) ++killed;
#endif
  }
#ifndef _WIN32
  usleep(200 * 1000);
#endif
  return killed;
}

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Writes the plugin's Config.txt and loads it, with at least one field.
inline void LoadWith(PluginDir& plugin, const std::string& config) {
  plugin.WriteConfig(config);
  char name[64], units[64];
  ASSERT_NE(plugin.Load().GetSupportedField(0, name, units, sizeof name), 0);
}

// Config.txt's lines after the tool line for one field whose tag (with its
// group) is always asked for alone, so that a stand-in sees one request per
// value.
inline const std::string kOneField = "\nx\n1\tEXIF:Model\t0\tft_stringw\t0\t1\tValue\n";

// Makes the module's tool a scripted stand-in: natively the script itself;
// under Wine the bridge (VELTAMO_BRIDGE), told by its environment to run
// the script.
inline std::string StandInToolPath(const std::string& name) {
  const std::string script = Env("VELTAMO_STANDINS") + "/" + name;
#ifdef _WIN32
  SetEnvironmentVariableA("VELTAMO_BRIDGE_TOOL", script.c_str());
  return host::NativePath(Env("VELTAMO_BRIDGE"));
#else
  return script;
#endif
}

inline void UseRealTool() {
#ifdef _WIN32
  SetEnvironmentVariableA("VELTAMO_BRIDGE_TOOL", nullptr);
#endif
}

}  // namespace e2e
