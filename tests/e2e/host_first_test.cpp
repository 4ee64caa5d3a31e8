// The host's calls before reading ahead, and stops that end only what they
// name: through the module, with a stand-in tool that is slow on some files
// and answers each with its name and its process id.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "e2e/photos.h"
#include "e2e/processes.h"

namespace {

using namespace e2e;

class HostFirst : public ::testing::Test {
 protected:
  void SetUp() override {
    LoadWith(plugin_, "1 F\t0\n" + StandInToolPath("slow_named") +
                          "\nx\n1\tModel\t0\tft_stringw\t0\t1\tValue\n");
  }
  void TearDown() override { UseRealTool(); }
  host::Module& M() { return plugin_.module(); }
  // An empty file `name` in a folder of its own, or in `folder`.
  std::u16string MakeFile(const std::string& name, const std::string& folder = "") {
    const fs::path dir = plugin_.dir() / (folder.empty() ? "only " + name : folder);
    fs::create_directories(dir);
    std::ofstream(dir / name) << "";
    return Utf16((dir / name).u8string());
  }
  void Stop(std::u16string name) { M().StopGetValueW(reinterpret_cast<HostWideChar*>(name.data())); }
  // The file's name when the value came back for it, else its result.
  static std::string Answer(const Value& v) {
    if (v.result != 11) return "result " + std::to_string(v.result);
    const std::string text = host::ToUtf8(v.Text());
    return text.substr(0, text.find(' '));
  }

  static std::vector<long> Sorted(std::vector<long> pids) {
    std::sort(pids.begin(), pids.end());
    return pids;
  }

