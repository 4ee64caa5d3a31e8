// Value throughput of the module, measured against what its design allows.
//
//   (P) the module: ContentGetValueW for every photo and every field
//       (unit index 0), through the loaded module, as a host calls it;
//   (R) the limit: this program's own loop over one Exiftool in stay-open
//       mode, sending exactly the argument lines the module sends for each
//       value and reading up to the "{ready}" marker;
//   (S) the way without a long-lived tool: one `exiftool -s3 -fast -TAG [-n]
//       FILE` process per value, on a sample, its rate extrapolated.
//
// P and R run in turns, block by block (R, P, P, R, R, P, ...), so that
// neither gets all the warm disk cache or a quiet moment of the computer,
// over several rounds with fresh tool processes; medians are reported. Every
// value of the first P round is compared with the value of the first R round
// for the same photo and field, so that both loops demonstrably do the same
// work.
// Last, the process's resident set size is read before and after a long
// series of module values, after a warm-up.
//
// Usage: veltamo_bench --module PATH --photos DIR --config Config.txt
//        [--tool /usr/bin/exiftool] [--rounds 5] [--block 500] [--spawn-sample 30]
//        [--memory-values 10000] [--memory-warmup 500] [--work DIR]
//        [--random-tools]
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/personality.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "host/module_loader.h"
#include "host/utf.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "veltamo_bench: %s\n", message.c_str());
  std::exit(2);
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// CPU time of this process (user and system), in seconds: the host side of
// each exchange, without the tool's own work.
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The value at fraction `q` of the sorted values.
double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  const std::size_t at = static_cast<std::size_t>(q * (values.size() - 1));
  std::nth_element(values.begin(), values.begin() + at, values.end());
  return values[at];
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// ------------------------------------------------------------- UTF-8/UTF-16

std::u16string Utf16(std::string_view utf8) { return host::ToUtf16(utf8); }
std::string Utf8(const char16_t* s) { return host::ToUtf8(s); }

// ------------------------------------------------------------ configuration

// A field as the module reads it from a full-syntax Config.txt line.
struct Field {
  std::string tag;          // what the tool is asked for
  std::string name;         // column name
  std::string units;        // "|"-separated entries
  int type = 11;            // host field type code
  std::string unit;         // entry number 0 of `units`
  bool numeric = false;     // whether the request carries "-n"
};

int TypeCode(std::string_view name) {
  static const struct { const char* name; int code; } kTypes[] = {
      {"ft_nomorefields", 0}, {"ft_numeric_32", 1}, {"ft_numeric_64", 2},
      {"ft_numeric_floating", 3}, {"ft_date", 4}, {"ft_time", 5}, {"ft_boolean", 6},
      {"ft_multiplechoice", 7}, {"ft_string", 8}, {"ft_fulltext", 9},
      {"ft_datetime", 10}, {"ft_comparecontent", 100}};
  for (const auto& t : kTypes)
    if (EqualsIgnoreAsciiCase(name, t.name)) return t.code;
  return 11;
}

struct Config {
  std::string text;  // as written into the bench's plugin directory
  std::vector<Field> fields;
};

