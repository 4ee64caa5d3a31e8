#include "plugin/tool_pool.h"

#include <algorithm>
#include <vector>

#include "platform/platform.h"

namespace plugin {

void ToolPool::SetLimit(int limit) {
  std::lock_guard<platform::Mutex> lock(mutex_);
  limit_ = std::clamp(limit, 1, kMaxTools);
}

int ToolPool::FreeSlot(bool hostTurn) const {
  // The first tool serves the host whenever it is free; otherwise a running
  // tool before one that must be started. A host turn waits for a read
  // ahead under way, which ends within moments, rather than start a tool;
  // read-ahead starts none but the first: the extra ones are started apart,
  // with no file waiting on them.
  if (hostTurn && !slots_[0].busy) return 0;
  int empty = -1;
  bool any = false, ahead = false;
  for (int i = 0; i < limit_; ++i) {
    const Slot& s = slots_[i];
    any = any || s.busy || s.alive;
    ahead = ahead || (s.busy && s.holder == Turn::kAhead);
    if (s.busy) continue;
    if (s.alive) return i;
    if (empty < 0) empty = i;
  }
  if (hostTurn) return ahead ? -1 : empty;
  return any ? -1 : 0;
}

int ToolPool::AcquireToStart() {
  std::lock_guard<platform::Mutex> lock(mutex_);
  if (closed_) return -1;
  for (int i = 1; i < limit_; ++i) {
    Slot& s = slots_[i];
    if (!s.busy && !s.alive) {
      s.busy = true;
      s.holder = Turn::kAhead;
      return i;
    }
  }
  return -1;
}

int ToolPool::Acquire(Turn turn, int timeoutMs, const std::atomic<std::uint64_t>* epoch,
                      std::uint64_t expected) {
  const bool host = turn == Turn::kHost;
  std::unique_lock<platform::Mutex> lock(mutex_);
  const auto calledOff = [&] { return epoch != nullptr && epoch->load() != expected; };
  const auto ready = [&] {
    return closed_ || calledOff() || ((host || hostsWaiting_ == 0) && FreeSlot(host) >= 0);
  };
  if (host) ++hostsWaiting_;
  const bool woke =
      changed_.WaitFor(lock, std::max(timeoutMs, 0), ready);
  if (host) --hostsWaiting_;
  int slot = -1;
  if (woke && !closed_ && !calledOff()) {
    slot = FreeSlot(host);
    slots_[slot].busy = true;
    slots_[slot].holder = turn;
  }
  // A read-ahead turn held back by this host turn may go now.
  if (host) changed_.NotifyAll();
  return slot;
}

void ToolPool::Release(int slot) {
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    Slot& s = slots_[slot];
    s.busy = false;
    s.alive = tool::ToolRunning(s.tool);
    s.lastUsed = platform::MonotonicMilliseconds();
  }
  changed_.NotifyAll();
}

void ToolPool::Wake() {
  { std::lock_guard<platform::Mutex> lock(mutex_); }
  changed_.NotifyAll();
}

void ToolPool::CancelHostTurns() {
  std::lock_guard<platform::Mutex> lock(mutex_);
  for (Slot& s : slots_)
    if (s.busy && s.holder == Turn::kHost) s.tool.child.Cancel();
}

bool ToolPool::StopIdleTools(int idleMs) {
  std::vector<int> idle;
  bool running = false;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    if (closed_) return false;
    const std::uint64_t now = platform::MonotonicMilliseconds();
    for (int i = 1; i < kMaxTools; ++i) {
      Slot& s = slots_[i];
      if (!s.busy && s.alive && now - s.lastUsed >= static_cast<std::uint64_t>(idleMs)) {
        s.busy = true;
        s.holder = Turn::kAhead;
        idle.push_back(i);
      } else if (s.busy || s.alive) {
        running = true;
      }
    }
  }
  for (int i : idle) {
    tool::StopTool(slots_[i].tool);
    Release(i);
  }
  return running;
}

void ToolPool::Shutdown(bool processEnding) {
  std::unique_lock<platform::Mutex> lock(mutex_);
  if (stopped_) return;
  closed_ = true;
  for (Slot& s : slots_)
    if (s.busy) s.tool.child.Kill();
  changed_.NotifyAll();
  // A thread that held a tool when the process began to end is gone and
  // never lets go; the system ends the tools with the process.
  if (processEnding) return;
  const auto released = [&] {
    return std::none_of(slots_.begin(), slots_.end(), [](const Slot& s) { return s.busy; });
  };
  changed_.WaitFor(lock, slots_[0].tool.stopTimeoutMs, released);
  stopped_ = true;
  std::vector<tool::ToolProcess*> tools;
  for (Slot& s : slots_) {
    if (s.busy) continue;  // still held: ended already, and its holder stops it
    s.busy = true;
    tools.push_back(&s.tool);
  }
  lock.unlock();
  tool::StopTools(tools.data(), tools.size());
}

}  // namespace plugin
