#include "tool/tool_bridge.h"

#include <string>

namespace tool {

namespace {

constexpr std::size_t kMarkerLength = sizeof(kReadyMarker) - 1;
// A reply larger than this is taken as a tool gone wrong.
constexpr std::size_t kMaximumReply = std::size_t{64} << 20;

// The file part of `path`: what follows its last separator, or all of it.
std::u16string FilePart(const std::u16string& path) {
  const std::size_t separator = path.rfind(platform::kPathSeparator);
  return separator == std::u16string::npos ? path : path.substr(separator + 1);
}

}  // namespace

int StartTool(ToolProcess& tool, const std::u16string& toolPath,
              const std::u16string& pluginDirectory) {
  tool.child.Terminate();
  int result = tool.child.Start(toolPath, kLaunchArguments);
  if (result != 10) return result;
  result = tool.child.Start(pluginDirectory + FilePart(toolPath), kLaunchArguments);
  return result;
}

bool ToolRunning(const ToolProcess& tool) { return tool.child.Running(); }

bool EndsWithReadyMarker(std::string_view received, std::size_t lineEndLength) {
  if (lineEndLength == 0 || received.size() < kMarkerLength + lineEndLength) {
    return false;
  }
  const std::size_t start = received.size() - lineEndLength - kMarkerLength;
  if (received.compare(start, kMarkerLength, kReadyMarker) != 0) return false;
  if (start != 0 && received[start - 1] != '\n') return false;
  // The line end itself: LF, or CR LF where lines end with two bytes.
  const std::string_view lineEnd = received.substr(start + kMarkerLength);
  if (lineEnd.back() != '\n') return false;
  for (std::size_t i = 0; i + 1 < lineEnd.size(); ++i) {
    if (lineEnd[i] != '\r') return false;
  }
  return true;
}

Exchange ToolRequest(ToolProcess& tool, std::string_view request) {
  Exchange exchange;
  if (!ToolRunning(tool)) return exchange;

  const platform::IoResult written =
      tool.child.Write(request, tool.exchangeTimeoutMs);
  if (written != platform::IoResult::kOk) {
    exchange.status = written == platform::IoResult::kClosed
                          ? ExchangeStatus::kToolGone
                          : ExchangeStatus::kBroken;
    tool.child.Terminate();
    return exchange;
  }

  std::string received;
  char buffer[kReadChunk + 1];
  for (;;) {
    std::size_t count = 0;
    const platform::IoResult read =
        tool.child.Read(buffer, kReadChunk, &count, tool.exchangeTimeoutMs);
    if (read != platform::IoResult::kOk) {
      exchange.status = read == platform::IoResult::kClosed && received.empty()
                            ? ExchangeStatus::kToolGone
                            : ExchangeStatus::kBroken;
      break;
    }
    received.append(buffer, count);
    if (received.size() > kMaximumReply) {
      exchange.status = ExchangeStatus::kBroken;
      received.clear();
      break;
    }
    if (EndsWithReadyMarker(received, platform::kToolLineEndLength)) {
      received.resize(received.size() - kMarkerLength - platform::kToolLineEndLength);
      exchange.status = ExchangeStatus::kReply;
      break;
    }
  }

  exchange.reply = platform::Utf8ToUtf16(received);
  if (exchange.status != ExchangeStatus::kReply) tool.child.Terminate();
  return exchange;
}

void StopTool(ToolProcess& tool) {
  if (!ToolRunning(tool)) return;
  const std::uint64_t deadline = platform::MonotonicMilliseconds() +
                                 static_cast<std::uint64_t>(tool.stopTimeoutMs);
  auto remaining = [deadline]() {
    const std::uint64_t now = platform::MonotonicMilliseconds();
    return now >= deadline ? 0 : static_cast<int>(deadline - now);
  };

  if (tool.child.Write(kStopRequest, remaining()) == platform::IoResult::kOk) {
    // The tool leaves its loop on the request, or on the end of its input.
    tool.child.CloseInput();
    char buffer[kReadChunk + 1];
    for (;;) {
      const int left = remaining();
      if (left == 0) break;
      std::size_t count = 0;
      if (tool.child.Read(buffer, kReadChunk, &count, left) !=
          platform::IoResult::kOk) {
        break;
      }
    }
    tool.child.WaitForExit(remaining());
  }
  tool.child.Terminate();
}

}  // namespace tool
