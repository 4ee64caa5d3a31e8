// The module under load from several host threads, and with a tool that
// fails: killed, dying mid-reply, silent, refusing to stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e/photos.h"
#include "e2e/processes.h"

namespace {

using namespace e2e;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void LoadWith(PluginDir& plugin, const std::string& config) {
  plugin.WriteConfig(config);
  char name[64], units[64];
  ASSERT_NE(plugin.Load().GetSupportedField(0, name, units, sizeof name), 0);
}

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
        if (random() % 4 == 0) {  // the host's quick pass: delay-if-slow
          unsigned char untouched[8] = {0x5A, 0x5A};
          if (m.GetValueW(reinterpret_cast<HostWideChar*>(name.data()), field, 0, untouched, 4, 1) != 0 ||
              untouched[0] != 0x5A)
            failures[t] = "delay-if-slow call touched the value";
          ++delayed;
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

TEST(ModuleFaults, ToolKilledBetweenRequestsIsStartedAgain) {
  UseRealTool();
  PluginDir plugin;
  LoadWith(plugin, ConfigFor(ToolPath()));
  const std::u16string canon = PhotoPath("canon.jpg");
  EXPECT_EQ(Get(plugin.module(), canon, 1).Text(), u"Canon EOS 5D Mark IV");
  ASSERT_GE(KillChildProcesses(), 1);
  EXPECT_EQ(Get(plugin.module(), canon, 1).Text(), u"Canon EOS 5D Mark IV");
  EXPECT_EQ(Get(plugin.module(), canon, 7).As<std::int32_t>(), 400);
}

const std::string kOneField = "\nx\n1\tModel\t0\tft_stringw\t0\t1\tValue\n";

TEST(ModuleFaults, ToolDyingMidReplyGivesNoValueAndIsReplaced) {
  PluginDir plugin;
  LoadWith(plugin, "1 F\t0\n" + StandInToolPath("dies_midreply") + kOneField);
  const std::u16string file = PhotoPath("canon.jpg");
  EXPECT_EQ(Get(plugin.module(), file, 0).Text(), u"first");
  EXPECT_EQ(Get(plugin.module(), file, 0).result, -3);  // never the half value
  EXPECT_EQ(Get(plugin.module(), file, 0).Text(), u"first");  // a fresh tool
  UseRealTool();
}

TEST(ModuleFaults, SilentToolTimesOut) {
  PluginDir plugin;
  LoadWith(plugin, "1 F\t0\n" + StandInToolPath("silent") + kOneField);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(Get(plugin.module(), PhotoPath("canon.jpg"), 0).result, -3);
  const double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 25.0);
  EXPECT_LT(seconds, 45.0);
  std::printf("silent tool: the call returned after %.1f s\n", seconds);
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
  EXPECT_LT(seconds, 8.0);
  for (int i = 0; i < 50 && LinuxProcessAlive(pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(LinuxProcessAlive(pid)) << "tool process " << pid << " left behind";
  std::printf("unload with a tool that ignores the stop request: %.1f s\n", seconds);
  UseRealTool();
}

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
