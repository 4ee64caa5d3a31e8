// The bridge to Exiftool: started once in its stay-open mode, fed one request
// at a time on its standard input, its reply read up to the numbered
// "{readyN}" marker line that ends the request's output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tool {

inline constexpr char16_t kLaunchArguments[] =
    u" -charset FileName=UTF8 -stay_open true -@ -";
inline constexpr char kStopRequest[] = "-stay_open\nFalse\n";
inline constexpr std::size_t kReadChunk = 4095;

// A tool that sends nothing for this long is taken as hung and ended.
inline constexpr int kExchangeTimeoutMs = 30000;
// How long unloading waits for the tool to exit after the stop request.
inline constexpr int kStopTimeoutMs = 2000;
// A tool whose memory has grown by more than this since its first reply is
// restarted between exchanges: one odd file must not keep it large.
inline constexpr std::uint64_t kMemoryGrowthLimit = std::uint64_t{256} << 20;

struct ToolProcess {
  platform::ChildProcess child;
  int exchangeTimeoutMs = kExchangeTimeoutMs;
  int stopTimeoutMs = kStopTimeoutMs;
  // Each exchange with a tool carries a number of its own, counted up from a
  // random start, so that no file's content can predict (and so imitate) the
  // marker line that ends a reply.
  std::uint64_t firstId = 0;
  std::uint64_t nextId = 0;
  // An exchange given up while the tool was still answering: its number,
  // the end of its deadline, and the last bytes of its reply so far. The
  // tool finishes that reply on its own; the next exchange reads it away.
  std::optional<std::uint64_t> abandonedId;
  std::uint64_t abandonedDeadline = 0;
  std::string abandonedTail;
  // The tool's memory after its first reply (0: not measured yet), and the
  // growth past it at which it is restarted.
  std::uint64_t startMemory = 0;
  std::uint64_t memoryGrowthLimit = kMemoryGrowthLimit;
  // The program the last start started; empty when none did.
  std::u16string program;
  // Whether it has answered since it started.
  bool answered = false;
  // Started at a lower scheduling priority: a tool that reads ahead, which
  // must not take time from the one the host waits for.
  bool background = false;
  // Programs that ended before their first answer (a copy of the script
  // without its library, a package without its support files): starts
  // try them last.
  std::vector<std::u16string> setAside;
};

// 0 when started; otherwise the failure code of the last attempt. The tool
// line `toolPath` is looked for as LocateTools says (tool/locate.h), and each
// program found is tried in turn until one starts, those set aside after the
// others; 10 when none is found.
int StartTool(ToolProcess& tool, const std::u16string& toolPath,
              const std::u16string& pluginDirectory);

bool ToolRunning(const ToolProcess& tool);

enum class ExchangeStatus {
  kReply,     // the marker arrived; `reply` holds what came before it
  kNoTool,    // no tool was running; nothing was sent
  kToolGone,  // the tool was gone before it sent anything
  kBroken,    // the tool stopped (exited, timed out) before its marker
  kAbandoned, // cancelled before the request or while waiting for the reply;
              // the tool runs on
};

struct Exchange {
  ExchangeStatus status = ExchangeStatus::kNoTool;
  // UTF-16, without the marker line. With kBroken: what arrived before the
  // tool stopped (empty when the reply grew beyond its limit).
  std::u16string reply;
};

// Sends `commands` (argument lines, each ended by a line feed), then a
// numbered "-executeN" line, and reads the reply up to its "{readyN}" line,
// within `timeoutMs` (twice that for a fresh tool's first exchange, which
// waits for its start too; at most, and below 0, the tool's exchange
// time-out). A reply that an earlier exchange abandoned is read away first,
// waiting for it at most `drainMs` and never past that exchange's deadline.
// A cancel while the reply is awaited abandons the exchange (kAbandoned)
// and leaves the tool running; on any other status but kReply the tool has
// been ended, so that the next request starts a fresh one.
Exchange ToolRequest(ToolProcess& tool, std::string_view commands, int timeoutMs = -1,
                     int drainMs = kExchangeTimeoutMs);

// Between exchanges: ends the tool when its memory has grown by more than
// its limit since the first call (made after its first reply), so that the
// next request starts a fresh one. True when it did.
bool EndIfGrown(ToolProcess& tool);

// Takes note of `exchange`, just made with `tool`. A program that was gone
// before it ever answered is set aside, so that the next start tries the
// next program found; true then.
bool SetAsideIfDeadOnArrival(ToolProcess& tool, const Exchange& exchange);

// Sends the stop request, waits a bounded time for the tool to exit, then
// ends it. Does nothing when no tool runs.
void StopTool(ToolProcess& tool);
// The same for `count` tools at once, within one stop time-out for all.
void StopTools(ToolProcess* const* tools, std::size_t count);

// The number N when `received` ends with a complete marker line: "{readyN}"
// at the start of a line, N in decimal digits without leading zeros, then
// exactly `lineEndLength` line-end bytes (LF, or CR LF where lines end with
// two bytes).
std::optional<std::uint64_t> EndingMarkerId(std::string_view received,
                                            std::size_t lineEndLength);

}  // namespace tool
