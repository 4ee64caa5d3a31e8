#include "plugin/batch_read.h"

#include <algorithm>
#include <mutex>

#include "plugin/plugin.h"

namespace plugin {

BatchRead ReadBatch(const std::vector<tool::TagKey>& keys, std::string_view fileNameUtf8,
                    std::size_t lineEndLength, const AskFunction& ask) {
  BatchRead read;
  // No tag left to ask (every one refused): a request without tags would
  // have the tool print all of them.
  if (keys.empty()) {
    read.result = AskResult::kReply;
    return read;
  }
  std::u16string reply;
  read.result = ask(tool::BuildBatchRequest(keys, fileNameUtf8), reply);
  if (read.result != AskResult::kReply) return read;
  if (!tool::BatchRefused(reply)) {
    read.values = tool::ReadBatchReply(reply, keys, lineEndLength);
    return read;
  }
  const tool::BatchValue missing = std::optional<std::u16string>();
  read.values.assign(keys.size(), tool::BatchValue());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::vector<tool::TagKey> one{keys[i]};
    // The request was refused for one key at least.
    const bool mustBeThisOne = i + 1 == keys.size() && read.refused.empty();
    if (!mustBeThisOne) {
      read.result = ask(tool::BuildBatchRequest(one, fileNameUtf8), reply);
      if (read.result != AskResult::kReply) return read;
    }
    if (mustBeThisOne || tool::BatchRefused(reply)) {
      read.refused.push_back(keys[i]);
      read.values[i] = missing;
    } else {
      read.values[i] = tool::ReadBatchReply(reply, one, lineEndLength).front();
    }
  }
  return read;
}

void RememberRefused(PluginState& state, const std::vector<tool::TagKey>& refused) {
  if (refused.empty()) return;
  std::lock_guard<std::mutex> lock(state.formsMutex);
  for (const tool::TagKey& key : refused)
    if (std::find(state.refusedForms.begin(), state.refusedForms.end(), key) ==
        state.refusedForms.end())
      state.refusedForms.push_back(key);
  state.batchKeys.reset();
}

bool Refused(PluginState& state, const tool::TagKey& key) {
  std::lock_guard<std::mutex> lock(state.formsMutex);
  return std::find(state.refusedForms.begin(), state.refusedForms.end(), key) !=
         state.refusedForms.end();
}

}  // namespace plugin
