// The tool bridge against the real Exiftool (VELTAMO_TOOL) and, for faults
// the real tool cannot produce, the scripted stand-ins in VELTAMO_STANDINS.
// On Windows the tool is the Wine bridge exiftool.exe, which runs the POSIX
// program named by VELTAMO_BRIDGE_TOOL (Exiftool itself by default).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tool/tool_bridge.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

using tool::ExchangeStatus;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::u16string Wide(const std::string& utf8) { return platform::Utf8ToUtf16(utf8); }

const std::string kLineEnd = platform::kToolLineEndLength == 2 ? "\r\n" : "\n";

// What the test environment names as a Unix path, in this platform's form.
std::string NativePath(std::string unixPath) {
#ifdef _WIN32
  if (!unixPath.empty() && unixPath[0] == '/') {
    for (char& c : unixPath) {
      if (c == '/') c = '\\';
    }
    unixPath = "Z:" + unixPath;
  }
#endif
  return unixPath;
}

std::string Utf8(const fs::path& path) { return path.u8string(); }

std::string TagRequest(const std::string& tag, const fs::path& file) {
  return "-" + tag + "\n-fast\n-s3\n-charset\nFileName=UTF8\n" + Utf8(file) + "\n";
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << Utf8(path);
}

// A JPEG that is no more than its start, one comment segment and its end:
// enough for Exiftool to read the comment.
std::string JpegWithComment(const std::string& comment) {
  const std::size_t length = comment.size() + 2;
  std::string jpeg = "\xFF\xD8\xFF\xFE";
  jpeg += static_cast<char>(length >> 8);
  jpeg += static_cast<char>(length & 0xFF);
  return jpeg + comment + "\xFF\xD9";
}

bool ProcessGone(std::uint32_t id) {
#ifdef _WIN32
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return true;
  const bool gone = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return gone;
#else
  return kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH;
#endif
}

