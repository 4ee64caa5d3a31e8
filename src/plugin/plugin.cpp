#include "plugin/plugin.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <thread>

#include "config/tag_rule.h"
#include "plugin/batch_keys.h"
#include "plugin/batch_read.h"
#include "convert/units.h"
#include "platform/platform.h"
#include "tool/requests.h"
#include "text/text.h"

#ifndef VELTAMO_BATCHING
#define VELTAMO_BATCHING 1
#endif
#ifndef VELTAMO_READ_AHEAD
#define VELTAMO_READ_AHEAD 1
#endif

namespace plugin {

// Off only in builds that the benchmark compares against: one request per
// value and nothing kept, as the module asked before it batched; one tool
// and no reading ahead.
constexpr bool kBatching = VELTAMO_BATCHING != 0;
constexpr bool kReadAhead = kBatching && VELTAMO_READ_AHEAD != 0;

PluginState::PluginState() {
  // A tool a core, up to four, and a worker for each.
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  const int tools = kReadAhead ? std::clamp(cores, 1, kMaxTools) : 1;
  pool.SetLimit(tools);
  ahead.SetWorkers(kReadAhead ? tools : 0);
}

PluginState::~PluginState() { Unload(*this, false); }

namespace {

// Made as the module is loaded and released as it is unloaded, so that a
// host that loads and unloads the module again and again loses nothing.
// Not a function's static: its guarded first use would make the runtime's
// thread library keep an event and a thread handle for the calling thread,
// which no unload gives back.
PluginState moduleState;

}  // namespace

PluginState& ModuleState() { return moduleState; }

// ------------------------------------------------------------- enumeration

namespace {

// Reads Config.txt once; the index of its last field, -1 when it has none.
int LoadConfiguration(PluginState& state) {
  int last = state.lastFieldIndex.load();
  if (last >= 0) return last;
  std::lock_guard<std::mutex> lock(state.loadMutex);
  last = state.lastFieldIndex.load();
  if (last < 0) {
    state.pluginDirectory = platform::ModuleDirectory();
    // Taken before the file is read: a change meanwhile shows later.
    state.configStamp = platform::StatFile(state.pluginDirectory + u"Config.txt");
    last = config::LoadConfig(state.config, state.pluginDirectory) - 1;
    state.lastFieldIndex.store(last);
  }
  return last;
}

}  // namespace

void HostLoaded() {
  PluginState& state = moduleState;
  if (state.lastFieldIndex.load() < 0 || state.activeCalls.load() != 0) return;
  {
    std::lock_guard<std::mutex> lock(state.loadMutex);
    if (platform::StatFile(state.pluginDirectory + u"Config.txt") == state.configStamp) return;
  }
  // What an unload and a new load would do: the tools, the workers and
  // what was read end, and the configuration is read anew.
  state.~PluginState();
  new (&state) PluginState();
  LoadConfiguration(state);
}

int GetSupportedField(PluginState& state, int fieldIndex, char* nameBuffer,
                      char* unitsBuffer, int maxLength) {
  const int last = LoadConfiguration(state);
  if (fieldIndex < 0 || fieldIndex > last) return config::kNoMoreFields;
  const config::Field& field = state.config.fields[fieldIndex];
  text::CopyTruncated(platform::HostFieldText(field.text.displayName), nameBuffer, maxLength);
  text::CopyTruncated(platform::HostFieldText(field.text.units), unitsBuffer, maxLength);
  return field.attributes.fieldType;
}

int GetDefaultSortOrder(PluginState& state, int fieldIndex) {
  const int last = state.lastFieldIndex.load();
  if (fieldIndex < 0 || fieldIndex > last) return 1;
  return state.config.fields[fieldIndex].attributes.sortOrder == -1 ? -1 : 1;
}

// ------------------------------------------------------------------ values

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

int DeliverKnown(const config::Field& field, std::u16string_view unit,
                 const std::optional<std::u16string>& value, const HostBuffer& out) {
  if (!value || value->empty()) return kEmptyReply;
  return DeliverValue(field.attributes.fieldType, unit, *value, out.fieldValue,
                      out.maxLength, out.text);
}

// One exchange with the tool, started when none runs. A tool found gone
// before it answered (ended from outside, crashed on an earlier file) is
// started afresh and asked once more; a program that dies before its first
// answer gives way to the next one found, within a few starts. False when
// no tool could be started. `timeoutMs` bounds the exchange (below 0: the
// tool's own time-out). A tool grown far past its start is ended after its
// reply, to start afresh.
bool Ask(PluginState& state, tool::ToolProcess& tool, const std::string& request,
         tool::Exchange& exchange, int timeoutMs = -1) {
  constexpr int kMostAttempts = 4;
  for (int attempt = 0; attempt < kMostAttempts; ++attempt) {
    if (state.unloading) {
      exchange = tool::Exchange{};
      return true;
    }
    if (!tool::ToolRunning(tool) &&
        tool::StartTool(tool, state.config.toolPath, state.pluginDirectory) != 0)
      return false;
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

// The tags of a file's one batch request, with `key` among the forms asked
// for when `add` says so.
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

// A file's batch, read with `tool` as ReadBatch says; the forms the tool
// refuses are remembered.
BatchRead AskBatch(PluginState& state, tool::ToolProcess& tool,
                   const std::vector<tool::TagKey>& keys, const std::string& nameUtf8,
                   int timeoutMs = -1) {
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

// A tool's cancel left from a stop that came between exchanges was for
// nobody; the unload's stays. False when the module unloads.
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

}  // namespace

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
  if (!state_.unloading && !tool::ToolRunning(tool))
    tool::StartTool(tool, state_.config.toolPath, state_.pluginDirectory);
}

namespace {

// The value request; `known` is set when the answer came from what was
// read before.
int Value(PluginState& state, HostCall& call, int fieldIndex, int unitIndex,
          const HostBuffer& out, int flags, bool& known) {
  const int last = state.lastFieldIndex.load();
  if (last < 0 || fieldIndex < 0 || fieldIndex > last) return kNoValue;
  const config::Field& field = state.config.fields[fieldIndex];
  if (field.text.displayName == "-") return kNoValue;
  // A field can only read: anything the tool would take as an option, a
  // write, a copy or a redirection is never sent.
  const std::string& tag = field.text.RequestTag();
  if (!config::IsTagRequest(tag)) return kNoValue;

  const std::u16string& name = call.name;
  if (!config::PathAllowed(state.config.filter, name)) return kFiltered;
  if (!SendableFileName(name)) return kNoValue;
  // Taken before the file is looked at: a clear from here on voids what
  // this request reads.
  const std::uint64_t generation = state.cache.Generation();
  // A folder (or a device) is not one file: the tool would read everything
  // in it.
  const platform::FileStamp stamp = platform::StatFile(name);
  if (stamp.exists && !stamp.regular) return kNoValue;

  const std::u16string unit = convert::PickUnit(field.text.units, unitIndex);
  const tool::TagKey key{tag, NumericUnit(unit)};
  // What was read for a file is kept while its stamp stays the same.
  const bool cached = kBatching && stamp.identified;
  if (cached) {
    // A delay-if-slow call names a file the host shows now, out of order.
    if ((flags & 1) == 0) state.ahead.Asked(name);
    if (const auto value = state.cache.Find(name, stamp, key)) {
      known = true;
      return DeliverKnown(field, unit, *value, out);
    }
  }
  // A value that needs the tool goes to a call that may take its time; the
  // file is read meanwhile.
  if ((flags & 1) != 0) {
    if (cached) state.ahead.Urgent(name);
    return kDelayed;
  }
  if (state.unloading) return kEmptyReply;
  // A form the tool refuses is never asked again.
  if (Refused(state, key)) return kEmptyReply;

  std::shared_ptr<const std::vector<tool::TagKey>> keys;
  if (cached) {
    // A file being read ahead is waited for, not read twice.
    state.ahead.WaitUntilRead(name, &call.stopped);
    if (call.stopped) return kEmptyReply;
    if (const auto value = state.cache.Find(name, stamp, key))
      return DeliverKnown(field, unit, *value, out);
    // A form the host asks for is in every later file's batch.
    keys = BatchKeysWith(state, Batchable(field) ? &key : nullptr);
  }

  const std::string nameUtf8 = platform::Utf16ToUtf8(name);
  std::optional<std::u16string> value;
  {
    PoolTurn turn(state.pool, Turn::kHost, kChannelWaitMs, &call.stopped);
    if (!turn.held()) return kEmptyReply;
    tool::ToolProcess& tool = turn.tool();
    if (!ReadyForExchange(state, tool)) return kEmptyReply;
    const CallTool stoppable(state.calls, call, turn.slot());
    if (!stoppable.held()) return kEmptyReply;
    // Another request may have read it meanwhile.
    if (cached) {
      if (const auto known = state.cache.Find(name, stamp, key))
        return DeliverKnown(field, unit, *known, out);
    }
    tool::Exchange exchange;
    bool answered = false;
    // A file's first request asks for all its fields at once.
    const auto inBatch = keys ? std::find(keys->begin(), keys->end(), key)
                              : std::vector<tool::TagKey>::const_iterator();
    if (keys && inBatch != keys->end() && !state.cache.Batched(name, stamp)) {
      const BatchRead read = AskBatch(state, tool, *keys, nameUtf8);
      if (read.result == AskResult::kNoTool)
        return DeliverText(kToolNotFound, out.fieldValue, out.maxLength);
      if (read.result != AskResult::kReply) return kEmptyReply;
      state.cache.StoreBatch(name, stamp, generation, *keys, read.values);
      const tool::BatchValue& mine = read.values[inBatch - keys->begin()];
      if (mine) {
        value = *mine;
        answered = true;
      }
    }
    // A tag that a batch cannot answer exactly is asked for alone.
    if (!answered) {
      if (!Ask(state, tool, tool::BuildTagRequest(tag, key.numeric, nameUtf8), exchange))
        return DeliverText(kToolNotFound, out.fieldValue, out.maxLength);
      if (exchange.status != tool::ExchangeStatus::kReply) return kEmptyReply;
      TrimReplyLineEnd(exchange.reply);
      if (!exchange.reply.empty()) value = std::move(exchange.reply);
      if (cached) state.cache.Store(name, stamp, generation, key, value);
    }
  }
  return DeliverKnown(field, unit, value, out);
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

void StopGetValue(PluginState& state, const char16_t* fileName) {
  std::optional<std::u16string> name;
  if (fileName != nullptr) {
    const std::size_t length = text::BoundedLength(fileName, kMaxFileName + 1);
    if (length > kMaxFileName) return;
    name.emplace(fileName, length);
  }
  state.calls.Stop(name ? &*name : nullptr, state.pool);
  // Calls waiting for a tool, or for a file read ahead, look again.
  state.pool.Wake();
  state.ahead.Wake();
  // Hosts stop the read in flight as the user leaves a folder.
  if (name) state.ahead.StopIn(*name);
  else state.ahead.Stop();
}

void HostStateChanged(PluginState& state, int notice) {
  // The host re-reads a folder, or the user asked for fresh values: what
  // was read and what was to be read are let go.
  if (notice == kHostReadsFolder || notice == kHostRefreshes) {
    state.ahead.Stop();
    state.cache.Clear();
  }
}

namespace {

// Ends reading ahead and stops the tools. With no exchange under way each
// tool is asked to stop; a request inside an exchange has its wait
// cancelled and its tool ended under it, which ends the exchange at once.
// Requests waiting for a tool give up. A process that ends has lost its
// other threads already: nothing is waited for. `workerExitWaitMs`: see
// ReadAhead::Shutdown.
void StopForUnload(PluginState& state, bool processEnding, int workerExitWaitMs = 0) {
  state.ahead.BeginShutdown();
  state.pool.Shutdown(processEnding);
  if (!processEnding) state.ahead.Shutdown(workerExitWaitMs);
}

// How long the host's notice waits for the workers' threads to end.
constexpr int kWorkerExitWaitMs = 2000;

}  // namespace

void BeginUnload(PluginState& state) {
  state.unloading = true;
  // The host's notice comes from outside the loader: the workers' threads
  // are waited for until they have ended, so that they hold the module no
  // more and the host's FreeLibrary that follows unloads it there and then.
  // A host that loads the module again gets a fresh one.
  StopForUnload(state, false, kWorkerExitWaitMs);
}

void Unload(PluginState& state, bool processEnding) {
  if (state.unloaded.exchange(true)) return;
  state.unloading = true;
  StopForUnload(state, processEnding);
  if (processEnding) return;
  // Calls that were inside an exchange come back out within moments; the
  // module's code must still be there when they do.
  constexpr std::uint64_t kLeaveWaitMs = 1000;
  const std::uint64_t deadline = platform::MonotonicMilliseconds() + kLeaveWaitMs;
  while (state.activeCalls.load() > 0 && platform::MonotonicMilliseconds() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace plugin
