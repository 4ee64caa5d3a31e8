// What the benchmark's files share: failing, timing, medians, files, and
// what /proc says about this process and its children.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& message);

double SecondsSince(Clock::time_point start);
// The options every benchmark takes.
struct RunOptions {
  std::string module;  // the module as the benchmark first names it
  std::string photos;  // the photos asked for
  std::string names;   // folders of more names for the same photos
  std::string config;  // Config.txt whose fields are asked for
  std::string tool = "/usr/bin/exiftool";
  std::string work;    // plugin folders; a fresh one under /tmp if empty
  int rounds = 3;
  bool alikeTools = true;  // every tool with the same Perl hash seed and layout
};
// Reads the options of `argv` into `run` ("--random-tools" clears
// `alikeTools`); every other option takes a value, which `take` keeps
// (false: no such option). Fails with `usage` on "--help", a missing value,
// an unknown option, or no photos, configuration or module. The names
// default to the photos' "names" folder.
void ReadOptions(int argc, char** argv, const char* usage, RunOptions& run,
                 const std::function<bool(const std::string& option, const std::string& value)>&
                     take);
// Readies this process for a run of `run`: date-time values are compared
// as UTC calendar times, the tools are made alike unless told otherwise,
// and a tool's closed pipe ends no write with a signal.
void PrepareRun(const RunOptions& run);
// Where the plugin folders go: `run.work` (made when missing), or a fresh
// folder "/tmp/<prefix>-XXXXXX".
std::string WorkDir(const RunOptions& run, const std::string& prefix);
// The decimal number `value` of `option`; fails when it is none or below
// `least`.
long Number(const std::string& option, const std::string& value, long least);
double Median(std::vector<double> values);

// CPU time (user and system) that this process has used, in seconds.
double OwnCpuSeconds();
// The same for process `pid`, from /proc; -1 when it cannot be read.
double ProcessCpuSeconds(pid_t pid);
// A "Vm..." line of /proc/<pid>/status ("VmRSS"), in kB; -1 when it cannot
// be read.
long StatusKb(pid_t pid, const char* key);
// The processes whose parent is this one.
std::vector<pid_t> ChildPids();

// Every tool (this program's and the modules', which inherit this process's
// environment and personality) with the same fixed Perl hash order and the
// same address layout: one Perl process can otherwise be some percent
// faster than the next for the same work, by its random hash seed and where
// its memory happens to lie.
void MakeToolsAlike();

// `path` as a full path: a host names files by full paths, and the module
// takes nothing else.
std::string FullPath(const std::string& path);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
// The ".jpg" files directly in `dir`, sorted by name, or in the order the
// folder lists them (readdir) when `sorted` is false.
std::vector<std::string> JpegFiles(const std::string& dir, bool sorted = true);
// Every file and folder directly in `dir`, in the order the folder lists them.
std::vector<std::string> ListedEntries(const std::string& dir);
// The folders directly in `dir`, sorted by name.
std::vector<std::string> SubFolders(const std::string& dir);

}  // namespace bench
