#include "plugin/plugin.h"

#include <chrono>
#include <cstring>
#include <thread>

#include "config/tag_rule.h"
#include "convert/units.h"
#include "platform/platform.h"
#include "tool/requests.h"
#include "text/text.h"

namespace plugin {

PluginState::~PluginState() { Unload(*this, false); }

PluginState& ModuleState() {
  // Released when the module is unloaded, so that a host that loads and
  // unloads the module again and again does not lose memory each time.
  static PluginState state;
  return state;
}

// ------------------------------------------------------------- enumeration

int GetSupportedField(PluginState& state, int fieldIndex, char* nameBuffer,
                      char* unitsBuffer, int maxLength) {
  int last = state.lastFieldIndex.load();
  if (last < 0) {
    std::lock_guard<std::mutex> lock(state.loadMutex);
    last = state.lastFieldIndex.load();
    if (last < 0) {
      state.pluginDirectory = platform::ModuleDirectory();
      last = config::LoadConfig(state.config, state.pluginDirectory) - 1;
      state.lastFieldIndex.store(last);
    }
  }
  if (fieldIndex < 0 || fieldIndex > last) return config::kNoMoreFields;
  const config::Field& field = state.config.fields[fieldIndex];
  text::CopyTruncated(field.text.displayName, nameBuffer, maxLength);
  text::CopyTruncated(field.text.units, unitsBuffer, maxLength);
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

int GetValue(PluginState& state, const char16_t* fileName, int fieldIndex,
             int unitIndex, void* fieldValue, int maxLength, int flags) {
  if ((flags & 1) != 0) return kDelayed;
  const int last = state.lastFieldIndex.load();
  if (last < 0 || fieldIndex < 0 || fieldIndex > last) return kNoValue;
  const config::Field& field = state.config.fields[fieldIndex];
  if (field.text.displayName == "-") return kNoValue;
  // A field can only read: anything the tool would take as an option, a
  // write, a copy or a redirection is never sent.
  if (!config::IsTagRequest(field.text.RequestTag())) return kNoValue;

  if (fileName == nullptr) return kNoValue;
  const std::size_t length = text::BoundedLength(fileName, kMaxFileName + 1);
  if (length > kMaxFileName) return kNoValue;
  const std::u16string_view name(fileName, length);
  if (!config::PathAllowed(state.config.filter, name)) return kFiltered;
  if (!SendableFileName(name)) return kNoValue;
  // A folder (or a device) is not one file: the tool would read everything
  // in it.
  const platform::FileStamp stamp = platform::StatFile(std::u16string(name));
  if (stamp.exists && !stamp.regular) return kNoValue;

  const std::u16string unit = convert::PickUnit(field.text.units, unitIndex);
  const bool numeric = !unit.empty() && !text::EqualsIgnoreAsciiCase(unit, u"Default");
  const std::string request = tool::BuildTagRequest(field.text.RequestTag(), numeric,
                                                    platform::Utf16ToUtf8(name));

  if (state.unloading) return kEmptyReply;
  tool::Exchange exchange;
  {
    std::lock_guard<std::timed_mutex> lock(state.toolMutex);
    // A tool found gone before it answered (ended from outside, crashed on
    // an earlier file) is started afresh and asked once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (state.unloading) return kEmptyReply;
      if (!tool::ToolRunning(state.tool) &&
          tool::StartTool(state.tool, state.config.toolPath, state.pluginDirectory) != 0)
        return DeliverText(kToolNotFound, fieldValue, maxLength);
      exchange = tool::ToolRequest(state.tool, request);
      if (exchange.status != tool::ExchangeStatus::kToolGone) break;
    }
  }
  if (exchange.status != tool::ExchangeStatus::kReply) return kEmptyReply;

  TrimReplyLineEnd(exchange.reply);
  if (exchange.reply.empty()) return kEmptyReply;
  return DeliverValue(field.attributes.fieldType, unit, exchange.reply, fieldValue,
                      maxLength);
}

namespace {

// Stops the tool. With no exchange under way it is asked to stop; a request
// inside an exchange has its tool ended under it, which ends the exchange
// at once, and the tool is stopped once that request has let go.
void StopToolForUnload(PluginState& state, bool processEnding) {
  std::unique_lock<std::timed_mutex> lock(state.toolMutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    state.tool.child.Kill();
    // A thread that held the lock when the process began to end is gone
    // and never lets go.
    if (processEnding ||
        !lock.try_lock_for(std::chrono::milliseconds(state.tool.stopTimeoutMs)))
      return;
  }
  tool::StopTool(state.tool);
}

}  // namespace

void BeginUnload(PluginState& state) {
  state.unloading = true;
  StopToolForUnload(state, false);
}

void Unload(PluginState& state, bool processEnding) {
  if (state.unloaded.exchange(true)) return;
  state.unloading = true;
  StopToolForUnload(state, processEnding);
  if (processEnding) return;
  // Calls that were inside an exchange come back out within moments; the
  // module's code must still be there when they do.
  constexpr std::uint64_t kLeaveWaitMs = 1000;
  const std::uint64_t deadline = platform::MonotonicMilliseconds() + kLeaveWaitMs;
  while (state.activeCalls.load() > 0 && platform::MonotonicMilliseconds() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace plugin
