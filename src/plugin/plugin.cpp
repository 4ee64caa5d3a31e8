#include "plugin/plugin.h"

#include <cstring>

#include "convert/units.h"
#include "platform/platform.h"
#include "tool/requests.h"
#include "text/text.h"

namespace plugin {

PluginState::~PluginState() { Unload(*this); }

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

  tool::Exchange exchange;
  {
    std::lock_guard<std::timed_mutex> lock(state.toolMutex);
    // A tool found gone before it answered (ended from outside, crashed on
    // an earlier file) is started afresh and asked once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
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

void Unload(PluginState& state) {
  // A thread stuck in an exchange when the process ends must not keep the
  // unload waiting: after a bounded wait the tool is stopped regardless.
  const bool locked = state.toolMutex.try_lock_for(
      std::chrono::milliseconds(state.tool.stopTimeoutMs));
  tool::StopTool(state.tool);
  if (locked) state.toolMutex.unlock();
}

}  // namespace plugin
