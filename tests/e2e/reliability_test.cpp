// The module under load from several host threads, and with a tool that
// fails: killed, dying mid-reply, silent, refusing to stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e/photos.h"
#include "e2e/processes.h"

namespace {

using namespace e2e;
TEST(ModuleStress, EightThreadsGetTheirOwnValues) {
  UseRealTool();
  PluginDir plugin;
  LoadWith(plugin, ConfigFor(ToolPath()));
  host::Module& m = plugin.module();
  constexpr int kThreads = 8, kCallsPerThread = 250;
  std::atomic<int> answered{0}, delayed{0};
  std::vector<std::string> failures(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(1234 + t);
      for (int i = 0; i < kCallsPerThread && failures[t].empty(); ++i) {
        const std::string photo = kPhotos[random() % std::size(kPhotos)];
        const int field = static_cast<int>(random() % std::size(kColumns));
        std::u16string name = PhotoPath(photo);
        if (random() % 4 == 0) {
          // The host's quick pass, delay-if-slow: a value already read, or
          // 0 with the buffer untouched.
          Value v;
          std::memset(v.bytes, 0x5A, sizeof v.bytes);
          v.result = m.GetValueW(reinterpret_cast<HostWideChar*>(name.data()), field, 0,
                                 v.bytes, sizeof v.bytes, 1);
          if (v.result == 0) {
            if (v.bytes[0] != 0x5A) failures[t] = "a delayed call touched the value";
            ++delayed;
          } else {
            failures[t] = Mismatch(photo, field, v);
            ++answered;
          }
          continue;
        }
        const Value v = Get(m, name, field);
        failures[t] = Mismatch(photo, field, v);
        ++answered;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
  EXPECT_EQ(answered + delayed, kThreads * kCallsPerThread);
  std::printf("stress: %d values and %d delayed calls on %d threads, no mismatch\n",
              answered.load(), delayed.load(), kThreads);
}

// Two copies of the module in one host (installed twice), each starting
// its first tool at the same moment: neither may take the other's pipes.
TEST(ModuleStress, TwoCopiesStartTheirToolsAtOnce) {
  UseRealTool();
  const std::u16string canon = PhotoPath("canon.jpg");
  for (int round = 0; round < 6; ++round) {
    PluginDir first, second;
    LoadWith(first, ConfigFor(ToolPath()));
    LoadWith(second, ConfigFor(ToolPath()));
    std::atomic<int> ready{0};
    std::string failures[2];
    auto ask = [&](host::Module& m, std::string& failure) {
      ++ready;
      while (ready.load() < 2) std::this_thread::yield();
      failure = Mismatch("canon.jpg", 1, Get(m, canon, 1));
    };
    std::thread one(ask, std::ref(first.module()), std::ref(failures[0]));
    std::thread other(ask, std::ref(second.module()), std::ref(failures[1]));
    one.join();
    other.join();
    EXPECT_EQ(failures[0], "") << "round " << round;
    EXPECT_EQ(failures[1], "") << "round " << round;
  }
}

// Hosts ask from worker threads that come and go: the tools that one of
// them started (the host's and the standby) must outlive it (a parent-death
// signal tied to that thread would end them with it).
TEST(ModuleStress, ToolOutlivesTheHostThreadThatStartedIt) {
  UseRealTool();
  PluginDir plugin;
  LoadWith(plugin, ConfigFor(ToolPath()));
  const std::u16string canon = PhotoPath("canon.jpg");
  std::thread worker([&] { EXPECT_EQ(Get(plugin.module(), canon, 1).Text(), u"Canon EOS 5D Mark IV"); });
  worker.join();
  const std::vector<long> started = ToolsOnceRunning();
  ASSERT_EQ(started.size(), IdleTools());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(ChildProcesses(), started) << "the tool ended with the thread that started it";
  EXPECT_EQ(Get(plugin.module(), canon, 7).As<std::int32_t>(), 400);
  EXPECT_EQ(ChildProcesses(), started);
}

TEST(ModuleFaults, ToolKilledBetweenRequestsIsStartedAgain) {
  UseRealTool();
  PluginDir plugin;
  LoadWith(plugin, ConfigFor(ToolPath()));
  EXPECT_EQ(Get(plugin.module(), PhotoPath("canon.jpg"), 1).Text(), u"Canon EOS 5D Mark IV");
  ASSERT_GE(KillChildProcesses(), 1);
  // A file not read yet needs the tool.
  const std::u16string nikon = PhotoPath("nikon café ünï.jpg");
  EXPECT_EQ(Get(plugin.module(), nikon, 1).Text(), u"NIKON D850");
  EXPECT_EQ(Get(plugin.module(), nikon, 7).As<std::int32_t>(), 64);
}

// A program that dies before its first answer gives way to the next one
// found: here the tool line names it by its full path, and the tool beside
// the module comes next. Natively it dies as a copy of the script does
// without its library; under Wine it is the Windows package's exiftool.exe
// without its exiftool_files/.
TEST(ModuleFaults, AToolThatDiesAtOnceGivesWayToTheNextOne) {
  UseRealTool();
  PluginDir plugin;
  const std::string besideModule = plugin.InstallTool();
  const fs::path broken = plugin.dir() / "broken" / besideModule;
  fs::create_directories(broken.parent_path());
#ifdef _WIN32
  fs::copy_file(EnvPath("VELTAMO_TOOL"), broken);
#else
  std::ofstream(broken) << "#!/usr/bin/perl\nuse Image::ExifTool::VeltamoNotInstalled;\n";
  fs::permissions(broken, fs::perms::owner_all, fs::perm_options::add);
#endif
  LoadWith(plugin, ConfigFor("\"" + broken.u8string() + "\""));
  for (const std::string photo : {"canon.jpg", "scan 01.tif"})
    for (int field : {1, 7})
      EXPECT_EQ(Mismatch(photo, field, Get(plugin.module(), PhotoPath(photo), field)), "")
          << photo << ", field " << field;
}


// Each request below is for a file not read before: nothing comes from what
// the module keeps.
TEST(ModuleFaults, ToolDyingMidReplyGivesNoValueAndIsReplaced) {
  PluginDir plugin;
  LoadWith(plugin, "1 F\t0\n" + StandInToolPath("dies_midreply") + kOneField);
  EXPECT_EQ(Get(plugin.module(), PhotoPath("canon.jpg"), 0).Text(), u"first");
  // never the half value
  EXPECT_EQ(Get(plugin.module(), PhotoPath("scan 01.tif"), 0).result, -3);
  // a fresh tool
  EXPECT_EQ(Get(plugin.module(), PhotoPath("odd values.jpg"), 0).Text(), u"first");
  UseRealTool();
}

TEST(ModuleFaults, UnloadEndsAToolThatWillNotStop) {
  PluginDir plugin;
  LoadWith(plugin, "1 F\t0\n" + StandInToolPath("ignores_stop") + kOneField);
  const Value v = Get(plugin.module(), PhotoPath("canon.jpg"), 0);
  ASSERT_EQ(v.result, 11);
  const std::u16string text = v.Text();
  const long pid = std::stol(std::string(text.begin(), text.end()));
  ASSERT_TRUE(LinuxProcessAlive(pid));
  const Clock::time_point start = Clock::now();
  plugin.module().Unload();
  const double seconds = SecondsSince(start);
  EXPECT_LT(seconds, 3.0);
  for (int i = 0; i < 50 && LinuxProcessAlive(pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(LinuxProcessAlive(pid)) << "tool process " << pid << " left behind";
  std::printf("unload with a tool that ignores the stop request: %.1f s\n", seconds);
  UseRealTool();
}

#ifdef _WIN32
// A host ended by TerminateProcess while its tool runs: the tool goes with
// it (here a stand-in that would otherwise outlive its input for minutes,
// and that gives its Linux process id as the value). SIGKILL of a host is
// tried by host_killed.sh on both builds.
TEST(ModuleFaults, ToolDiesWithATerminatedHost) {
  PluginDir plugin;
  plugin.WriteConfig("1 F\t0\n" + StandInToolPath("ignores_stop") + kOneField);
  const std::wstring module = (plugin.dir() / EnvPath("VELTAMO_MODULE").filename()).wstring();
  std::wstring commandLine = L"\"" + EnvPath("VELTAMO_HOST").wstring() + L"\" \"" + module +
                             L"\" hold \"" + host::Wide(host::ToUtf8(PhotoPath("canon.jpg"))) +
                             L"\" 0";
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherited, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION host{};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                             nullptr, &startup, &host));
  CloseHandle(writeEnd);
  CloseHandle(host.hThread);
  std::string output;
  char chunk[256];
  DWORD got = 0;
  while (output.find("holding") == std::string::npos &&
         ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0)
    output.append(chunk, got);
  ASSERT_NE(output.find("holding"), std::string::npos) << output;
  const long pid = std::atol(output.c_str());
  ASSERT_GT(pid, 0) << output;
  ASSERT_TRUE(LinuxProcessAlive(pid));

  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(TerminateProcess(host.hProcess, 9));
  WaitForSingleObject(host.hProcess, 5000);
  while (LinuxProcessAlive(pid) && SecondsSince(start) < 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const double seconds = SecondsSince(start);
  EXPECT_FALSE(LinuxProcessAlive(pid)) << "the tool outlived its host";
  EXPECT_LT(seconds, 1.5);
  std::printf("host ended by TerminateProcess: its tool was gone %.2f s later\n", seconds);
  CloseHandle(host.hProcess);
  CloseHandle(readEnd);
  UseRealTool();
}
#endif

TEST(ModuleFaults, UnloadStopsTheRealToolPromptly) {
  UseRealTool();
  PluginDir plugin;
  LoadWith(plugin, ConfigFor(ToolPath()));
  EXPECT_EQ(Get(plugin.module(), PhotoPath("canon.jpg"), 0).Text(), u"Canon");
  const Clock::time_point start = Clock::now();
  plugin.module().Unload();
  EXPECT_LT(SecondsSince(start), 3.0);
  EXPECT_EQ(KillChildProcesses(), 0) << "the tool outlived the module";
}

}  // namespace
