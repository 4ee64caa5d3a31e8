#include "common.h"

#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <sys/personality.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace bench {

void Fail(const std::string& message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, message.c_str());
  std::exit(2);
}

void ReadOptions(int argc, char** argv, const char* usage, RunOptions& run,
                 const std::function<bool(const std::string& option, const std::string& value)>&
                     take) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--random-tools") {
      run.alikeTools = false;
      continue;
    }
    if (arg == "--help" || arg == "-h") Fail(usage);
    if (i + 1 >= argc) Fail("missing value after " + arg + "\n" + usage);
    const std::string value = argv[++i];
    if (arg == "--module") run.module = value;
    else if (arg == "--photos") run.photos = value;
    else if (arg == "--names") run.names = value;
    else if (arg == "--config") run.config = value;
    else if (arg == "--tool") run.tool = value;
    else if (arg == "--work") run.work = value;
    else if (arg == "--rounds") run.rounds = static_cast<int>(Number(arg, value, 1));
    else if (!take(arg, value)) Fail("unknown option " + arg + "\n" + usage);
  }
  if (run.photos.empty() || run.config.empty() || run.module.empty()) Fail(usage);
  if (run.names.empty()) run.names = run.photos + "/names";
}

void PrepareRun(const RunOptions& run) {
  setenv("TZ", "UTC", 1);
  tzset();
  if (run.alikeTools) MakeToolsAlike();
  signal(SIGPIPE, SIG_IGN);
}

std::string WorkDir(const RunOptions& run, const std::string& prefix) {
  if (!run.work.empty()) {
    mkdir(run.work.c_str(), 0755);
    return run.work;
  }
  std::string templ = "/tmp/" + prefix + "-XXXXXX";
  if (mkdtemp(templ.data()) == nullptr) Fail("mkdtemp");
  return templ;
}

long Number(const std::string& option, const std::string& value, long least) {
  char* end = nullptr;
  const long n = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || n < least)
    Fail(option + " takes a number of at least " + std::to_string(least) + ", not \"" +
         value + "\"");
  return n;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ProcessCpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  const std::string stat((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  // The fields after the command name, which is in parentheses; utime and
  // stime are fields 14 and 15.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 > stat.size()) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  int found = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i == 14 || i == 15) {
      ticks += std::strtod(field.c_str(), nullptr);
      ++found;
    }
  if (found != 2) return -1;
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long StatusKb(pid_t pid, const char* key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  const std::size_t keyLength = std::strlen(key);
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength &&
        line[keyLength] == ':')
      return std::strtol(line.c_str() + keyLength + 1, nullptr, 10);
  return -1;
}

std::vector<pid_t> ChildPids() {
  // Any thread of this process may have started a child (the module starts
  // its tool from a thread of its own): every process whose parent is this
  // one.
  const pid_t self = getpid();
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return pids;
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)),
                           std::istreambuf_iterator<char>());
    // After the command name in parentheses: the state, then the parent.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    long parent = 0;
    if (fields >> state >> parent && parent == self) pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  std::sort(pids.begin(), pids.end());
  return pids;
}

void MakeToolsAlike() {
  setenv("PERL_HASH_SEED", "0", 1);
  setenv("PERL_PERTURB_KEYS", "0", 1);
  const int current = personality(0xffffffff);
  if (current != -1) personality(static_cast<unsigned long>(current) | ADDR_NO_RANDOMIZE);
}

std::string FullPath(const std::string& path) {
  char* full = realpath(path.c_str(), nullptr);
  if (full == nullptr) Fail("cannot find " + path);
  const std::string result = full;
  free(full);
  return result;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << data;
  if (!out.flush()) Fail("cannot write " + path);
}

namespace {

// The names in `dir` that `keep` accepts, sorted, or in the folder's own
// order when `sorted` is false.
template <typename Keep>
std::vector<std::string> List(const std::string& dir, Keep keep, bool sorted = true) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) Fail("cannot list " + dir);
  while (dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (keep(dir + "/" + name, name)) names.push_back(dir + "/" + name);
  }
  closedir(d);
  if (sorted) std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::vector<std::string> JpegFiles(const std::string& dir, bool sorted) {
  return List(
      dir,
      [](const std::string& path, const std::string& name) {
        struct stat st {};
        return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".jpg") == 0 &&
               stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
      },
      sorted);
}

std::vector<std::string> ListedEntries(const std::string& dir) {
  return List(dir, [](const std::string&, const std::string&) { return true; }, false);
}

std::vector<std::string> SubFolders(const std::string& dir) {
  return List(dir, [](const std::string& path, const std::string&) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  });
}

}  // namespace bench
