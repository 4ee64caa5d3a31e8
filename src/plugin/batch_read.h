// A file's batch request as the tool answers it, and the forms the tool
// refuses: a request that holds one is refused as a whole, so such a form
// is found, remembered and left out of every later batch.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tool/requests.h"

namespace plugin {

struct PluginState;

// What one exchange with the tool gave.
enum class AskResult {
  kReply,    // the tool answered; the reply is set
  kNoReply,  // the exchange ended without an answer (stop, unload, a broken tool)
  kNoTool,   // no tool could be started
};
using AskFunction = std::function<AskResult(const std::string& request, std::u16string& reply)>;

struct BatchRead {
  AskResult result = AskResult::kNoReply;
  // With kReply: what the reply says of each key, in the order of the keys.
  std::vector<tool::BatchValue> values;
  // The keys that the tool refuses (with any result): their values are
  // missing.
  std::vector<tool::TagKey> refused;
};

// Asks for `keys` (a batch: tool::BuildBatchRequest) of one file in one
// request. When the tool refuses the request as a whole, each key is asked
// alone, so that the good ones get their values; the last key is refused
// without asking when every other one was taken. A file that has none of
// the tags costs the one request.
BatchRead ReadBatch(const std::vector<tool::TagKey>& keys, std::string_view fileNameUtf8,
                    std::size_t lineEndLength, const AskFunction& ask);

// Remembers `refused` (state.refusedForms) and has the next batch made
// without them.
void RememberRefused(PluginState& state, const std::vector<tool::TagKey>& refused);

// True for a form that the tool was found to refuse.
bool Refused(PluginState& state, const tool::TagKey& key);

}  // namespace plugin