// Ends a process behind the bridge's back and waits until it is dead
// (on POSIX: a zombie that its parent, the bridge, has not reaped yet).
void KillFromOutside(std::uint32_t id) {
#ifdef _WIN32
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(TerminateProcess(process, 9));
  EXPECT_EQ(WaitForSingleObject(process, 5000), WAIT_OBJECT_0);
  CloseHandle(process);
#else
  ASSERT_EQ(kill(static_cast<pid_t>(id), SIGKILL), 0);
  const std::string stat = "/proc/" + std::to_string(id) + "/stat";
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(stat);
    std::string pid, name, state;
    in >> pid >> name >> state;
    if (!in || state == "Z") return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  FAIL() << "process " << id << " still alive";
#endif
}

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string toolEnv = Env("VELTAMO_TOOL");
    standins_ = Env("VELTAMO_STANDINS");
    ASSERT_FALSE(toolEnv.empty()) << "VELTAMO_TOOL names the Exiftool to test";
    ASSERT_FALSE(standins_.empty()) << "VELTAMO_STANDINS names the stand-in directory";
    toolPath_ = Wide(NativePath(toolEnv));
    static int serial = 0;
    dir_ = fs::temp_directory_path() /
           ("veltamo-tool-" + std::to_string(platform::MonotonicMilliseconds()) + "-" +
            std::to_string(++serial));
    fs::create_directories(dir_);
  }

  void TearDown() override {
    tool::StopTool(process_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  int StartReal() { return tool::StartTool(process_, toolPath_, u""); }

  // Starts a stand-in in place of the tool.
  int StartStandin(const std::string& name) {
    const std::string script = standins_ + "/" + name;
#ifdef _WIN32
    SetEnvironmentVariableA("VELTAMO_BRIDGE_TOOL", script.c_str());
    const int result = tool::StartTool(process_, toolPath_, u"");
    SetEnvironmentVariableA("VELTAMO_BRIDGE_TOOL", nullptr);
    return result;
#else
    return tool::StartTool(process_, Wide(script), u"");
#endif
  }

  // A copy of the tool under `name` in `directory`.
  void PlaceTool(const fs::path& directory, const std::string& name) {
    fs::create_directories(directory);
    fs::copy_file(fs::u8path(NativePath(Env("VELTAMO_TOOL"))), directory / fs::u8path(name),
                  fs::copy_options::overwrite_existing);
  }

  static std::u16string DirectoryText(const fs::path& directory) {
    return Wide(Utf8(directory)) + platform::kPathSeparator;
  }

  tool::Exchange Ask(const std::string& request) {
    return tool::ToolRequest(process_, request);
  }

  tool::ToolProcess process_;
  std::u16string toolPath_;
  std::string standins_;
  fs::path dir_;
};

#ifdef _WIN32
const std::string kToolName = "veltamo-test-tool.exe";
#else
const std::string kToolName = "veltamo-test-tool";
#endif

// ------------------------------------------------------------ marker test

TEST(ToolMarker, RecognisesOnlyACompleteNumberedMarkerLineAtTheEnd) {
  struct Case {
    const char* data;
    std::size_t lineEnd;
    long long expected;  // -1: no marker line at the end
  };
  const Case cases[] = {
      {"{ready7}\n", 1, 7},
      {"TXT\n{ready123456789012}\n", 1, 123456789012},
      {"\n{ready0}\n", 1, 0},
      {"{ready}\n", 1, -1},               // unnumbered: a value, not ours
      {"TXT\n{ready12}", 1, -1},          // line end still to come
      {"TXT\n{ready1", 1, -1},            // split inside the number
      {"TXT\n{rea", 1, -1},               // split inside the marker
      {"TXT{ready5}\n", 1, -1},           // not at the start of a line
      {"TXT\n{ready5}\r\n", 1, -1},       // two line-end bytes where one ends lines
      {"{ready5}\nTXT\n", 1, -1},         // marker, then more
      {"{ready-5}\n", 1, -1},
      {"{ready05}\n", 1, -1},             // not a number this side writes
      {"{ready5 }\n", 1, -1},
      {"{ready99999999999999999999}\n", 1, -1},    // beyond 64 bits
      {"{ready123456789012345678901}\n", 1, -1},   // too many digits
      {"", 1, -1},
      {"{ready42}\r\n", 2, 42},
      {"TXT\r\n{ready42}\r\n", 2, 42},
      {"TXT\r\n{ready42}\n", 2, -1},      // LF alone where lines end with CR LF
      {"TXT\r\n{ready42}\r", 2, -1},
      {"TXT\r\nx{ready42}\r\n", 2, -1},
      {"TXT\r\n{ready42}ab", 2, -1},      // two bytes, but not a line end
      {"{READY42}\r\n", 2, -1},
  };
  for (const Case& c : cases) {
    const std::optional<std::uint64_t> id = tool::EndingMarkerId(c.data, c.lineEnd);
    EXPECT_EQ(id ? static_cast<long long>(*id) : -1, c.expected)
        << "data \"" << c.data << "\" line end " << c.lineEnd;
  }
}

// ------------------------------------------------------ the real exchange

TEST_F(ToolTest, RealToolAnswersOneRequestAfterAnother) {
  ASSERT_EQ(StartReal(), 0);
  ASSERT_TRUE(tool::ToolRunning(process_));
  EXPECT_NE(process_.child.Id(), 0u);

  const fs::path text = dir_ / "plain.txt";
  WriteFile(text, "hello\n");
  tool::Exchange reply = Ask(TagRequest("FileType", text));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("TXT" + kLineEnd));

  // UTF-8 both ways: the name goes out as UTF-8, C3 A9 comes back as U+00E9.
  const fs::path accented = dir_ / fs::u8path("caf\xC3\xA9.txt");
  WriteFile(accented, "x");
  reply = Ask(TagRequest("FileName", accented));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, u"caf\u00E9.txt" + Wide(kLineEnd));

  // A tag the file lacks: an empty reply, not a failure.
  reply = Ask(TagRequest("Comment", text));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, u"");

  // What the tool says on its standard error never reaches the reply.
  reply = Ask(TagRequest("FileType", dir_ / "missing.txt"));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, u"");
  const fs::path cut = dir_ / "cut.jpg";
  WriteFile(cut, JpegWithComment("a comment that the file ends in the middle of").substr(0, 20));
  reply = Ask(TagRequest("Comment", cut));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, u"");
  reply = Ask(TagRequest("FileType", text));
  EXPECT_EQ(reply.reply, Wide("TXT" + kLineEnd));

  EXPECT_TRUE(tool::ToolRunning(process_));
}

