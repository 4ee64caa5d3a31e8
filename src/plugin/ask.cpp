#include "plugin/ask.h"

#include <algorithm>

#include "config/path_filter.h"
#include "platform/platform.h"
#include "plugin/batch_keys.h"
#include "plugin/value_request.h"

namespace plugin {

bool Ask(PluginState& state, tool::ToolProcess& tool, const std::string& request,
         tool::Exchange& exchange, int timeoutMs) {
  constexpr int kMostAttempts = 4;
  for (int attempt = 0; attempt < kMostAttempts; ++attempt) {
    if (state.unloading) {
      exchange = tool::Exchange{};
      return true;
    }
    if (!tool::ToolRunning(tool)) {
      // The first start of the host's tool brings the standby.
      if (&tool == &state.pool.Tool(0)) state.ahead.StartStandby();
      if (tool::StartTool(tool, state.config.toolPath, state.pluginDirectory) != 0) return false;
    }
    exchange = tool::ToolRequest(tool, request, timeoutMs, kDrainWaitMs);
    if (!tool::SetAsideIfDeadOnArrival(tool, exchange) &&
        (exchange.status != tool::ExchangeStatus::kToolGone || attempt >= 1))
      break;
  }
  if (exchange.status == tool::ExchangeStatus::kReply) tool::EndIfGrown(tool);
  // Unloading ends the tool under an exchange: nothing is owed any more.
  if (exchange.status == tool::ExchangeStatus::kAbandoned && state.unloading)
    tool.child.Terminate();
  return true;
}

std::shared_ptr<const std::vector<tool::TagKey>> BatchKeysWith(PluginState& state,
                                                               const tool::TagKey* add) {
  std::lock_guard<std::mutex> lock(state.formsMutex);
  const bool newForm = add != nullptr && std::find(state.askedForms.begin(),
                                                   state.askedForms.end(),
                                                   *add) == state.askedForms.end();
  if (newForm) state.askedForms.push_back(*add);
  if (newForm || !state.batchKeys)
    state.batchKeys = std::make_shared<const std::vector<tool::TagKey>>(
        BatchKeys(state.config.fields, state.askedForms, state.refusedForms));
  return state.batchKeys;
}

BatchRead AskBatch(PluginState& state, tool::ToolProcess& tool,
                   const std::vector<tool::TagKey>& keys, const std::string& nameUtf8,
                   int timeoutMs) {
  const BatchRead read = ReadBatch(
      keys, nameUtf8, platform::kToolLineEndLength,
      [&state, &tool, timeoutMs](const std::string& request, std::u16string& reply) {
        tool::Exchange exchange;
        if (!Ask(state, tool, request, exchange, timeoutMs)) return AskResult::kNoTool;
        if (exchange.status != tool::ExchangeStatus::kReply) return AskResult::kNoReply;
        reply = std::move(exchange.reply);
        return AskResult::kReply;
      });
  RememberRefused(state, read.refused);
  return read;
}

bool ReadyForExchange(PluginState& state, tool::ToolProcess& tool) {
  if (tool.child.Cancelled()) {
    tool.child.ClearCancel();
    // Unloading is looked at after the clear, so that the two cannot cross.
    if (state.unloading) {
      tool.child.Cancel();
      return false;
    }
  }
  return !state.unloading;
}

// ------------------------------------------------ reading ahead, through the module

void ModuleReader::ReadFile(tool::ToolProcess& tool, const std::u16string& name) {
  PluginState& state = state_;
  if (state.unloading || !config::PathAllowed(state.config.filter, name) ||
      !SendableFileName(name))
    return;
  const std::uint64_t generation = state.cache.Generation();
  const platform::FileStamp stamp = platform::StatFile(name);
  if (!stamp.regular || !stamp.identified || state.cache.Batched(name, stamp) ||
      !ReadyForExchange(state, tool))
    return;
  const auto keys = BatchKeysWith(state, nullptr);
  // A file nobody asked for yet gets a file's time, not the host's.
  const BatchRead read =
      AskBatch(state, tool, *keys, platform::Utf16ToUtf8(name), kAheadExchangeMs);
  if (read.result != AskResult::kReply) return;
  state.cache.StoreBatch(name, stamp, generation, *keys, read.values);
}

void ModuleReader::StartTool(tool::ToolProcess& tool) {
  if (state_.unloading || tool::ToolRunning(tool)) return;
  // Its start and its reads take only the time the host's tool leaves.
  tool.background = true;
  tool::StartTool(tool, state_.config.toolPath, state_.pluginDirectory);
}

}  // namespace plugin
