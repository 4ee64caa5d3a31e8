// The tools, each carrying one exchange at a time. The first is started
// when a value is first asked for and runs until unload, and so does the
// standby beside it; the others start when reading ahead gives them work
// and stop after a while without any.
// A request the host waits for goes before reading ahead. Every wait is
// bounded and ends at once when the pool is closed for unloading.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "tool/tool_bridge.h"

namespace plugin {

// The most tools that run at once (the module runs one a core, up to this):
// past it, each more adds less than its memory and start cost, and the
// disk and the host's one call at a time bind first.
inline constexpr int kMaxTools = 8;
// How long a request waits for another request's exchange to end. A
// healthy exchange takes milliseconds; one that takes longer than this is
// held by a tool that is about to be cut off.
inline constexpr int kChannelWaitMs = 10000;
// An extra tool without work for this long is stopped.
inline constexpr int kIdleToolMs = 10000;
// How long a host turn waits for a read-ahead exchange to end before it
// takes a tool of its own: about one file's time.
inline constexpr int kHostPatienceMs = 200;
// The most a read-ahead exchange may take before it is given up.
inline constexpr int kAheadExchangeMs = 5000;
// How long a turn waits for a tool to finish the reply of an exchange given
// up before (the host stopped it) before the tool is ended and started anew.
inline constexpr int kDrainWaitMs = 1000;
// The first extra tool is the standby: it starts beside the host's first
// tool, at the lower priority, and like the host's it runs until unload, so
// that no walk and no screen waits for a tool's start after the first one.
// The others are stopped after kIdleToolMs without work.
inline constexpr int kStandbySlot = 1;
// One slot above the limit, for host turns when every tool reads ahead.
inline constexpr int kSlots = kMaxTools + 1;

enum class Turn { kHost, kAhead };

class ToolPool {
 public:
  ToolPool() = default;
  ToolPool(const ToolPool&) = delete;
  ToolPool& operator=(const ToolPool&) = delete;

  // How many tools may run, 1 to kMaxTools. Set before the first turn.
  void SetLimit(int limit);
  int Limit() const { return limit_; }

  // A tool for one exchange: its slot, or -1. A host turn waits at most
  // `timeoutMs`, or until `*stop` is set; it takes the first tool let go
  // before any read-ahead turn does, and starts a tool in a free slot when
  // no running tool is free and the busy ones all serve the host. When
  // read-ahead holds tools, it waits for one of them for kHostPatienceMs at
  // most; then it starts a tool in a free slot (the reserve slot above the
  // limit too), or, with none free, gives up a read-ahead exchange: that
  // tool is ended, and the host turn takes its slot. A read-ahead turn
  // waits until a running tool within the limit is free (or no tool runs at
  // all: then the first, to be started) and no host turn waits, or until
  // `*epoch` is no longer `expected` (the reading was called off). Both
  // give up when the pool closes.
  int Acquire(Turn turn, int timeoutMs, const std::atomic<std::uint64_t>* epoch = nullptr,
              std::uint64_t expected = 0, const std::atomic<bool>* stop = nullptr);
  void Release(int slot);
  // A free extra slot with no tool, for starting one; -1 when there is none.
  int AcquireToStart();
  // The tool of a slot, for the turn that holds it. Any thread may Cancel
  // or Kill its child.
  tool::ToolProcess& Tool(int slot) { return slots_[slot].tool; }

  // Turns waiting look at their epoch or stop again.
  void Wake();
  // How many read-ahead exchanges were given up for host turns.
  std::uint64_t AheadGivenUp() const;
  // Stops the extra tools past the standby that have had no work for
  // `idleMs`; true while any of them still runs.
  bool StopIdleTools(int idleMs);
  // Unload: no turn is given any more and waiting turns give up; the tools
  // of turns under way are ended; once those turns are let go (within the
  // stop time-out), every tool is asked to stop and ended. A process that
  // ends has no other threads: its tools are only ended.
  void Shutdown(bool processEnding);

 private:
  struct Slot {
    tool::ToolProcess tool;
    bool busy = false;
    bool alive = false;  // a tool was running when the slot was let go
    Turn holder = Turn::kHost;
    std::uint64_t lastUsed = 0;
  };
  int FreeSlot(bool hostTurn, bool patienceOver) const;
  bool GiveUpAhead();  // under the mutex

  mutable platform::Mutex mutex_;
  platform::Condition changed_;
  std::array<Slot, kSlots> slots_;
  int limit_ = 1;
  std::uint64_t aheadGivenUp_ = 0;
  int hostsWaiting_ = 0;
  bool closed_ = false;
  bool stopped_ = false;  // the tools were stopped for unloading
};

// Holds a tool of the pool for as long as it lives, when one could be taken.
class PoolTurn {
 public:
  PoolTurn(ToolPool& pool, Turn turn, int timeoutMs, const std::atomic<bool>* stop = nullptr)
      : pool_(pool), slot_(pool.Acquire(turn, timeoutMs, nullptr, 0, stop)) {}
  ~PoolTurn() {
    if (slot_ >= 0) pool_.Release(slot_);
  }
  PoolTurn(const PoolTurn&) = delete;
  PoolTurn& operator=(const PoolTurn&) = delete;
  bool held() const { return slot_ >= 0; }
  int slot() const { return slot_; }
  tool::ToolProcess& tool() { return pool_.Tool(slot_); }

 private:
  ToolPool& pool_;
  const int slot_;
};

}  // namespace plugin