TEST_F(ToolTest, LargeRepliesAndRequestsPassWhole) {
  ASSERT_EQ(StartReal(), 0);

  // 12000 bytes of comment: several reads, and two-byte characters that
  // straddle the read boundaries.
  std::string comment;
  for (int i = 0; i < 3000; ++i) comment += "\xC3\xA9";
  comment += std::string(6000, 'x');
  const fs::path photo = dir_ / "comment.jpg";
  WriteFile(photo, JpegWithComment(comment));
  tool::Exchange reply = Ask(TagRequest("Comment", photo));
  ASSERT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, std::u16string(3000, u'\u00E9') + std::u16string(6000, u'x') +
                             Wide(kLineEnd));

  // A request far larger than a pipe's buffer, and a reply to match.
  const fs::path text = dir_ / "plain-text-file-with-a-long-name-for-bulk.txt";
  WriteFile(text, "hello\n");
  const int copies = 2000;
  std::string request = "-FileType\n-fast\n-s3\n";
  for (int i = 0; i < copies; ++i) request += Utf8(text) + "\n";
  ASSERT_GT(request.size(), 65536u);
  reply = Ask(request);
  ASSERT_EQ(reply.status, ExchangeStatus::kReply);
  const std::u16string value = Wide(kLineEnd + "TXT" + kLineEnd);
  std::size_t found = 0;
  for (std::size_t at = reply.reply.find(value); at != std::u16string::npos;
       at = reply.reply.find(value, at + 1)) {
    ++found;
  }
  EXPECT_EQ(found, static_cast<std::size_t>(copies));

  // The channel is still in step afterwards.
  reply = Ask(TagRequest("FileType", photo));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("JPEG" + kLineEnd));
}

// --------------------------------------------------------------- launching

TEST_F(ToolTest, MissingProgramFailsBothAttempts) {
#ifdef _WIN32
  const std::u16string missing = u"C:\\veltamo\\no such dir\\exiftool.exe";
  const std::u16string directory = u"C:\\veltamo\\nowhere\\";
#else
  const std::u16string missing = u"/veltamo/no such dir/exiftool";
  const std::u16string directory = u"/veltamo/nowhere/";
#endif
  EXPECT_EQ(tool::StartTool(process_, missing, directory), 10);
  EXPECT_FALSE(tool::ToolRunning(process_));
  EXPECT_EQ(tool::StartTool(process_, u"veltamo-no-such-program", directory), 10);

  // Nothing runs, so nothing is sent, and stopping does nothing.
  const tool::Exchange reply = Ask("-ver\n");
  EXPECT_EQ(reply.status, ExchangeStatus::kNoTool);
  EXPECT_TRUE(reply.reply.empty());
  tool::StopTool(process_);
  EXPECT_FALSE(tool::ToolRunning(process_));
}

TEST_F(ToolTest, SecondAttemptUsesThePluginDirectory) {
  PlaceTool(dir_, kToolName);
  const fs::path text = dir_ / "plain.txt";
  WriteFile(text, "hello\n");

  // A path whose directory does not exist: its file part, from the plugin's.
  const std::u16string elsewhere =
      Wide(Utf8(dir_ / "absent")) + platform::kPathSeparator + Wide(kToolName);
  ASSERT_EQ(tool::StartTool(process_, elsewhere, DirectoryText(dir_)), 0);
  tool::Exchange reply = Ask(TagRequest("FileType", text));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("TXT" + kLineEnd));
  tool::StopTool(process_);

  // A bare name that no search finds: the whole of it, from the plugin's.
  ASSERT_EQ(tool::StartTool(process_, Wide(kToolName), DirectoryText(dir_)), 0);
  reply = Ask(TagRequest("FileType", text));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("TXT" + kLineEnd));
}

TEST_F(ToolTest, PathWithSpacesStartsThatProgram) {
  // Unquoted, "<dir>\with space\..." would start "<dir>\with.exe", which is
  // no program; the plugin directory leads nowhere, so only the first
  // attempt counts.
  const fs::path spaced = dir_ / "with space" / "more spaces";
  PlaceTool(spaced, kToolName);
  WriteFile(dir_ / "with.exe", "not a program\n");
  WriteFile(dir_ / "with space" / "more.exe", "not a program\n");
  const std::u16string path = Wide(Utf8(spaced / kToolName));
  ASSERT_EQ(tool::StartTool(process_, path, DirectoryText(dir_ / "nowhere")), 0);
  const fs::path text = dir_ / "with space" / "a file.txt";
  WriteFile(text, "hello\n");
  const tool::Exchange reply = Ask(TagRequest("FileType", text));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("TXT" + kLineEnd));
}