// Reads the full-syntax Config.txt at `path`, puts `tool` on its tool path
// line, and works out each field's request as the module builds it.
Config ReadConfig(const std::string& path, const std::string& tool) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (lines.size() < 3) Fail(path + ": too short for a Config.txt");

  // Header: count, one character, the syntax letter, the column separator.
  const std::string& header = lines[0];
  char* end = nullptr;
  const long declared = std::strtol(header.c_str(), &end, 10);
  const std::size_t at = static_cast<std::size_t>(end - header.c_str());
  if (declared <= 0 || header.size() < at + 3 || header[at + 1] != 'F')
    Fail(path + ": the benchmark reads full-syntax (\"F\") configurations only");
  const char separator = header[at + 2];

  Config config;
  const std::size_t tab = lines[1].find('\t');
  lines[1] = tool + (tab == std::string::npos ? std::string() : lines[1].substr(tab));
  for (const std::string& line : lines) config.text += line + "\n";

  for (std::size_t i = 3; i < lines.size() &&
                          config.fields.size() < static_cast<std::size_t>(declared);
       ++i) {
    std::vector<std::string> columns;
    std::size_t start = 0;
    for (int c = 0; c < 7; ++c) {
      const std::size_t stop = lines[i].find(separator, start);
      if (stop == std::string::npos && c < 6) break;
      columns.push_back(lines[i].substr(start, stop == std::string::npos ? std::string::npos
                                                                         : stop - start));
      start = stop == std::string::npos ? lines[i].size() : stop + 1;
    }
    if (columns.size() < 7 || columns[0].empty() || columns[0][0] != '1') continue;
    Field field;
    field.tag = columns[1].substr(0, columns[1].find_first_of("=< "));
    if (field.tag.empty()) continue;
    field.type = TypeCode(columns[3]);
    field.name = columns[6];
    field.units = lines[i].substr(std::min(start, lines[i].size()));
    field.unit = field.units.substr(0, field.units.find('|'));
    field.numeric = !field.unit.empty() && !EqualsIgnoreAsciiCase(field.unit, "Default");
    config.fields.push_back(field);
  }
  if (config.fields.empty()) Fail(path + ": no fields");
  return config;
}

std::string Request(const Field& field, const std::string& file) {
  std::string request = "-" + field.tag + "\n-fast\n-s3\n-charset\nFileName=UTF8\n";
  if (field.numeric) request += "-n\n";
  return request + file + "\n-execute\n";
}

// ------------------------------------------------------------------ photos

std::vector<std::string> Photos(const std::string& dir) {
  std::vector<std::string> files;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) Fail("cannot list " + dir);
  while (dirent* entry = readdir(d)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && EqualsIgnoreAsciiCase(name.substr(name.size() - 4), ".jpg"))
      files.push_back(dir + "/" + name);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  if (files.empty()) Fail("no .jpg photos in " + dir);
  return files;
}

// ---------------------------------------------------------------- processes

struct Child {
  pid_t pid = -1;
  int input = -1;   // its standard input, or -1
  int output = -1;  // its standard output (and error, when merged)
};

// Starts `argv` with pipes; standard error joins standard output when
// `mergeErrors`, and goes to /dev/null otherwise.
Child Spawn(const std::vector<std::string>& words, bool withInput, bool mergeErrors) {
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);

  int out[2], in[2] = {-1, -1};
  if (pipe2(out, O_CLOEXEC) != 0) Fail("pipe");
  if (withInput && pipe2(in, O_CLOEXEC) != 0) Fail("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (withInput) posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  else posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (mergeErrors) posix_spawn_file_actions_adddup2(&actions, out[1], 2);
  else posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  Child child;
  const int result =
      posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (withInput) close(in[0]);
  if (result != 0) Fail("cannot start " + words[0] + ": " + std::strerror(result));
  child.output = out[0];
  child.input = withInput ? in[1] : -1;
  return child;
}

void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(std::string("write to the tool: ") + std::strerror(errno));
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Drops the one line end that the tool puts after a value.
void TrimLineEnd(std::string& reply) {
  if (!reply.empty() && reply.back() == '\n') reply.pop_back();
}

// The raw loop's tool: Exiftool in stay-open mode, started as the module
// starts it, asked one value at a time.
class StayOpenTool {
 public:
  explicit StayOpenTool(const std::string& tool) {
    child_ = Spawn({tool, "-charset", "FileName=UTF8", "-stay_open", "true", "-@", "-"},
                   true, true);
  }
  ~StayOpenTool() {
    WriteAll(child_.input, "-stay_open\nFalse\n");
    close(child_.input);
    char sink[4096];
    while (read(child_.output, sink, sizeof sink) > 0) {
    }
    close(child_.output);
    int status = 0;
    waitpid(child_.pid, &status, 0);
  }
  StayOpenTool(const StayOpenTool&) = delete;
  pid_t Pid() const { return child_.pid; }
  StayOpenTool& operator=(const StayOpenTool&) = delete;

