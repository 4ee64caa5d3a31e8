// The tool's lifetime through the module: a tool behind a launcher ended as
// a whole, waits that the host's unload cancels, one deadline for a whole
// exchange, and loads and unloads that leave nothing behind.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "e2e/photos.h"
#include "e2e/processes.h"

#ifdef _WIN32
#include <tlhelp32.h>
#endif

namespace {

using namespace e2e;
// A folder of the test's own on the Linux side (under Wine, Z:\tmp\...):
// a launcher that runs the silent stand-in as a child process of its own,
// as some tool packages do. Any process whose command line names
// the folder is one of this test's, and so is any process that one started.
class LaunchDir {
 public:
  LaunchDir()
      : name_("veltamo-launch-" + std::to_string(std::rand()) + "-" +
              std::to_string(Clock::now().time_since_epoch().count())),
        linux_("/tmp/" + name_) {
    const fs::path dir = fs::u8path(host::NativePath(linux_));
    fs::create_directories(dir);
    const std::string standins = Env("VELTAMO_STANDINS");
#ifdef _WIN32
    // launcher.exe starts launched\exiftool.exe (the bridge), which runs
    // the stand-in.
    fs::copy_file(EnvPath("VELTAMO_LAUNCHER"), dir / "launcher.exe");
    fs::create_directories(dir / "launched");
    fs::copy_file(EnvPath("VELTAMO_BRIDGE"), dir / "launched" / "exiftool.exe");
    SetEnvironmentVariableA("VELTAMO_BRIDGE_TOOL", (standins + "/silent").c_str());
    toolLine_ = host::NativePath(linux_ + "/launcher.exe");
#else
    fs::copy_file(fs::u8path(standins + "/silent"), dir / "silent");
    fs::copy_file(fs::u8path(standins + "/launcher"), dir / "launcher");
    toolLine_ = linux_ + "/launcher";
#endif
  }
  ~LaunchDir() {
    UseRealTool();
    std::error_code ignored;
    fs::remove_all(fs::u8path(host::NativePath(linux_)), ignored);
  }
  const std::string& toolLine() const { return toolLine_; }

