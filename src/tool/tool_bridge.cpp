#include "tool/tool_bridge.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tool/locate.h"

namespace tool {

namespace {

constexpr char kMarkerStart[] = "{ready";
constexpr std::size_t kMarkerStartLength = sizeof(kMarkerStart) - 1;
// Longest marker number read back: more digits than any 64-bit number has.
constexpr std::size_t kMaximumIdDigits = 20;
// A reply larger than this is taken as a tool gone wrong.
constexpr std::size_t kMaximumReply = std::size_t{64} << 20;

// A start for a new tool's exchange numbers: random, with room to count up.
std::uint64_t RandomFirstId() {
  std::random_device device;
  std::seed_seq seed{device(), device(),
                     static_cast<unsigned>(platform::MonotonicMilliseconds())};
  std::mt19937_64 generator(seed);
  return std::uniform_int_distribution<std::uint64_t>(
      1'000'000'000ull, 1'000'000'000'000'000'000ull)(generator);
}

}  // namespace

int StartTool(ToolProcess& tool, const std::u16string& toolPath,
              const std::u16string& pluginDirectory) {
  tool.child.Terminate();
  std::vector<std::u16string> programs = LocateTools(toolPath, pluginDirectory);
  // Those set aside come last, in case one has been mended since.
  std::stable_partition(programs.begin(), programs.end(), [&](const std::u16string& program) {
    return std::find(tool.setAside.begin(), tool.setAside.end(), program) == tool.setAside.end();
  });
  // A candidate that cannot start (a script whose interpreter line does not
  // run, a file that is no program) gives way to the next one.
  int result = 10;
  tool.program.clear();
  // A program that is there but does not start may be held up for a moment
  // (the system short of a resource while the machine is busy): the list is
  // tried once more before the tool counts as missing.
  constexpr int kRounds = 2;
  constexpr auto kPause = std::chrono::milliseconds(50);
  for (int round = 0; round < kRounds && result != 0 && !programs.empty(); ++round) {
    if (round > 0) std::this_thread::sleep_for(kPause);
    for (const std::u16string& program : programs) {
      result = tool.child.Start(program, kLaunchArguments, tool.background);
      if (result == 0) {
        tool.firstId = tool.nextId = RandomFirstId();
        tool.abandonedId.reset();
        tool.abandonedTail.clear();
        tool.startMemory = 0;
        tool.program = program;
        tool.answered = false;
        break;
      }
    }
  }
  return result;
}

bool SetAsideIfDeadOnArrival(ToolProcess& tool, const Exchange& exchange) {
  if (exchange.status == ExchangeStatus::kReply) {
    tool.answered = true;
    tool.setAside.erase(std::remove(tool.setAside.begin(), tool.setAside.end(), tool.program),
                        tool.setAside.end());
    return false;
  }
  if (exchange.status != ExchangeStatus::kToolGone || tool.answered || tool.program.empty())
    return false;
  if (std::find(tool.setAside.begin(), tool.setAside.end(), tool.program) == tool.setAside.end())
    tool.setAside.push_back(tool.program);
  return true;
}

bool ToolRunning(const ToolProcess& tool) { return tool.child.Running(); }

std::optional<std::uint64_t> EndingMarkerId(std::string_view received,
                                            std::size_t lineEndLength) {
  if (lineEndLength == 0 || received.size() < lineEndLength + kMarkerStartLength + 2)
    return std::nullopt;
  // The line end: LF, or CR LF where lines end with two bytes.
  const std::string_view lineEnd = received.substr(received.size() - lineEndLength);
  if (lineEnd.back() != '\n') return std::nullopt;
  for (std::size_t i = 0; i + 1 < lineEnd.size(); ++i)
    if (lineEnd[i] != '\r') return std::nullopt;
  std::string_view line = received.substr(0, received.size() - lineEndLength);
  if (line.back() != '}') return std::nullopt;
  line.remove_suffix(1);
  std::size_t digits = 0;
  while (digits < line.size() && digits <= kMaximumIdDigits &&
         line[line.size() - 1 - digits] >= '0' && line[line.size() - 1 - digits] <= '9')
    ++digits;
  // The number as this side writes it: decimal, without leading zeros.
  if (digits == 0 || digits > kMaximumIdDigits ||
      line.size() < digits + kMarkerStartLength ||
      (digits > 1 && line[line.size() - digits] == '0'))
    return std::nullopt;
  const std::size_t start = line.size() - digits - kMarkerStartLength;
  if (line.compare(start, kMarkerStartLength, kMarkerStart) != 0) return std::nullopt;
  if (start != 0 && line[start - 1] != '\n') return std::nullopt;
  std::uint64_t id = 0;
  for (std::size_t i = line.size() - digits; i < line.size(); ++i) {
    const std::uint64_t digit = static_cast<std::uint64_t>(line[i] - '0');
    if (id > (UINT64_MAX - digit) / 10) return std::nullopt;
    id = id * 10 + digit;
  }
  return id;
}

namespace {

// What a marker line may be at most: the marker, its number and a line end.
constexpr std::size_t kTailKept = kMarkerStartLength + kMaximumIdDigits + 4;

// Reads away the rest of an abandoned exchange's reply, up to its marker,
// waiting until `deadline` at most. True when the tool is ready for the
// next request; false when it was ended (gone, overran, or the wait for it
// was cancelled while it still owes its reply, which stays abandoned).
bool DrainAbandoned(ToolProcess& tool, std::uint64_t deadline, bool* cancelled) {
  std::string& tail = tool.abandonedTail;
  char buffer[kReadChunk + 1];
  for (;;) {
    const std::optional<std::uint64_t> ended =
        EndingMarkerId(tail, platform::kToolLineEndLength);
    if (ended && *ended == *tool.abandonedId) {
      tool.abandonedId.reset();
      tail.clear();
      return true;
    }
    const int left = platform::Remaining(deadline);
    std::size_t count = 0;
    const platform::IoResult read =
        left == 0 ? platform::IoResult::kTimedOut
                  : tool.child.Read(buffer, kReadChunk, &count, left);
    if (read == platform::IoResult::kCancelled) {
      *cancelled = true;
      return false;
    }
    if (read != platform::IoResult::kOk) {
      tool.child.Terminate();
      tool.abandonedId.reset();
      tail.clear();
      return false;
    }
    tail.append(buffer, count);
    if (tail.size() > kTailKept) tail.erase(0, tail.size() - kTailKept);
  }
}

// Reads the reply of exchange `id` up to its marker, until `deadline`.
void ReadReply(ToolProcess& tool, std::uint64_t id, std::uint64_t deadline, Exchange& exchange) {
  std::string received;
  bool anything = false;
  char buffer[kReadChunk + 1];
  for (;;) {
    const int left = platform::Remaining(deadline);
    if (left == 0 && anything) {
      exchange.status = ExchangeStatus::kBroken;
      break;
    }
    std::size_t count = 0;
    const platform::IoResult read = tool.child.Read(buffer, kReadChunk, &count, left);
    if (read == platform::IoResult::kCancelled) {
      // The tool answers on; its reply is read away before the next request.
      exchange.status = ExchangeStatus::kAbandoned;
      tool.abandonedId = id;
      tool.abandonedDeadline = deadline;
      tool.abandonedTail = received.substr(received.size() - std::min(received.size(), kTailKept));
      return;
    }
    if (read != platform::IoResult::kOk) {
      exchange.status = read == platform::IoResult::kClosed && !anything
                            ? ExchangeStatus::kToolGone
                            : ExchangeStatus::kBroken;
      break;
    }
    anything = true;
    received.append(buffer, count);
    if (received.size() > kMaximumReply) {
      exchange.status = ExchangeStatus::kBroken;
      received.clear();
      break;
    }
    const std::optional<std::uint64_t> ended =
        EndingMarkerId(received, platform::kToolLineEndLength);
    if (!ended) continue;
    if (*ended == id) {
      const std::size_t markerLine = kMarkerStartLength + std::to_string(id).size() + 1 +
                                     platform::kToolLineEndLength;
      received.resize(received.size() - markerLine);
      exchange.status = ExchangeStatus::kReply;
      break;
    }
    // The end of an earlier request's reply: nothing before it is ours.
    if (*ended >= tool.firstId && *ended < id) received.clear();
  }

  exchange.reply = platform::Utf8ToUtf16(received);
  if (exchange.status != ExchangeStatus::kReply) tool.child.Terminate();
}


}  // namespace

Exchange ToolRequest(ToolProcess& tool, std::string_view commands, int timeoutMs,
                     int drainMs) {
  Exchange exchange;
  if (!ToolRunning(tool)) return exchange;
  if (tool.abandonedId) {
    bool cancelled = false;
    const std::uint64_t drainEnd =
        std::min(tool.abandonedDeadline, platform::DeadlineAfter(drainMs));
    if (!DrainAbandoned(tool, drainEnd, &cancelled)) {
      // Nothing was sent: a fresh tool may be asked instead.
      exchange.status = cancelled ? ExchangeStatus::kAbandoned : ExchangeStatus::kToolGone;
      return exchange;
    }
  }

  // Cancelled before anything was sent: the tool owes nothing.
  if (tool.child.Cancelled()) {
    exchange.status = ExchangeStatus::kAbandoned;
    return exchange;
  }
  const std::uint64_t id = tool.nextId++;
  std::string request;
  request.reserve(commands.size() + 32);
  request.append(commands);
  request.append("-execute").append(std::to_string(id)).push_back('\n');
  // One deadline for the whole exchange: a tool that trickles its output
  // holds the channel no longer than one that is silent.
  // A fresh tool's first exchange waits for its start as well: twice as long.
  const int bound = id == tool.firstId && timeoutMs >= 0 ? 2 * timeoutMs : timeoutMs;
  const int allowed =
      bound < 0 ? tool.exchangeTimeoutMs : std::min(bound, tool.exchangeTimeoutMs);
  const std::uint64_t deadline = platform::DeadlineAfter(allowed);
  const platform::IoResult written = tool.child.Write(request, platform::Remaining(deadline));
  if (written != platform::IoResult::kOk) {
    exchange.status = written == platform::IoResult::kClosed
                          ? ExchangeStatus::kToolGone
                          : ExchangeStatus::kBroken;
    tool.child.Terminate();
    return exchange;
  }

  ReadReply(tool, id, deadline, exchange);
  return exchange;
}

bool EndIfGrown(ToolProcess& tool) {
  if (!ToolRunning(tool)) return false;
  const std::uint64_t now = tool.child.MemoryBytes();
  if (now == 0) return false;  // not known here
  if (tool.startMemory == 0) {
    tool.startMemory = now;
    return false;
  }
  if (now - std::min(now, tool.startMemory) <= tool.memoryGrowthLimit) return false;
  // Between exchanges: nothing is owed, and the tool may simply be ended.
  tool.child.Terminate();
  return true;
}

void StopTools(ToolProcess* const* tools, std::size_t count) {
  int timeoutMs = 0;
  for (std::size_t i = 0; i < count; ++i) timeoutMs = std::max(timeoutMs, tools[i]->stopTimeoutMs);
  const std::uint64_t deadline = platform::DeadlineAfter(timeoutMs);
  // Every tool is asked first, so that they end side by side.
  std::vector<bool> asked(count, false);
  for (std::size_t i = 0; i < count; ++i) {
    ToolProcess& tool = *tools[i];
    if (!ToolRunning(tool)) continue;
    asked[i] = tool.child.Write(kStopRequest, platform::Remaining(deadline)) ==
               platform::IoResult::kOk;
    // The tool leaves its loop on the request, or on the end of its input.
    if (asked[i]) tool.child.CloseInput();
  }
  for (std::size_t i = 0; i < count; ++i) {
    ToolProcess& tool = *tools[i];
    if (asked[i]) {
      char buffer[kReadChunk + 1];
      for (;;) {
        const int left = platform::Remaining(deadline);
        if (left == 0) break;
        std::size_t received = 0;
        if (tool.child.Read(buffer, kReadChunk, &received, left) != platform::IoResult::kOk)
          break;
      }
      tool.child.WaitForExit(platform::Remaining(deadline));
    }
    tool.child.Terminate();
  }
}

void StopTool(ToolProcess& tool) {
  ToolProcess* const one[] = {&tool};
  StopTools(one, 1);
}

}  // namespace tool
