// Exchanges with the module's tools, shared by the host's value requests
// and the reading ahead: a tool started when none runs, a file's batch of
// tags with the forms the tool refuses remembered, and the batch's tags.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plugin/batch_read.h"
#include "plugin/plugin.h"
#include "tool/requests.h"
#include "tool/tool_bridge.h"

namespace plugin {

// One exchange with the tool, started when none runs. A tool found gone
// before it answered (ended from outside, crashed on an earlier file) is
// started afresh and asked once more; a program that dies before its first
// answer gives way to the next one found, within a few starts. False when
// no tool could be started. `timeoutMs` bounds the exchange (below 0: the
// tool's own time-out). A tool grown far past its start is ended after its
// reply, to start afresh.
bool Ask(PluginState& state, tool::ToolProcess& tool, const std::string& request,
         tool::Exchange& exchange, int timeoutMs = -1);

// The tags of a file's one batch request, with `add` among the forms asked
// for when it is given.
std::shared_ptr<const std::vector<tool::TagKey>> BatchKeysWith(PluginState& state,
                                                               const tool::TagKey* add);

// A file's batch, read with `tool` as ReadBatch says; the forms the tool
// refuses are remembered.
BatchRead AskBatch(PluginState& state, tool::ToolProcess& tool,
                   const std::vector<tool::TagKey>& keys, const std::string& nameUtf8,
                   int timeoutMs = -1);

// A tool's cancel left from a stop that came between exchanges was for
// nobody; the unload's stays. False when the module unloads.
bool ReadyForExchange(PluginState& state, tool::ToolProcess& tool);

}  // namespace plugin
