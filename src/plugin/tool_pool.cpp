#include "plugin/tool_pool.h"

#include <algorithm>
#include <vector>

#include "platform/platform.h"

namespace plugin {

void ToolPool::SetLimit(int limit) {
  std::lock_guard<platform::Mutex> lock(mutex_);
  limit_ = std::clamp(limit, 1, kMaxTools);
}

int ToolPool::FreeSlot(bool hostTurn, bool patienceOver) const {
  // The first tool serves the host whenever it is free; otherwise a running
  // tool before one that must be started. A host turn waits a moment for a
  // read ahead under way, which mostly ends within it, rather than start a
  // tool; after that it starts one, in the reserve slot above the limit if
  // need be. Read-ahead starts none but the first: the extra ones are
  // started apart, with no file waiting on them.
  if (hostTurn && !slots_[0].busy) return 0;
  int empty = -1, running = -1;
  bool any = false, ahead = false;
  for (int i = 0; i < limit_; ++i) {
    const Slot& s = slots_[i];
    any = any || s.busy || s.alive;
    ahead = ahead || (s.busy && s.holder == Turn::kAhead);
    if (s.busy) continue;
    // Reading ahead takes the last running tool, leaving the first (the
    // host's, at its priority) free as long as it can.
    if (s.alive && (hostTurn ? running < 0 : true)) running = i;
    if (!s.alive && empty < 0) empty = i;
  }
  if (running >= 0) return running;
  if (!hostTurn) return any ? -1 : 0;
  const Slot& reserve = slots_[limit_];
  if (!reserve.busy && reserve.alive) return limit_;
  if (!ahead) return empty;
  if (!patienceOver) return -1;
  return empty >= 0 || reserve.busy ? empty : limit_;
}

bool ToolPool::GiveUpAhead() {
  for (int i = 0; i < limit_; ++i) {
    Slot& s = slots_[i];
    if (s.busy && s.holder == Turn::kAhead && !s.tool.child.Cancelled()) {
      // Its exchange ends at once, and its holder lets the slot go.
      s.tool.child.Kill();
      ++aheadGivenUp_;
      return true;
    }
  }
  return false;
}

std::uint64_t ToolPool::AheadGivenUp() const {
  std::lock_guard<platform::Mutex> lock(mutex_);
  return aheadGivenUp_;
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
                      std::uint64_t expected, const std::atomic<bool>* stop) {
  const bool host = turn == Turn::kHost;
  std::unique_lock<platform::Mutex> lock(mutex_);
  const auto calledOff = [&] {
    return (epoch != nullptr && epoch->load() != expected) || (stop != nullptr && stop->load());
  };
  bool patienceOver = false;
  const auto ready = [&] {
    return closed_ || calledOff() ||
           ((host || hostsWaiting_ == 0) && FreeSlot(host, patienceOver) >= 0);
  };
  if (host) ++hostsWaiting_;
  const std::uint64_t deadline = platform::DeadlineAfter(timeoutMs);
  bool woke = changed_.WaitFor(lock, host ? std::min(timeoutMs, kHostPatienceMs) : timeoutMs,
                               ready);
  // A host turn held up by reading ahead: a tool of its own, or the tool of
  // a read-ahead exchange given up, each round of patience.
  while (host && !woke) {
    patienceOver = true;
    if (ready()) {
      woke = true;
      break;
    }
    const int left = platform::Remaining(deadline);
    if (left == 0) break;
    GiveUpAhead();
    woke = changed_.WaitFor(lock, std::min(left, kHostPatienceMs), ready);
  }
  if (host) --hostsWaiting_;
  int slot = -1;
  if (woke && !closed_ && !calledOff()) {
    slot = FreeSlot(host, patienceOver);
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

bool ToolPool::StopIdleTools(int idleMs) {
  std::vector<int> idle;
  bool running = false;
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    if (closed_) return false;
    const std::uint64_t now = platform::MonotonicMilliseconds();
    for (int i = kStandbySlot + 1; i < kSlots; ++i) {
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
  // A tool that has never answered (a standby, or one still starting) owes
  // nothing and may be a program that never answers: it is ended at once.
  std::vector<tool::ToolProcess*> tools, unanswered;
  for (Slot& s : slots_) {
    if (s.busy) continue;  // still held: ended already, and its holder stops it
    s.busy = true;
    (s.tool.answered ? tools : unanswered).push_back(&s.tool);
  }
  lock.unlock();
  for (tool::ToolProcess* tool : unanswered) tool->child.Terminate();
  tool::StopTools(tools.data(), tools.size());
}

}  // namespace plugin
