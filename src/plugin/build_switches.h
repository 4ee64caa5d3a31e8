// Build switches of the core. Off only in builds that the benchmarks
// compare against.
#pragma once

#ifndef VELTAMO_BATCHING
#define VELTAMO_BATCHING 1
#endif
#ifndef VELTAMO_READ_AHEAD
#define VELTAMO_READ_AHEAD 1
#endif

namespace plugin {

// Without batching: one request per value and nothing kept, as the module
// asked before it batched. Without reading ahead: one tool and no workers.
inline constexpr bool kBatching = VELTAMO_BATCHING != 0;
inline constexpr bool kReadAhead = kBatching && VELTAMO_READ_AHEAD != 0;

}  // namespace plugin