  PluginDir plugin_;
};

// 200 files; the host fills a screen (0 to 39), so 40 to 79 are read ahead,
// and the tool takes 12 s on file 45. The user jumps to the end: files 150
// and 151 come at once, not after the read-ahead of file 45.
TEST_F(HostFirst, AVisibleRowNeverWaitsBehindASlowReadAhead) {
  const auto Name = [](int i) {
    char name[32];
    std::snprintf(name, sizeof name, "f_%03d%s.jpg", i, i == 45 ? "_slow" : "");
    return std::string(name);
  };
  std::vector<std::u16string> files;
  for (int i = 0; i < 200; ++i) files.push_back(MakeFile(Name(i), "folder"));
  const std::string first = host::ToUtf8(Get(M(), files[0], 0).Text());
  ASSERT_EQ(first.substr(0, first.find(' ')), Name(0));
  for (int i = 1; i < 40; ++i) ASSERT_EQ(Answer(Get(M(), files[i], 0)), Name(i));
  // Reading ahead is at file 45 once 44 is known.
  const Clock::time_point waited = Clock::now();
  for (;;) {
    Value quick;
    std::u16string name = files[44];
    quick.result = M().GetValueW(reinterpret_cast<HostWideChar*>(name.data()), 0, 0,
                                 quick.bytes, sizeof quick.bytes, 1);
    if (quick.result != 0 || SecondsSince(waited) > 20) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  // One of them reads file 45 now.
  const std::vector<long> tools = ChildProcesses();
  const auto oneEnded = [&] {
    const std::vector<long> now = ChildProcesses();
    return std::any_of(tools.begin(), tools.end(), [&](long pid) {
      return std::find(now.begin(), now.end(), pid) == now.end();
    });
  };
  for (int i : {150, 151}) {
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(Answer(Get(M(), files[i], 0)), Name(i));
    const double seconds = SecondsSince(start);
    // Far below the 12 s of file 45, and the 10 s a turn waits for a tool.
    EXPECT_LT(seconds, 5.0) << "file " << i;
    std::printf("file %d behind a slow read-ahead: %.2f s\n", i, seconds);
  }
  // The host's own tool is one above the limit at most.
  EXPECT_LE(static_cast<int>(ChildProcesses().size()), ToolsAtMost() + 1);
  // File 45's read ends long before the tool would answer (given up for the
  // host, or cut off at the read-ahead bound), and its tool with it.
  while (!oneEnded() && SecondsSince(waited) < 15)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_LT(SecondsSince(waited), 11.0) << "the read ahead of file 45 was not given up";
  std::printf("the slow read-ahead was given up %.1f s after it began\n", SecondsSince(waited));
}

// Every tool is busy with the host's calls for slow files: a call for
// another file waits for a tool, and the host's stop for that file ends it
// at once; the calls for the other files go on and get their values.
TEST_F(HostFirst, AStopEndsACallWaitingForAToolAndNoOther) {
  const int tools = ToolsAtMost();
  std::vector<std::string> answers(tools);
  std::vector<std::thread> busy;
  for (int t = 0; t < tools; ++t) {
    const std::string name = "pause" + std::to_string(t) + ".jpg";
    const std::u16string file = MakeFile(name);
    busy.emplace_back([&, t, file] { answers[t] = Answer(Get(M(), file, 0)); });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const std::u16string waiting = MakeFile("waiting.jpg");
  std::atomic<bool> returned{false};
  std::atomic<int> result{0};
  std::thread call([&] {
    result = Get(M(), waiting, 0).result;
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_FALSE(returned) << "the call found a free tool";
  const Clock::time_point stopped = Clock::now();
  Stop(waiting);
  while (!returned && SecondsSince(stopped) < 15)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double seconds = SecondsSince(stopped);
  call.join();
  for (std::thread& t : busy) t.join();
  EXPECT_EQ(result, -3);
  // The busy calls hold their tools for 4 s, 2.7 s more at the stop.
  EXPECT_LT(seconds, 1.5) << "the stop did not end the wait for a tool";
  for (int t = 0; t < tools; ++t)
    EXPECT_EQ(answers[t], "pause" + std::to_string(t) + ".jpg") << "a stop for another file";
  std::printf("a stop for a call waiting for a tool: it returned %.2f s later\n", seconds);
}

// A stop inside an exchange ends that call, not another thread's call for
// another file; the tool finishes its reply meanwhile, and the next value
// comes from the same tool: no tool is started again.
TEST_F(HostFirst, AStopAbandonsTheExchangeButKeepsTheTool) {
  ASSERT_EQ(Answer(Get(M(), MakeFile("first.jpg"), 0)), "first.jpg");
  const bool two = ToolsAtMost() >= 2;
  const std::u16string stopped = MakeFile("pause_stopped.jpg");
  const std::u16string other = MakeFile("pause_other.jpg");
  std::string otherAnswer = "not asked";
  std::thread otherCall;
  if (two) otherCall = std::thread([&] { otherAnswer = Answer(Get(M(), other, 0)); });
  std::atomic<bool> returned{false};
  std::atomic<int> result{0};
  std::thread call([&] {
    result = Get(M(), stopped, 0).result;
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  ASSERT_FALSE(returned);
  const std::vector<long> tools = Sorted(ChildProcesses());
  const Clock::time_point start = Clock::now();
  Stop(stopped);
  while (!returned && SecondsSince(start) < 15)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double seconds = SecondsSince(start);
  call.join();
  if (two) otherCall.join();
  EXPECT_EQ(result, -3);
  EXPECT_LT(seconds, 1.5);
  if (two) {
    EXPECT_EQ(otherAnswer, "pause_other.jpg") << "a stop for another file ended it";
  }
  // The stopped tool's reply is over by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(4000));
  EXPECT_EQ(Sorted(ChildProcesses()), tools) << "the stop ended a tool";
  for (const char* next : {"next1.jpg", "next2.jpg", "next3.jpg"})
    EXPECT_EQ(Answer(Get(M(), MakeFile(next), 0)), next);
  EXPECT_EQ(Sorted(ChildProcesses()), tools) << "a tool was started again";
}

}  // namespace