#ifndef _WIN32
TEST_F(ToolTest, ChildHoldsOnlyItsTwoPipeEnds) {
  // A descriptor of ours without close-on-exec must not reach it either.
  const int stray = open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  const int started = StartStandin("list_fds");
  close(stray);
  ASSERT_EQ(started, 0);

  const tool::Exchange reply = Ask("");
  ASSERT_EQ(reply.status, ExchangeStatus::kReply);
  const std::string listing = platform::Utf16ToUtf8(reply.reply);
  std::vector<std::pair<int, std::string>> held;
  std::size_t begin = 0;
  while (begin < listing.size()) {
    const std::size_t end = listing.find('\n', begin);
    const std::string line = listing.substr(begin, end - begin);
    const std::size_t space = line.find(' ');
    held.emplace_back(std::stoi(line.substr(0, space)), line.substr(space + 1));
    begin = end == std::string::npos ? listing.size() : end + 1;
  }
  ASSERT_EQ(held.size(), 3u) << listing;
  EXPECT_EQ(held[0].first, 0);
  EXPECT_EQ(held[1].first, 1);
  EXPECT_EQ(held[2].first, 2);
  EXPECT_EQ(held[0].second.rfind("pipe:", 0), 0u) << listing;
  EXPECT_EQ(held[1].second.rfind("pipe:", 0), 0u) << listing;
  EXPECT_NE(held[0].second, held[1].second) << "input and output are two pipes";
  EXPECT_EQ(held[2].second, "/dev/null") << "errors go nowhere near the reply";
}
#endif

// ---------------------------------------------------- tool exit and faults

TEST_F(ToolTest, ToolThatExitedIsGoneAndTheNextStartWorks) {
  const fs::path text = dir_ / "plain.txt";
  WriteFile(text, "hello\n");

  // Told to stop as if it were a request: it exits without a reply.
  ASSERT_EQ(StartReal(), 0);
  tool::Exchange reply = Ask(tool::kStopRequest);
  EXPECT_EQ(reply.status, ExchangeStatus::kToolGone);
  EXPECT_TRUE(reply.reply.empty());
  EXPECT_FALSE(tool::ToolRunning(process_));

  // Ended from outside between two requests.
  ASSERT_EQ(StartReal(), 0);
  reply = Ask(TagRequest("FileType", text));
  ASSERT_EQ(reply.status, ExchangeStatus::kReply);
  KillFromOutside(process_.child.Id());
  reply = Ask(TagRequest("FileType", text));
  EXPECT_EQ(reply.status, ExchangeStatus::kToolGone);
  EXPECT_FALSE(tool::ToolRunning(process_));

  ASSERT_EQ(StartReal(), 0);
  reply = Ask(TagRequest("FileType", text));
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("TXT" + kLineEnd));
}

TEST_F(ToolTest, MarkerSplitAcrossWritesEndsTheReplyAtOnce) {
  ASSERT_EQ(StartStandin("split_marker"), 0);
  process_.exchangeTimeoutMs = 5000;
  // Four requests: split inside the marker, inside its number, before its
  // line end, before it.
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t began = platform::MonotonicMilliseconds();
    const tool::Exchange reply = Ask("");
    const std::uint64_t took = platform::MonotonicMilliseconds() - began;
    EXPECT_EQ(reply.status, ExchangeStatus::kReply) << "request " << i;
    EXPECT_EQ(reply.reply, Wide("value" + kLineEnd)) << "request " << i;
    // The stand-in pauses 300 ms inside each reply, then stays silent: a
    // wait for more would run into the time-out.
    EXPECT_GE(took, 250u) << "request " << i;
    EXPECT_LT(took, 2500u) << "request " << i;
  }
}

TEST_F(ToolTest, OnlyThisRequestsMarkerEndsItsReply) {
  ASSERT_EQ(StartStandin("stale_marker"), 0);
  // The first reply is preceded by a marker of a number this tool never
  // used: that is content.
  tool::Exchange reply = Ask("");
  ASSERT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply.rfind(u"leftover", 0), 0u);
  EXPECT_NE(reply.reply.find(Wide("{ready}" + kLineEnd + "value" + kLineEnd)),
            std::u16string::npos);
  // The second is preceded by the first one's marker: what came before it
  // belongs to the first request. An unnumbered marker is a value line.
  reply = Ask("");
  ASSERT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("{ready}" + kLineEnd + "value" + kLineEnd));
}