  // The live processes, of either system, that run from this folder, and
  // those they started.
  int Processes() const {
    std::map<long, long> parents;  // live process -> its parent
    std::set<long> ours;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::u8path(host::NativePath("/proc")), error)) {
      const std::string pid = entry.path().filename().u8string();
      if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
      const long parent = LiveLinuxParent(std::stol(pid));
      if (parent == 0) continue;
      parents[std::stol(pid)] = parent;
      std::ifstream in(entry.path() / "cmdline", std::ios::binary);
      const std::string commandLine((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
      if (commandLine.find(name_) != std::string::npos) ours.insert(std::stol(pid));
    }
    for (bool grew = true; grew;) {
      grew = false;
      for (const auto& [pid, parent] : parents)
        if (ours.count(parent) != 0 && ours.insert(pid).second) grew = true;
    }
    return static_cast<int>(ours.size());
  }

 private:
  std::string name_, linux_, toolLine_;
};

// A launcher, what it launched and, under Wine, the Linux tool behind that.
#ifdef _WIN32
constexpr int kLaunchedProcesses = 3;
#else
constexpr int kLaunchedProcesses = 2;
#endif

// A host unloads the module while one of its threads waits for a tool that
// never answers: with the host's notice first (as real hosts do) and
// without it; the tool started directly, or behind a launcher. The waiting
// call comes back with no value at once, the unload is short, no tool is
// started again and none is left.
void UnloadWithARequestInFlight(bool announced, bool launched) {
  std::unique_ptr<LaunchDir> launch;
  if (launched) launch = std::make_unique<LaunchDir>();
  PluginDir plugin;
  LoadWith(plugin, "1 F\t0\n" + (launched ? launch->toolLine() : StandInToolPath("silent")) +
                       kOneField);
  host::Module& m = plugin.module();
  const std::u16string canon = PhotoPath("canon.jpg");
  std::atomic<int> result{1};
  std::atomic<bool> returned{false};
  std::thread request([&] {
    result = Get(m, canon, 0).result;
    returned = true;
  });
  auto started = [&] { return launched ? launch->Processes() >= kLaunchedProcesses : !ChildProcesses().empty(); };
  for (int i = 0; i < 400 && !started(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ASSERT_TRUE(started()) << "the tool never started";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into the exchange
  ASSERT_FALSE(returned);

  const Clock::time_point start = Clock::now();
  if (announced) {
    m.PluginUnloading();
    const double told = SecondsSince(start);
    while (!returned && SecondsSince(start) < 5)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_LT(SecondsSince(start), 1.0) << "the waiting call came back late";
    EXPECT_EQ(result, -3);
    EXPECT_LT(told, 1.0);
    // No tool is started any more.
    EXPECT_EQ(Get(m, canon, 0).result, -3);
    EXPECT_TRUE(ChildProcesses().empty());
  }
  m.Unload(false);  // unload as such, with no further notice
  const double seconds = SecondsSince(start);
  request.join();
  EXPECT_EQ(result, -3);
  EXPECT_LT(seconds, announced ? 3.0 : 1.5);
  for (int i = 0; i < 40 && (!ChildProcesses().empty() || (launched && launch->Processes() > 0));
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  EXPECT_TRUE(ChildProcesses().empty()) << "a tool outlived the module";
  if (launched) {
    EXPECT_EQ(launch->Processes(), 0) << "a launched tool outlived the module";
  }
  std::printf("unload with a call waiting for a silent tool (%s, %s): %.2f s\n",
              announced ? "announced" : "unannounced", launched ? "behind a launcher" : "direct",
              seconds);
  UseRealTool();
}

TEST(ModuleLifetime, UnloadAnnouncedWithACallInFlight) {
  UnloadWithARequestInFlight(true, false);
  UnloadWithARequestInFlight(true, true);
}
TEST(ModuleLifetime, UnloadUnannouncedWithACallInFlight) {
  UnloadWithARequestInFlight(false, false);
  UnloadWithARequestInFlight(false, true);
}

// A tool that never answers, and tools that send a byte every 5 s and never
// end their reply, each in a module of its own: every request ends at the
// one deadline of 30 s for the whole exchange; a request waiting meanwhile
// for a trickling tool (all the module may start are busy) gives up within
// its own bound, and the next request gets a fresh tool.
TEST(ModuleLifetime, AnExchangeEndsAtItsDeadline) {
  PluginDir silent, trickling;
  // Under Wine the stand-in is named by the environment as each tool starts:
  // the trickling ones start here, the silent one with its first request.
  LoadWith(trickling, "1 F\t0\n" + StandInToolPath("trickles") + kOneField);
  ASSERT_EQ(Get(trickling.module(), PhotoPath("scan 01.tif"), 0).Text(), u"ok");
  const Clock::time_point start = Clock::now();
  double silentSeconds = 0, waitSeconds = 0;
  int silentResult = 0, waitResult = 0;
  std::vector<double> trickleSeconds(ToolsAtMost());
  std::vector<int> trickleResult(ToolsAtMost());
  std::vector<std::thread> trickleCalls;
  for (std::size_t i = 0; i < trickleResult.size(); ++i) {
    trickleCalls.emplace_back([&, i] {
      trickleResult[i] = Get(trickling.module(), PhotoPath("canon.jpg"), 0).result;
      trickleSeconds[i] = SecondsSince(start);
    });
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  LoadWith(silent, "1 F\t0\n" + StandInToolPath("silent") + kOneField);
  std::thread silentCall([&] {
    const Clock::time_point silentStart = Clock::now();
    silentResult = Get(silent.module(), PhotoPath("canon.jpg"), 0).result;
    silentSeconds = SecondsSince(silentStart);
  });
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const Clock::time_point waitStart = Clock::now();
  waitResult = Get(trickling.module(), PhotoPath("truncated.jpg"), 0).result;
  waitSeconds = SecondsSince(waitStart);
  silentCall.join();
  for (std::thread& call : trickleCalls) call.join();
  EXPECT_EQ(silentResult, -3);
  EXPECT_EQ(waitResult, -3);
  EXPECT_GE(silentSeconds, 29.0);
  EXPECT_LT(silentSeconds, 40.0);
  for (std::size_t i = 0; i < trickleResult.size(); ++i) {
    EXPECT_EQ(trickleResult[i], -3);
    EXPECT_GE(trickleSeconds[i], 29.0);
    EXPECT_LT(trickleSeconds[i], 40.0);
  }
  EXPECT_GE(waitSeconds, 9.0);
  EXPECT_LT(waitSeconds, 15.0);
  StandInToolPath("trickles");  // what the fresh tool is, under Wine
  EXPECT_EQ(Get(trickling.module(), PhotoPath("odd values.jpg"), 0).Text(), u"ok");
  std::printf("silent tool: %.1f s; %zu trickling tools: %.1f s; a request waiting for one: "
              "%.1f s\n", silentSeconds, trickleSeconds.size(), trickleSeconds[0],
              waitSeconds);
  UseRealTool();
}

// The host's stop ends a call that waits for the tool at once, and the next
// request gets its value from a fresh tool; a stop while nothing is read
// changes nothing.
TEST(ModuleLifetime, TheHostsStopEndsTheCallInFlight) {
  PluginDir plugin;
  LoadWith(plugin, "1 F\t0\n" + StandInToolPath("trickles") + kOneField);
  host::Module& m = plugin.module();
  ASSERT_NE(m.StopGetValueW, nullptr);
  std::u16string canon = PhotoPath("canon.jpg");
  m.StopGetValueW(reinterpret_cast<HostWideChar*>(canon.data()));
  EXPECT_EQ(Get(m, PhotoPath("scan 01.tif"), 0).Text(), u"ok");

  std::atomic<int> result{1};
  std::atomic<bool> returned{false};
  std::thread request([&] {
    result = Get(m, canon, 0).result;
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_FALSE(returned);
  const Clock::time_point start = Clock::now();
  m.StopGetValueW(reinterpret_cast<HostWideChar*>(canon.data()));
  while (!returned && SecondsSince(start) < 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double seconds = SecondsSince(start);
  request.join();
  EXPECT_EQ(result, -3);
  EXPECT_LT(seconds, 1.0);
  EXPECT_EQ(Get(m, PhotoPath("odd values.jpg"), 0).Text(), u"ok");
  std::printf("the host's stop: the call returned %.2f s later\n", seconds);
  UseRealTool();
}

// What this process holds: handles (POSIX: descriptors) and threads.
struct Held {
  long handles = 0, threads = 0;
};

Held HeldNow() {
  Held held;
#ifdef _WIN32
  // Every handle value that names an object (Wine's GetProcessHandleCount
  // gives no count).
  for (std::uintptr_t value = 4; value < 0x40000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++held.handles;
  }
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++held.threads;
  CloseHandle(snapshot);
#else
  for (const auto& e : fs::directory_iterator("/proc/self/fd")) (void)e, ++held.handles;
  for (const auto& e : fs::directory_iterator("/proc/self/task")) (void)e, ++held.threads;
#endif
  return held;
}

TEST(ModuleLifetime, LoadingAndUnloadingLeaksNothing) {
  UseRealTool();
  PluginDir plugin;
  plugin.WriteConfig(ConfigFor(ToolPath()));
  const std::u16string canon = PhotoPath("canon.jpg");
  auto cycle = [&] {
    host::Module& m = plugin.Load();
    char name[256], units[256];
    int fields = 0;
    while (m.GetSupportedField(fields, name, units, sizeof name) != 0) ++fields;
    EXPECT_EQ(fields, static_cast<int>(std::size(kColumns)));
    EXPECT_EQ(Mismatch("canon.jpg", 1, Get(m, canon, 1)), "");
    m.Unload();
  };
  cycle();
  cycle();
  const Held before = HeldNow();
  for (int i = 0; i < 30; ++i) cycle();
  const Held after = HeldNow();
  EXPECT_LE(after.handles, before.handles + 4) << "handles: " << before.handles << " before";
  EXPECT_LE(after.threads, before.threads + 4) << "threads: " << before.threads << " before";
  EXPECT_EQ(KillChildProcesses(), 0) << "a tool outlived its module";
  std::printf("30 load cycles: handles %ld -> %ld, threads %ld -> %ld\n", before.handles,
              after.handles, before.threads, after.threads);
}

#ifdef _WIN32
// True while the image that holds `code` is mapped in this process.
bool Mapped(const void* code) {
  HMODULE module = nullptr;
  return GetModuleHandleExW(
             GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
             static_cast<LPCWSTR>(code), &module) != 0;
}
#else
bool Mapped(const void*) { return false; }  // dlclose unloads at once
#endif

// A module that reads ahead with every tool it may start is unloaded: at
// once when the host says so first, and without it when the host just
// frees the module (on Windows the module's threads keep it loaded until
// they have nothing to do for a while). No tool and no thread is left, and
// the module is gone before anything is counted.
TEST(ModuleLifetime, UnloadWhileReadingAheadLeavesNoToolNorThread) {
  UseRealTool();
  PluginDir plugin;
  plugin.WriteConfig(ConfigFor(plugin.InstallTool()));
  const fs::path walk = plugin.dir() / "walk";
  fs::create_directories(walk);
  std::vector<std::u16string> files;
  for (int i = 0; i < 80; ++i) {
    const std::string name = "w_" + std::to_string(100 + i) + ".jpg";
    fs::copy_file(EnvPath("VELTAMO_PHOTOS") / "canon.jpg", walk / name);
    files.push_back(Utf16((walk / name).u8string()));
  }
  // The first round makes what a process makes once (Wine starts a thread
  // of its own) before anything is counted.
  Held before;
  for (int round = 0; round < 3; ++round) {
    const bool announce = round < 2;
    if (round == 1) before = HeldNow();
    SCOPED_TRACE(announce ? "announced" : "unannounced");
    host::Module& m = plugin.Load();
    char name[256], units[256];
    ASSERT_EQ(m.GetSupportedField(0, name, units, sizeof name), 11);
    for (int i = 0; i < 56; ++i) EXPECT_EQ(Mismatch("canon.jpg", 1, Get(m, files[i], 1)), "");
    const std::size_t tools = std::min(2, ToolsAtMost());
    const Clock::time_point asked = Clock::now();
    while (ChildProcesses().size() < tools && SecondsSince(asked) < 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ChildProcesses().size(), tools);
    const void* code = reinterpret_cast<const void*>(m.GetDetectString);
    const Clock::time_point start = Clock::now();
    m.Unload(announce);
    const double seconds = SecondsSince(start);
    EXPECT_LT(seconds, 3.0);
    // After the host's notice its FreeLibrary is the last: a host that
    // loads the module again gets a fresh one.
    if (announce) {
      EXPECT_FALSE(Mapped(code)) << "the module outlived the host's unload";
    }
#ifdef _WIN32
    const double allowed = announce ? 0.5 : 15.0;
#else
    const double allowed = 0.5;
#endif
    while ((!ChildProcesses().empty() || Mapped(code)) && SecondsSince(start) < allowed)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(ChildProcesses().empty()) << "a tool outlived the module";
    EXPECT_FALSE(Mapped(code)) << "the module is still loaded";
    std::printf("%s unload while reading ahead: %.2f s, the tools gone after %.2f s\n",
                announce ? "announced" : "unannounced", seconds, SecondsSince(start));
  }
  const Clock::time_point start = Clock::now();
  Held after = HeldNow();
  while (after.threads > before.threads && SecondsSince(start) < 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    after = HeldNow();
  }
  EXPECT_LE(after.threads, before.threads) << "a thread outlived the module";
  EXPECT_LE(after.handles, before.handles + 4) << "handles: " << before.handles << " before";
}

// A host frees the module without saying so while it reads ahead, the
// user edits Config.txt, and the host loads the module again at once: on
// Windows the workers still hold the module, and the host gets the same
// instance back. It shows the fields Config.txt names now.
TEST(ModuleLifetime, ALoadAfterAnUnannouncedFreeReadsTheCurrentConfiguration) {
  UseRealTool();
  PluginDir plugin;
  const std::string tool = plugin.InstallTool();
  plugin.WriteConfig(ConfigFor(tool));
  const fs::path walk = plugin.dir() / "walk";
  fs::create_directories(walk);
  std::vector<std::u16string> files;
  for (int i = 0; i < 60; ++i) {
    const std::string name = "w_" + std::to_string(100 + i) + ".jpg";
    fs::copy_file(EnvPath("VELTAMO_PHOTOS") / "canon.jpg", walk / name);
    files.push_back(Utf16((walk / name).u8string()));
  }
  host::Module* m = &plugin.Load();
  char name[256], units[256];
  ASSERT_EQ(m->GetSupportedField(0, name, units, sizeof name), 11);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(Mismatch("canon.jpg", 1, Get(*m, files[i], 1)), "");
  m->Unload(false);
  plugin.WriteConfig("1 F\t0\n" + tool + "\ttool\nx\n1\tEXIF:Model\t0\tft_stringw\t0\t1\tCamera\n");
  m = &plugin.Load();
  ASSERT_EQ(m->GetSupportedField(0, name, units, sizeof name), 11);
  EXPECT_STREQ(name, "Camera");
  EXPECT_EQ(m->GetSupportedField(1, name, units, sizeof name), 0);
  EXPECT_EQ(Get(*m, files[55], 0).Text(), u"Canon EOS 5D Mark IV");
}

}  // namespace