  // Sends `request` and returns what came before the marker line.
  void Ask(std::string_view request, std::string& reply) {
    WriteAll(child_.input, request);
    reply.clear();
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(child_.output, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail("the raw loop's tool ended");
      reply.append(buffer, static_cast<std::size_t>(n));
      static constexpr std::string_view kMarker = "{ready}\n";
      if (reply.size() >= kMarker.size() &&
          reply.compare(reply.size() - kMarker.size(), kMarker.size(), kMarker) == 0 &&
          (reply.size() == kMarker.size() || reply[reply.size() - kMarker.size() - 1] == '\n')) {
        reply.resize(reply.size() - kMarker.size());
        TrimLineEnd(reply);
        return;
      }
    }
  }

 private:
  Child child_;
};

// One process per value: what it prints on its standard output.
std::string OneShot(const std::string& tool, const Field& field, const std::string& file) {
  std::vector<std::string> words{tool, "-s3", "-fast", "-" + field.tag};
  if (field.numeric) words.push_back("-n");
  words.push_back(file);
  Child child = Spawn(words, false, false);
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(child.output, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  close(child.output);
  int status = 0;
  waitpid(child.pid, &status, 0);
  TrimLineEnd(out);
  return out;
}

// ------------------------------------------------------------------- memory

// A "Vm..." line of /proc/<pid>/status, in kB; -1 when it cannot be read.
long StatusKb(const std::string& pid, const char* key) {
  std::ifstream in("/proc/" + pid + "/status");
  const std::size_t keyLength = std::strlen(key);
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, keyLength, key) == 0 && line.size() > keyLength &&
        line[keyLength] == ':')
      return std::strtol(line.c_str() + keyLength + 1, nullptr, 10);
  return -1;
}

// CPU time (user and system) that process `pid` has used, in seconds; -1
// when it cannot be read.
double ProcessCpuSeconds(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The fields after the command name, which is in parentheses.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i == 14 || i == 15) ticks += std::strtod(field.c_str(), nullptr);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The children of this process's main thread, from /proc.
std::vector<std::string> ChildPids() {
  const std::string self = std::to_string(getpid());
  std::ifstream in("/proc/" + self + "/task/" + self + "/children");
  std::vector<std::string> pids;
  for (std::string pid; in >> pid;) pids.push_back(pid);
  return pids;
}

// ------------------------------------------------------------------- module

struct Job {
  std::u16string name;  // for the module
  const std::string* file;
  const Field* field;
  int fieldIndex;
  std::string request;  // for the raw loop
};

alignas(8) unsigned char gBuffer[8192];
constexpr int kBufferBytes = sizeof gBuffer;  // hosts give the size in bytes

int ModuleValue(host::Module& module, const Job& job) {
  return module.GetValueW(
      reinterpret_cast<HostWideChar*>(const_cast<char16_t*>(job.name.c_str())),
      job.fieldIndex, 0, gBuffer, kBufferBytes, 0);
}