TEST_F(ToolTest, SilentToolTimesOutAndIsEnded) {
  ASSERT_EQ(StartStandin("silent"), 0);
  const std::uint32_t id = process_.child.Id();
  process_.exchangeTimeoutMs = 1500;
  const std::uint64_t began = platform::MonotonicMilliseconds();
  const tool::Exchange reply = Ask("-FileType\n");
  const std::uint64_t took = platform::MonotonicMilliseconds() - began;
  EXPECT_EQ(reply.status, ExchangeStatus::kBroken);
  EXPECT_GE(took, 1400u);
  EXPECT_LT(took, 4000u);
  EXPECT_FALSE(tool::ToolRunning(process_));
  EXPECT_TRUE(ProcessGone(id));
}

// Another thread's Cancel ends a wait for a tool that never answers at
// once, without waiting for the tool to do anything; after ClearCancel the
// next tool is waited for as usual.
TEST_F(ToolTest, CancelFromAnotherThreadEndsTheWaitAtOnce) {
  ASSERT_EQ(StartStandin("silent"), 0);
  std::thread canceller([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    process_.child.Cancel();
  });
  const std::uint64_t began = platform::MonotonicMilliseconds();
  const tool::Exchange reply = Ask("-FileType\n");
  const std::uint64_t took = platform::MonotonicMilliseconds() - began;
  canceller.join();
  // The exchange is abandoned; the tool is left to finish its reply.
  EXPECT_EQ(reply.status, ExchangeStatus::kAbandoned);
  EXPECT_TRUE(tool::ToolRunning(process_));
  EXPECT_GE(took, 250u);
  EXPECT_LT(took, 1500u);
  EXPECT_TRUE(process_.child.Cancelled());

  process_.child.ClearCancel();
  ASSERT_EQ(StartStandin("dies_midreply"), 0);
  const tool::Exchange next = Ask("");
  EXPECT_EQ(next.status, ExchangeStatus::kReply);
  EXPECT_EQ(next.reply, Wide("first" + kLineEnd));
}

TEST_F(ToolTest, ToolDyingMidReplyIsBrokenAndRestarts) {
  ASSERT_EQ(StartStandin("dies_midreply"), 0);
  tool::Exchange reply = Ask("");
  ASSERT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("first" + kLineEnd));

  reply = Ask("");
  EXPECT_EQ(reply.status, ExchangeStatus::kBroken);
  EXPECT_EQ(reply.reply, u"partial val");
  EXPECT_FALSE(tool::ToolRunning(process_));

  ASSERT_EQ(StartStandin("dies_midreply"), 0);
  reply = Ask("");
  EXPECT_EQ(reply.status, ExchangeStatus::kReply);
  EXPECT_EQ(reply.reply, Wide("first" + kLineEnd));
}

TEST_F(ToolTest, EndlessReplyIsCutOffAsBroken) {
  ASSERT_EQ(StartStandin("floods"), 0);
  const std::uint32_t id = process_.child.Id();
  const tool::Exchange reply = Ask("");
  EXPECT_EQ(reply.status, ExchangeStatus::kBroken);
  EXPECT_TRUE(reply.reply.empty());
  EXPECT_FALSE(tool::ToolRunning(process_));
  EXPECT_TRUE(ProcessGone(id));
}

// ---------------------------------------------------------------- stopping

TEST_F(ToolTest, StopLetsTheRealToolExitAndLeavesNothing) {
  ASSERT_EQ(StartReal(), 0);
  const fs::path text = dir_ / "plain.txt";
  WriteFile(text, "hello\n");
  ASSERT_EQ(Ask(TagRequest("FileType", text)).status, ExchangeStatus::kReply);
  const std::uint32_t id = process_.child.Id();

  const std::uint64_t began = platform::MonotonicMilliseconds();
  tool::StopTool(process_);
  const std::uint64_t took = platform::MonotonicMilliseconds() - began;
  // Well inside the stop time: the tool left on the request, not by force.
  EXPECT_LT(took, static_cast<std::uint64_t>(tool::kStopTimeoutMs) - 500);
  EXPECT_FALSE(tool::ToolRunning(process_));
  EXPECT_TRUE(ProcessGone(id));
}

TEST_F(ToolTest, StopEndsAToolThatIgnoresItWithinTheStopTime) {
  ASSERT_EQ(StartStandin("silent"), 0);
  const std::uint32_t id = process_.child.Id();
  process_.stopTimeoutMs = 800;
  const std::uint64_t began = platform::MonotonicMilliseconds();
  tool::StopTool(process_);
  const std::uint64_t took = platform::MonotonicMilliseconds() - began;
  EXPECT_GE(took, 700u);
  EXPECT_LT(took, 3000u);
  EXPECT_FALSE(tool::ToolRunning(process_));
  EXPECT_TRUE(ProcessGone(id));
}

}  // namespace
