// The host's calls for values under way, as the host's stops see them: a
// stop names a file, and ends the calls for that file alone, whether they
// wait for a tool or are inside an exchange with one.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "plugin/tool_pool.h"

namespace plugin {

// One call for a value of one file, while it is under way.
struct HostCall {
  std::u16string name;
  std::atomic<bool> stopped{false};  // the host stopped it
  int slot = -1;                     // under the calls' mutex: the pool slot it holds
};

class HostCalls {
 public:
  void Add(HostCall& call);
  void Remove(HostCall& call);
  // The call holds the tool of `slot` for its exchanges (the caller has
  // cleared the tool's old cancel first: ReadyForExchange); false (and
  // nothing held) when the call was stopped.
  bool Hold(HostCall& call, int slot);
  void LetGo(HostCall& call);
  // Stops the calls for `name` (null: every call): each is marked, and the
  // tool one holds is cancelled, which abandons its exchange.
  void Stop(const std::u16string* name, ToolPool& pool);

 private:
  std::mutex mutex_;
  std::vector<HostCall*> calls_;
};

// Makes a call known to the stops while it lives.
class CallEntry {
 public:
  CallEntry(HostCalls& calls, HostCall& call) : calls_(calls), call_(call) { calls_.Add(call_); }
  ~CallEntry() { calls_.Remove(call_); }
  CallEntry(const CallEntry&) = delete;
  CallEntry& operator=(const CallEntry&) = delete;

 private:
  HostCalls& calls_;
  HostCall& call_;
};

// Lets a stop for the call cancel the tool of `slot` while it lives.
class CallTool {
 public:
  CallTool(HostCalls& calls, HostCall& call, int slot)
      : calls_(calls), call_(call), held_(calls.Hold(call, slot)) {}
  ~CallTool() {
    if (held_) calls_.LetGo(call_);
  }
  CallTool(const CallTool&) = delete;
  CallTool& operator=(const CallTool&) = delete;
  bool held() const { return held_; }

 private:
  HostCalls& calls_;
  HostCall& call_;
  const bool held_;
};

}  // namespace plugin