std::string DateTimeText(std::uint64_t fileTime) {
  const std::int64_t seconds =
      static_cast<std::int64_t>(fileTime / 10000000u) - 11644473600LL;
  const time_t t = static_cast<time_t>(seconds);
  tm parts{};
  gmtime_r(&t, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y:%m:%d %H:%M:%S", &parts);
  return text;
}

// What the module delivered in `gBuffer` for result `code`, as text.
struct Delivered {
  int code = 0;
  std::string text;
  double number = 0;
};

Delivered ReadDelivered(int code) {
  Delivered d;
  d.code = code;
  switch (code) {
    case 1: {
      std::int32_t v;
      std::memcpy(&v, gBuffer, sizeof v);
      d.number = v;
      d.text = std::to_string(v);
      break;
    }
    case 2: {
      std::int64_t v;
      std::memcpy(&v, gBuffer, sizeof v);
      d.number = static_cast<double>(v);
      d.text = std::to_string(v);
      break;
    }
    case 3: {
      double v;
      std::memcpy(&v, gBuffer, sizeof v);
      d.number = v;
      char text[40];
      std::snprintf(text, sizeof text, "%.17g", v);
      d.text = text;
      break;
    }
    case 10: {
      std::uint64_t v;
      std::memcpy(&v, gBuffer, sizeof v);
      d.text = DateTimeText(v);
      break;
    }
    case 11:
      d.text = Utf8(reinterpret_cast<const char16_t*>(gBuffer));
      break;
    default:
      break;
  }
  return d;
}

enum class Kind { kText, kNumber, kDateTime, kEmpty };

// Whether the module's value agrees with the raw loop's reply for `field`:
// the same text, the same number, the same date and time (the process runs
// with TZ=UTC), or the empty-reply code for an empty reply.
bool Agrees(const Field& field, const std::string& raw, const Delivered& d, Kind* kind) {
  if (raw.empty()) {
    *kind = Kind::kEmpty;
    return d.code == -3;
  }
  const bool asText = EqualsIgnoreAsciiCase(field.unit, "Default") || field.type == 11;
  const bool numericType = field.type >= 1 && field.type <= 3;
  if (asText) {
    *kind = Kind::kText;
    return d.code == 11 && d.text == raw;
  }
  if ((numericType && field.unit.empty()) || field.unit == "#") {
    *kind = Kind::kNumber;
    if (d.code != field.type) return false;
    if (field.type == 3) {
      const double expected = std::strtod(raw.c_str(), nullptr);
      return d.number == expected ||
             std::fabs(d.number - expected) <= 1e-12 * std::fabs(expected);
    }
    return d.number == static_cast<double>(std::strtoll(raw.c_str(), nullptr, 10));
  }
  *kind = Kind::kDateTime;
  return field.type == 10 && d.code == 10 && raw.compare(0, 19, d.text) == 0;
}

// ------------------------------------------------------------------ options

struct Options {
  std::string module, photos, config, work;
  std::string tool = "/usr/bin/exiftool";
  int rounds = 5;
  int block = 500;
  bool alikeTools = true;
  int spawnSample = 30;
  int memoryValues = 10000;
  int memoryWarmup = 500;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--random-tools") {
      o.alikeTools = false;
      continue;
    }
    if (i + 1 >= argc) Fail("missing value after " + arg);
    const std::string value = argv[++i];
    if (arg == "--module") o.module = value;
    else if (arg == "--photos") o.photos = value;
    else if (arg == "--config") o.config = value;
    else if (arg == "--tool") o.tool = value;
    else if (arg == "--work") o.work = value;
    else if (arg == "--rounds") o.rounds = std::max(1, std::atoi(value.c_str()));
    else if (arg == "--block") o.block = std::max(1, std::atoi(value.c_str()));
    else if (arg == "--spawn-sample") o.spawnSample = std::max(1, std::atoi(value.c_str()));
    else if (arg == "--memory-values") o.memoryValues = std::max(1, std::atoi(value.c_str()));
    else if (arg == "--memory-warmup") o.memoryWarmup = std::max(0, std::atoi(value.c_str()));
    else Fail("unknown option " + arg);
  }
  if (o.module.empty() || o.photos.empty() || o.config.empty())
    Fail("usage: veltamo_bench --module PATH --photos DIR --config Config.txt "
         "[--tool PATH] [--rounds N] [--block N] [--spawn-sample N] [--memory-values N] "
         "[--memory-warmup N] [--work DIR] [--random-tools]");
  return o;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The benchmark's working directory: `--work`, or a fresh one under /tmp.
