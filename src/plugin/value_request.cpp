#include "plugin/value_request.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/tag_rule.h"
#include "convert/units.h"
#include "platform/platform.h"
#include "plugin/ask.h"
#include "plugin/batch_keys.h"
#include "plugin/build_switches.h"
#include "text/text.h"
#include "tool/requests.h"

namespace plugin {

bool SendableFileName(std::u16string_view name) {
  return platform::IsPlainAbsolutePath(name) &&
         name.find_first_of(u"\r\n") == std::u16string_view::npos &&
         !text::HasUnpairedSurrogate(name);
}

namespace {

// Where the request writes its answer.
struct HostBuffer {
  void* fieldValue;
  int maxLength;
  HostText text;
};

// One value request once its checks have passed: the field, the form of
// its tag that the unit entry asks for, and the file as it was found.
struct Request {
  Request(HostCall& host, const HostBuffer& buffer) : call(host), out(buffer) {}
  HostCall& call;
  const config::Field* field = nullptr;
  std::u16string unit;
  tool::TagKey key;
  platform::FileStamp stamp;
  // Taken before the file is looked at: a clear from here on voids what
  // this request reads.
  std::uint64_t generation = 0;
  // What was read for the file is kept while its stamp stays the same.
  bool cached = false;
  // The name is a folder's (or a device's).
  bool folder = false;
  HostBuffer out;
};

// A result code, or nothing when the request goes on to its next step.
using Outcome = std::optional<int>;

int DeliverKnown(const Request& request, const std::optional<std::u16string>& value) {
  if (!value || value->empty()) return kEmptyReply;
  return DeliverValue(request.field->attributes.fieldType, request.unit, *value,
                      request.out.fieldValue, request.out.maxLength, request.out.text);
}

int DeliverNotFound(const Request& request) {
  return DeliverText(kToolNotFound, request.out.fieldValue, request.out.maxLength);
}

// The field, its tag and the file name: anything the tool would take as an
// option, a write, a copy or a redirection is never sent, nor a name that
// is not one plain file.
Outcome Check(PluginState& state, int fieldIndex, int unitIndex, Request& request) {
  const int last = state.lastFieldIndex.load();
  if (last < 0 || fieldIndex < 0 || fieldIndex > last) return kNoValue;
  const config::Field& field = state.config.fields[fieldIndex];
  if (field.text.displayName == "-") return kNoValue;
  const std::string& tag = field.text.RequestTag();
  if (!config::IsTagRequest(tag)) return kNoValue;

  const std::u16string& name = request.call.name;
  if (!config::PathAllowed(state.config.filter, name)) return kFiltered;
  if (!SendableFileName(name)) return kNoValue;
  request.generation = state.cache.Generation();
  request.stamp = platform::StatFile(name);
  // A folder (or a device) is not one file: the tool would read everything
  // in it.
  if (request.stamp.exists && !request.stamp.regular) {
    request.folder = true;
    return kNoValue;
  }

  request.field = &field;
  request.unit = convert::PickUnit(field.text.units, unitIndex);
  request.key = tool::TagKey{tag, NumericUnit(request.unit)};
  request.cached = kBatching && request.stamp.identified;
  return std::nullopt;
}

// What was read before; a delay-if-slow call gets nothing more, and has
// the file read meanwhile.
Outcome FromCache(PluginState& state, const Request& request, int flags, bool& known) {
  const bool delayIfSlow = (flags & 1) != 0;
  const std::u16string& name = request.call.name;
  if (request.cached) {
    // A delay-if-slow call names a file the host shows now, out of order.
    if (!delayIfSlow) state.ahead.Asked(name);
    if (const auto value = state.cache.Find(name, request.stamp, request.key)) {
      known = true;
      return DeliverKnown(request, *value);
    }
  }
  if (delayIfSlow) {
    if (request.cached) state.ahead.Urgent(name);
    return kDelayed;
  }
  if (state.unloading) return kEmptyReply;
  // A form the tool refuses is never asked again.
  if (Refused(state, request.key)) return kEmptyReply;
  return std::nullopt;
}

// A file being read ahead is waited for, not read twice. Sets `keys` to
// the tags of the file's batch.
Outcome AfterReadAhead(PluginState& state, const Request& request,
                       std::shared_ptr<const std::vector<tool::TagKey>>& keys) {
  if (!request.cached) return std::nullopt;
  const std::u16string& name = request.call.name;
  state.ahead.WaitUntilRead(name, &request.call.stopped);
  if (request.call.stopped) return kEmptyReply;
  if (const auto value = state.cache.Find(name, request.stamp, request.key))
    return DeliverKnown(request, *value);
  // A form the host asks for is in every later file's batch.
  keys = BatchKeysWith(state, Batchable(*request.field) ? &request.key : nullptr);
  return std::nullopt;
}

// A file's first request asks for all its fields at once. Sets `answered`,
// and `value` to what it says (none: the file has no such value), when
// the batch answers the request's own form.
Outcome AskForBatch(PluginState& state, tool::ToolProcess& tool, const Request& request,
                    const std::vector<tool::TagKey>& keys, const std::string& nameUtf8,
                    std::optional<std::u16string>& value, bool& answered) {
  const auto mine = std::find(keys.begin(), keys.end(), request.key);
  if (mine == keys.end() || state.cache.Batched(request.call.name, request.stamp))
    return std::nullopt;
  const BatchRead read = AskBatch(state, tool, keys, nameUtf8);
  if (read.result == AskResult::kNoTool) return DeliverNotFound(request);
  if (read.result != AskResult::kReply) return kEmptyReply;
  state.cache.StoreBatch(request.call.name, request.stamp, request.generation, keys,
                         read.values);
  if (const tool::BatchValue& own = read.values[mine - keys.begin()]) {
    value = *own;
    answered = true;
  }
  return std::nullopt;
}

// A tag that a batch cannot answer exactly is asked for alone.
Outcome AskAlone(PluginState& state, tool::ToolProcess& tool, const Request& request,
                 const std::string& nameUtf8, std::optional<std::u16string>& value) {
  tool::Exchange exchange;
  if (!Ask(state, tool, tool::BuildTagRequest(request.key.tag, request.key.numeric, nameUtf8),
           exchange))
    return DeliverNotFound(request);
  if (exchange.status != tool::ExchangeStatus::kReply) return kEmptyReply;
  TrimReplyLineEnd(exchange.reply);
  if (!exchange.reply.empty()) value = std::move(exchange.reply);
  if (request.cached)
    state.cache.Store(request.call.name, request.stamp, request.generation, request.key, value);
  return std::nullopt;
}

// The exchange, on a tool of the pool that the host's stop can reach.
int FromTool(PluginState& state, const Request& request,
             const std::shared_ptr<const std::vector<tool::TagKey>>& keys) {
  PoolTurn turn(state.pool, Turn::kHost, kChannelWaitMs, &request.call.stopped);
  if (!turn.held()) return kEmptyReply;
  tool::ToolProcess& tool = turn.tool();
  if (!ReadyForExchange(state, tool)) return kEmptyReply;
  // A tool started for the host runs at the host's priority.
  if (!tool::ToolRunning(tool)) tool.background = false;
  const CallTool stoppable(state.calls, request.call, turn.slot());
  if (!stoppable.held()) return kEmptyReply;
  // Another request may have read it meanwhile.
  if (request.cached) {
    if (const auto known = state.cache.Find(request.call.name, request.stamp, request.key))
      return DeliverKnown(request, *known);
  }
  const std::string nameUtf8 = platform::Utf16ToUtf8(request.call.name);
  std::optional<std::u16string> value;
  bool answered = false;
  if (keys) {
    if (const Outcome ended =
            AskForBatch(state, tool, request, *keys, nameUtf8, value, answered))
      return *ended;
  }
  if (!answered) {
    if (const Outcome ended = AskAlone(state, tool, request, nameUtf8, value)) return *ended;
  }
  return DeliverKnown(request, value);
}

// The value request; `known` is set when the answer came from what was
// read before.
int Value(PluginState& state, HostCall& call, int fieldIndex, int unitIndex,
          const HostBuffer& out, int flags, bool& known) {
  Request request(call, out);
  if (const Outcome ended = Check(state, fieldIndex, unitIndex, request)) {
    // A search names the sub-folders among a folder's files: its walk goes on.
    if (request.folder && (flags & 1) == 0) state.ahead.Asked(call.name);
    return *ended;
  }
  if (const Outcome ended = FromCache(state, request, flags, known)) return *ended;
  std::shared_ptr<const std::vector<tool::TagKey>> keys;
  if (const Outcome ended = AfterReadAhead(state, request, keys)) return *ended;
  return FromTool(state, request, keys);
}

}  // namespace

int GetValue(PluginState& state, const char16_t* fileName, int fieldIndex,
             int unitIndex, void* fieldValue, int maxLength, int flags, HostText hostText) {
  bool known = false;
  int result = kNoValue;
  const std::size_t length =
      fileName == nullptr ? 0 : text::BoundedLength(fileName, kMaxFileName + 1);
  if (fileName != nullptr && length <= kMaxFileName) {
    HostCall call;
    call.name.assign(fileName, length);
    const CallEntry entry(state.calls, call);
    result = Value(state, call, fieldIndex, unitIndex,
                   HostBuffer{fieldValue, maxLength, hostText}, flags, known);
  }
  // With the delay-if-slow flag, only what was read before is an answer;
  // everything else is left to the call without it.
  return (flags & 1) != 0 && !known ? kDelayed : result;
}

}  // namespace plugin
