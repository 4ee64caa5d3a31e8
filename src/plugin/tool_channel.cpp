#include "plugin/tool_channel.h"

#include <chrono>

namespace plugin {

bool ToolChannel::Take(int timeoutMs, bool evenIfClosed) {
  std::unique_lock<std::mutex> lock(mutex_);
  const bool free = changed_.wait_for(
      lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
      [&] { return (closed_ && !evenIfClosed) || !busy_; });
  if (!free || (closed_ && !evenIfClosed)) return false;
  busy_ = true;
  return true;
}

bool ToolChannel::Acquire(int timeoutMs) { return Take(timeoutMs, false); }

bool ToolChannel::AcquireForClosing(int timeoutMs) { return Take(timeoutMs, true); }

void ToolChannel::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    busy_ = false;
  }
  changed_.notify_all();
}

void ToolChannel::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

}  // namespace plugin
