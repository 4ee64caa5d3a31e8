// An exchange given up while the tool answers, and a tool that has grown:
// the tool bridge with stand-ins and the real tool.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "plugin/tool_pool.h"
#include "tool/tool_bridge.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

using tool::ExchangeStatus;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::u16string NativePath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
#endif
  return platform::Utf8ToUtf16(path);
}

class ToolStop : public ::testing::Test {
 protected:
  void TearDown() override { tool::StopTool(tool_); }
  int StartStandin(const std::string& name) { return StartStandin(name, tool_); }
  static int StartStandin(const std::string& name, tool::ToolProcess& into) {
    const std::string script = Env("VELTAMO_STANDINS") + "/" + name;
#ifdef _WIN32
    SetEnvironmentVariableA("VELTAMO_BRIDGE_TOOL", script.c_str());
    const int result = tool::StartTool(into, NativePath(Env("VELTAMO_TOOL")), u"");
    SetEnvironmentVariableA("VELTAMO_BRIDGE_TOOL", nullptr);
    return result;
#else
    return tool::StartTool(into, NativePath(script), u"");
#endif
  }
  // The real tool: under Windows its package, a launcher and the program it
  // runs, in one job.
  static std::string RealTool() {
#ifdef _WIN32
    return Env("VELTAMO_WINDOWS_TOOL");
#else
    return Env("VELTAMO_TOOL");
#endif
  }
  // An exchange that another thread cancels after `afterMs`.
  tool::Exchange CancelledAfter(int afterMs) {
    std::thread canceller([this, afterMs] {
      std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
      tool_.child.Cancel();
    });
    const tool::Exchange exchange = tool::ToolRequest(tool_, "");
    canceller.join();
    tool_.child.ClearCancel();
    return exchange;
  }

  tool::ToolProcess tool_;
};

std::u16string Line(const std::string& text) {
  return platform::Utf8ToUtf16(text + (platform::kToolLineEndLength == 2 ? "\r\n" : "\n"));
}

// The tool finishes the reply it was cancelled in; the next exchange reads
// that away and gets its own reply from the same tool.
TEST_F(ToolStop, AnAbandonedReplyIsReadAwayAndTheToolKept) {
  ASSERT_EQ(StartStandin("slow_first"), 0);  // its first reply takes a second
  const std::uint32_t id = tool_.child.Id();
  EXPECT_EQ(CancelledAfter(200).status, ExchangeStatus::kAbandoned);
  ASSERT_TRUE(tool::ToolRunning(tool_));
  const tool::Exchange next = tool::ToolRequest(tool_, "");
  EXPECT_EQ(next.status, ExchangeStatus::kReply);
  EXPECT_EQ(next.reply, Line("reading 2"));
  EXPECT_EQ(tool_.child.Id(), id);
  EXPECT_EQ(tool::ToolRequest(tool_, "").reply, Line("reading 3"));
}

// A tool that does not finish its abandoned reply within the wait for it is
// ended, and nothing is sent to it.
TEST_F(ToolStop, AToolThatOverrunsItsAbandonedReplyIsEnded) {
  ASSERT_EQ(StartStandin("silent"), 0);
  EXPECT_EQ(CancelledAfter(100).status, ExchangeStatus::kAbandoned);
  const std::uint64_t began = platform::MonotonicMilliseconds();
  const tool::Exchange next = tool::ToolRequest(tool_, "", -1, 300);
  EXPECT_EQ(next.status, ExchangeStatus::kToolGone);
  EXPECT_FALSE(tool::ToolRunning(tool_));
  EXPECT_LT(platform::MonotonicMilliseconds() - began, 5000u);
}

// The real tool, after reading a file with a few thousand XMP properties,
// holds far more memory than it started with, and is ended for it; after a
// small file it is kept.
TEST_F(ToolStop, AToolGrownFarPastItsStartIsEnded) {
  const fs::path dir = fs::temp_directory_path() /
                       ("veltamo-grow-" + std::to_string(platform::MonotonicMilliseconds()));
  fs::create_directories(dir);
  std::ofstream(dir / "small.txt") << "small\n";
  {
    std::ofstream xmp(dir / "large.xmp");
    xmp << "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
           "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
           "rdf:about='' xmlns:t='http://example.com/t/1.0/'>";
    for (int i = 0; i < 2000; ++i) xmp << "<t:p" << i << ">value " << i << "</t:p" << i << ">";
    xmp << "</rdf:Description></rdf:RDF></x:xmpmeta>\n";
  }
  const auto ask = [&](const char* file) {
    const std::string request =
        "-args\n-fast\n-charset\nFileName=UTF8\n-Model\n" + (dir / file).u8string() + "\n";
    return tool::ToolRequest(tool_, request).status;
  };
  const std::string real = RealTool();
  ASSERT_FALSE(real.empty());
  ASSERT_EQ(tool::StartTool(tool_, NativePath(real), u""), 0);
  // A small file moves it by some kilobytes; the large one by 9 MB (the
  // Windows package under Wine) to 25 MB (Perl on Linux).
  tool_.memoryGrowthLimit = std::uint64_t{4} << 20;
  ASSERT_EQ(ask("small.txt"), ExchangeStatus::kReply);
  EXPECT_FALSE(tool::EndIfGrown(tool_));  // measures the start
  ASSERT_EQ(ask("small.txt"), ExchangeStatus::kReply);
  EXPECT_FALSE(tool::EndIfGrown(tool_));
  EXPECT_GT(tool_.startMemory, 0u) << "the tool's memory is not known";
  ASSERT_EQ(ask("large.xmp"), ExchangeStatus::kReply);
  EXPECT_TRUE(tool::EndIfGrown(tool_));
  EXPECT_FALSE(tool::ToolRunning(tool_));
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

// Extra tools without work are stopped, but not the standby: it runs until
// unload, as the host's tool does. Unloading ends a tool that never
// answered (here one that never will) at once, without a stop request's wait.
TEST_F(ToolStop, IdleExtraToolsAreStoppedButNotTheStandby) {
  plugin::ToolPool pool;
  pool.SetLimit(3);
  const int standby = pool.AcquireToStart();
  ASSERT_EQ(standby, plugin::kStandbySlot);
  ASSERT_EQ(StartStandin("silent", pool.Tool(standby)), 0);
  pool.Release(standby);
  const int extra = pool.AcquireToStart();
  ASSERT_EQ(extra, 2);
  ASSERT_EQ(tool::StartTool(pool.Tool(extra), NativePath(RealTool()), u""), 0);
  pool.Release(extra);
  EXPECT_FALSE(pool.StopIdleTools(0)) << "an extra tool runs on";
  EXPECT_TRUE(tool::ToolRunning(pool.Tool(standby)));
  EXPECT_FALSE(tool::ToolRunning(pool.Tool(extra)));
  const std::uint64_t began = platform::MonotonicMilliseconds();
  pool.Shutdown(false);
  EXPECT_LT(platform::MonotonicMilliseconds() - began,
            static_cast<std::uint64_t>(tool::kStopTimeoutMs) / 2);
  EXPECT_FALSE(tool::ToolRunning(pool.Tool(standby)));
}

}  // namespace