std::string WorkDir(const Options& o) {
  if (!o.work.empty()) {
    mkdir(o.work.c_str(), 0755);
    return o.work;
  }
  char templ[] = "/tmp/veltamo-bench-XXXXXX";
  if (mkdtemp(templ) == nullptr) Fail("mkdtemp");
  return templ;
}

// A plugin directory of the benchmark's own: a copy of the module beside
// the Config.txt to measure. Returns the copy's path.
std::string MakePluginDir(const std::string& dir, const std::string& modulePath,
                          const Config& config) {
  mkdir(dir.c_str(), 0755);
  const std::string module = ReadFile(modulePath);
  if (module.empty()) Fail("cannot read " + modulePath);
  const std::string base = modulePath.substr(modulePath.rfind('/') + 1);
  std::ofstream(dir + "/" + base, std::ios::binary | std::ios::trunc) << module;
  std::ofstream(dir + "/Config.txt", std::ios::binary | std::ios::trunc) << config.text;
  return dir + "/" + base;
}

// The module's field list must be the one the raw loop asks for.
void CheckFields(host::Module& module, const Config& config) {
  for (std::size_t i = 0;; ++i) {
    char name[1024] = {0}, units[1024] = {0};
    const int type = module.GetSupportedField(static_cast<int>(i), name, units, sizeof name);
    if (type == 0) {
      if (i != config.fields.size())
        Fail("the module offers " + std::to_string(i) + " fields, Config.txt has " +
             std::to_string(config.fields.size()));
      return;
    }
    if (i >= config.fields.size() || config.fields[i].name != name ||
        config.fields[i].units != units || config.fields[i].type != type)
      Fail("field " + std::to_string(i) + " of the module (\"" + name +
           "\") is not the one read from Config.txt");
  }
}

void LoadModule(host::Module& module, const std::string& path, const Config& config) {
  if (!module.Load(path)) {
    const char* why = dlerror();
    Fail("cannot load " + path + (why ? std::string(": ") + why : std::string()));
  }
  CheckFields(module, config);
}

