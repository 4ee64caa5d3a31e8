#include "plugin/host_calls.h"

#include <algorithm>

namespace plugin {

void HostCalls::Add(HostCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(&call);
}

void HostCalls::Remove(HostCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.erase(std::find(calls_.begin(), calls_.end(), &call));
}

bool HostCalls::Hold(HostCall& call, int slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (call.stopped) return false;
  call.slot = slot;
  return true;
}

void HostCalls::LetGo(HostCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  call.slot = -1;
}

void HostCalls::Stop(const std::u16string* name, ToolPool& pool) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (HostCall* call : calls_) {
    if (name != nullptr && call->name != *name) continue;
    call->stopped = true;
    // The tool finishes its reply meanwhile; the next exchange reads it away.
    if (call->slot >= 0) pool.Tool(call->slot).child.Cancel();
  }
}

}  // namespace plugin
