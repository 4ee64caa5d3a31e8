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

struct ToolProcess {
  platform::ChildProcess child;
  int exchangeTimeoutMs = kExchangeTimeoutMs;
  int stopTimeoutMs = kStopTimeoutMs;
  // Each exchange with a tool carries a number of its own, counted up from a
  // random start, so that no file's content can predict (and so imitate) the
  // marker line that ends a reply.
  std::uint64_t firstId = 0;
  std::uint64_t nextId = 0;
  // The program that runs, and whether it has answered since it started.
  std::u16string program;
  bool answered = false;
  // Programs that ended before their first answer (a copy of the script
  // without its library, a package without its support files): starts
  // pass them over.
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
};

struct Exchange {
  ExchangeStatus status = ExchangeStatus::kNoTool;
  // UTF-16, without the marker line. With kBroken: what arrived before the
  // tool stopped (empty when the reply grew beyond its limit).
  std::u16string reply;
};

// Sends `commands` (argument lines, each ended by a line feed), then a
// numbered "-executeN" line, and reads the reply up to its "{readyN}" line.
// On any status but kReply the tool has been ended, so that the next
// request starts a fresh one.
Exchange ToolRequest(ToolProcess& tool, std::string_view commands);

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