// The module's tool: the child of this process that is none of `others`.
std::string ModuleToolPid(const std::vector<std::string>& others) {
  for (const std::string& pid : ChildPids())
    if (std::find(others.begin(), others.end(), pid) == others.end()) return pid;
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  // Date-time values are compared as UTC calendar times.
  setenv("TZ", "UTC", 1);
  tzset();
  // Both tools (this program's and the module's, which inherit this
  // process's environment and personality) with the same fixed hash order
  // and the same address layout: one Perl process can otherwise be some
  // percent faster than the next for the same work, by its random hash seed
  // and where its memory happens to lie.
  if (o.alikeTools) {
    setenv("PERL_HASH_SEED", "0", 1);
    setenv("PERL_PERTURB_KEYS", "0", 1);
    const int current = personality(0xffffffff);
    if (current != -1) personality(static_cast<unsigned long>(current) | ADDR_NO_RANDOMIZE);
  }
  signal(SIGPIPE, SIG_IGN);

  const Config config = ReadConfig(o.config, o.tool);
  const std::vector<std::string> photos = Photos(o.photos);
  const std::string work = WorkDir(o);

  std::vector<Job> jobs;
  for (const std::string& file : photos)
    for (std::size_t f = 0; f < config.fields.size(); ++f)
      jobs.push_back({Utf16(file), &file, &config.fields[f], static_cast<int>(f),
                      Request(config.fields[f], file)});

  std::printf("Veltamo value benchmark\n");
  std::printf("  module   %s (a fresh copy each round, in a plugin directory of its own)\n",
              o.module.c_str());
  std::printf("  tool     %s, stay-open (a fresh one for each side each round)\n",
              o.tool.c_str());
  std::printf("  photos   %zu in %s, %zu fields, unit index 0: %zu values a pass\n",
              photos.size(), o.photos.c_str(), config.fields.size(), jobs.size());
  std::printf("  rounds   %d, each in blocks of %d values, R and P in turns\n", o.rounds,
              o.block);
  std::printf("  perl     %s\n\n",
              o.alikeTools ? "both tools with PERL_HASH_SEED=0 and no address randomisation"
                           : "each tool with its own random hash seed and address layout");
  std::fflush(stdout);

  // Each round loads the module afresh and starts a raw tool of its own, so
  // that the two sides get new tool processes every round: one Perl process
  // can be some percent faster than the next for the same work, and the
  // median over rounds evens that out. Within a round both sides go through
  // all values, in blocks: a block of R and the same block through P (then P
  // and R for the next block, and so on), so that a change of load on the
  // computer hits both alike. The one-process-per-value sample (the first
  // values of the list) runs once a round too, spread over the blocks.
  std::vector<std::string> rawValues(jobs.size());
  std::vector<Delivered> moduleValues(jobs.size());
  std::vector<double> rawRates, moduleRates, spawnRates, roundRatios;
  std::vector<double> rawLatency, moduleLatency;  // seconds per value
  rawLatency.reserve(jobs.size() * o.rounds);
  moduleLatency.reserve(jobs.size() * o.rounds);
  double rawCpu = 0, moduleCpu = 0;          // this process, on each side
  double rawToolCpu = 0, moduleToolCpu = 0;  // the two tools
  bool toolCpuKnown = true;
  std::vector<std::string> moduleToolPids;
  const std::size_t block = static_cast<std::size_t>(o.block);
  const std::size_t blocks = (jobs.size() + block - 1) / block;
  const std::size_t sample = std::min<std::size_t>(jobs.size(), o.spawnSample);
  std::vector<std::string> spawnValues(sample);
  std::string reply;

  for (int round = 0; round < o.rounds; ++round) {
    const bool keep = round == 0;
    host::Module module;
    LoadModule(module,
               MakePluginDir(work + "/round-" + std::to_string(round + 1), o.module, config),
               config);
    StayOpenTool raw(o.tool);
    // Both tools started and past their first replies before any timing.
    for (std::size_t i = 0; i < std::min<std::size_t>(jobs.size(), 50); ++i) {
      raw.Ask(jobs[i].request, reply);
      ModuleValue(module, jobs[i]);
    }
    const std::string rawPid = std::to_string(raw.Pid());
    const std::string modulePid = ModuleToolPid({rawPid});
    moduleToolPids.push_back(modulePid.empty() ? "?" : modulePid);
    const double rawToolStart = ProcessCpuSeconds(rawPid);
    const double moduleToolStart = modulePid.empty() ? -1 : ProcessCpuSeconds(modulePid);

    double rawSeconds = 0, moduleSeconds = 0, spawnSeconds = 0;
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::size_t first = b * block, last = std::min(jobs.size(), first + block);
      auto rawBlock = [&]() {
        const double cpu = ProcessCpuSeconds();
        const Clock::time_point start = Clock::now();
        for (std::size_t i = first; i < last; ++i) {
          const Clock::time_point one = Clock::now();
          raw.Ask(jobs[i].request, reply);
          rawLatency.push_back(SecondsSince(one));
          if (keep) rawValues[i] = reply;
        }
        rawSeconds += SecondsSince(start);
        rawCpu += ProcessCpuSeconds() - cpu;
      };
      auto moduleBlock = [&]() {
        const double cpu = ProcessCpuSeconds();
        const Clock::time_point start = Clock::now();
        for (std::size_t i = first; i < last; ++i) {
          const Clock::time_point one = Clock::now();
          const int code = ModuleValue(module, jobs[i]);
          moduleLatency.push_back(SecondsSince(one));
          if (keep) moduleValues[i] = ReadDelivered(code);
        }
        moduleSeconds += SecondsSince(start);
        moduleCpu += ProcessCpuSeconds() - cpu;
      };
      // Which side goes first alternates from block to block.
      if (b % 2 == 0) {
        rawBlock();
        moduleBlock();
      } else {
        moduleBlock();
        rawBlock();
      }
      // This block's share of the sample.
      const Clock::time_point start = Clock::now();
      for (std::size_t i = b * sample / blocks; i < (b + 1) * sample / blocks; ++i) {
        std::string value = OneShot(o.tool, *jobs[i].field, *jobs[i].file);
        if (keep) spawnValues[i] = std::move(value);
      }
      spawnSeconds += SecondsSince(start);
    }

    const double rawToolEnd = ProcessCpuSeconds(rawPid);
    const double moduleToolEnd = modulePid.empty() ? -1 : ProcessCpuSeconds(modulePid);
    if (rawToolStart < 0 || moduleToolStart < 0 || rawToolEnd < 0 || moduleToolEnd < 0)
      toolCpuKnown = false;
    rawToolCpu += rawToolEnd - rawToolStart;
    moduleToolCpu += moduleToolEnd - moduleToolStart;

    rawRates.push_back(jobs.size() / rawSeconds);
    moduleRates.push_back(jobs.size() / moduleSeconds);
    spawnRates.push_back(sample / spawnSeconds);
    roundRatios.push_back(moduleRates.back() / rawRates.back());
    std::printf("  round %d: R %7.1f values/s   P %7.1f values/s   S %5.1f values/s   "
                "P/R %.3f\n",
                round + 1, rawRates.back(), moduleRates.back(), spawnRates.back(),
                roundRatios.back());
    std::fflush(stdout);
  }

  // P and R must have produced the same values, and S the same as R.
  std::size_t agreed = 0, counts[4] = {0, 0, 0, 0};
  std::vector<std::string> disagreements;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    Kind kind;
    if (Agrees(*jobs[i].field, rawValues[i], moduleValues[i], &kind)) {
      ++agreed;
      ++counts[static_cast<int>(kind)];
    } else if (disagreements.size() < 5) {
      disagreements.push_back(*jobs[i].file + " " + jobs[i].field->tag + ": raw \"" +
                              rawValues[i] + "\", module code " +
                              std::to_string(moduleValues[i].code) + " \"" +
                              moduleValues[i].text + "\"");
    }
  }
  std::size_t spawnAgreed = 0;
  for (std::size_t i = 0; i < sample; ++i) spawnAgreed += spawnValues[i] == rawValues[i];

  // Memory: the process's resident set around a long series of values from
  // one loaded module, after a warm-up.
  host::Module module;
  LoadModule(module, MakePluginDir(work + "/memory", o.module, config), config);
  const std::string self = std::to_string(getpid());
  std::size_t next = 0;
  auto moduleValue = [&]() {
    ModuleValue(module, jobs[next]);
    next = (next + 1) % jobs.size();
  };
  for (int i = 0; i < o.memoryWarmup; ++i) moduleValue();
  const std::vector<std::string> childrenBefore = ChildPids();
  const long rssBefore = StatusKb(self, "VmRSS");
  std::vector<long> checkpoints;
  const int step = std::max(1, o.memoryValues / 5);
  for (int i = 1; i <= o.memoryValues; ++i) {
    moduleValue();
    if (i % step == 0) checkpoints.push_back(StatusKb(self, "VmRSS"));
  }
  const long rssAfter = StatusKb(self, "VmRSS");
  const std::vector<std::string> childrenAfter = ChildPids();

  // ------------------------------------------------------------ the table
  const double p = Median(moduleRates), r = Median(rawRates);
  const double spawnRate = Median(spawnRates);
  std::printf("\n%-44s %12s %12s\n", "", "values/s", "ms/value");
  std::printf("%-44s %12.1f %12.3f\n", "(P) module, ContentGetValueW", p, 1000 / p);
  std::printf("%-44s %12.1f %12.3f\n", "(R) raw stay-open loop (the limit)", r, 1000 / r);
  char label[96];
  std::snprintf(label, sizeof label, "(S) one exiftool per value (sample of %zu)", sample);
  std::printf("%-44s %12.1f %12.3f\n", label, spawnRate, 1000 / spawnRate);
  std::printf("medians of %d rounds; S is the rate of its %zu-value sample, run once a "
              "round, extrapolated\n\n",
              o.rounds, sample);

  const double ratio = Median(roundRatios);
  const double speedup = p / spawnRate;
  std::printf("P/R  %.3f  (%+.1f%%, median of the rounds' ratios; target within 3%%)  %s\n",
              ratio, (ratio - 1) * 100, ratio >= 0.97 ? "met" : "NOT MET");
  std::printf("P/S  %.1fx  (target at least 30x)  %s\n", speedup,
              speedup >= 30 ? "met" : "NOT MET");

  const double totalValues = static_cast<double>(jobs.size()) * o.rounds;
  std::printf("\nlatency per value, median / 90th percentile: P %.3f / %.3f ms, "
              "R %.3f / %.3f ms\n",
              Median(moduleLatency) * 1e3, Quantile(moduleLatency, 0.9) * 1e3,
              Median(rawLatency) * 1e3, Quantile(rawLatency, 0.9) * 1e3);
  std::printf("CPU per value in this process (the host side): P %.1f us, R %.1f us; "
              "the module's own cost %.1f us, %.2f%% of a value\n",
              moduleCpu / totalValues * 1e6, rawCpu / totalValues * 1e6,
              (moduleCpu - rawCpu) / totalValues * 1e6,
              (moduleCpu - rawCpu) / totalValues * r * 100);
  if (toolCpuKnown)
    std::printf("CPU per value in the tools: the module's %.3f ms, the raw loop's %.3f ms\n",
                moduleToolCpu / totalValues * 1e3, rawToolCpu / totalValues * 1e3);
  std::printf("the module's tool, round by round: pid");
  for (const std::string& pid : moduleToolPids) std::printf(" %s", pid.c_str());
  std::printf("\n");

  std::printf("\nvalues: P equals R for %zu of %zu (text %zu, numbers %zu, date-times %zu, "
              "empty replies %zu)\n",
              agreed, jobs.size(), counts[0], counts[1], counts[2], counts[3]);
  for (const std::string& d : disagreements) std::printf("  differs: %s\n", d.c_str());
  std::printf("        S equals R for %zu of %zu\n", spawnAgreed, sample);

  const long growth = rssAfter - rssBefore;
  std::printf("\nmemory: VmRSS after %d warm-up values %ld kB, after %d more %ld kB "
              "(growth %+ld kB)\n",
              o.memoryWarmup, rssBefore, o.memoryValues, rssAfter, growth);
  std::printf("        %s (growth within 64 kB counts as none; at most %.1f bytes a value)\n",
              growth <= 64 ? "no growth" : "GROWS",
              growth > 0 ? growth * 1024.0 / o.memoryValues : 0.0);
  std::printf("        checkpoints every %d values:", step);
  for (long kb : checkpoints) std::printf(" %ld", kb);
  std::printf(" kB\n");
  std::printf("        the module's tool: %s throughout (pid %s)",
              childrenBefore == childrenAfter && childrenAfter.size() == 1 ? "one process"
                                                                            : "RESTARTED",
              childrenAfter.empty() ? "?" : childrenAfter[0].c_str());
  if (!childrenAfter.empty())
    std::printf(", VmRSS %ld kB", StatusKb(childrenAfter[0], "VmRSS"));
  std::printf("\n");

  return agreed == jobs.size() && growth <= 64 ? 0 : 1;
}
