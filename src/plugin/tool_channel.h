// The tool carries one exchange at a time. A request waits its turn for a
// bounded time, and every wait ends at once when the channel is closed for
// unloading.
#pragma once

#include <condition_variable>
#include <mutex>

namespace plugin {

// How long a request waits for another request's exchange to end. A
// healthy exchange takes milliseconds; one that takes longer than this is
// held by a tool that is about to be cut off.
inline constexpr int kChannelWaitMs = 10000;

class ToolChannel {
 public:
  // Takes the channel, waiting at most `timeoutMs`; false when it timed out
  // or the channel is closed.
  bool Acquire(int timeoutMs);
  // The same for the unloading thread, which may take a closed channel.
  bool AcquireForClosing(int timeoutMs);
  void Release();
  // From now on Acquire fails at once, and waiting requests give up.
  void Close();

 private:
  bool Take(int timeoutMs, bool evenIfClosed);

  std::mutex mutex_;
  std::condition_variable changed_;
  bool busy_ = false;
  bool closed_ = false;
};

// Holds the channel for as long as it lives, when it could be taken.
class ChannelTurn {
 public:
  ChannelTurn(ToolChannel& channel, int timeoutMs)
      : channel_(channel), held_(channel.Acquire(timeoutMs)) {}
  ~ChannelTurn() {
    if (held_) channel_.Release();
  }
  ChannelTurn(const ChannelTurn&) = delete;
  ChannelTurn& operator=(const ChannelTurn&) = delete;
  bool held() const { return held_; }

 private:
  ToolChannel& channel_;
  const bool held_;
};

}  // namespace plugin
