// The plugin's behaviour behind the exported entry points, on an explicit
// state so that it can be exercised without a host.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "config/config_loader.h"
#include "tool/tool_bridge.h"

namespace plugin {

inline constexpr char kDetectString[] =
    "EXT=\"JPG\"|EXT=\"JPGE\"|EXT=\"TIF\"|EXT=\"TIFF\"|EXT=\"NEF\"";
inline constexpr char16_t kToolNotFound[] = u"Exiftool.exe is not found!";
// Longest file name taken from the host, in code units (the longest path
// Windows knows).
inline constexpr std::size_t kMaxFileName = 32767;

// Result codes of a value request, beside the field type codes.
enum ValueResult : int {
  kDelayed = 0,
  kNoValue = -1,
  kFiltered = -2,
  kEmptyReply = -3,
};

struct PluginState {
  PluginState() = default;
  PluginState(const PluginState&) = delete;
  PluginState& operator=(const PluginState&) = delete;
  ~PluginState();  // stops the tool if it still runs

  std::atomic<int> lastFieldIndex{-1};
  std::u16string pluginDirectory;
  config::Configuration config;
  std::mutex loadMutex;         // one configuration load at a time
  std::timed_mutex toolMutex;   // one exchange with the tool at a time
  tool::ToolProcess tool;
};

// The module's one state.
PluginState& ModuleState();

int GetSupportedField(PluginState& state, int fieldIndex, char* nameBuffer,
                      char* unitsBuffer, int maxLength);
int GetDefaultSortOrder(PluginState& state, int fieldIndex);
int GetValue(PluginState& state, const char16_t* fileName, int fieldIndex,
             int unitIndex, void* fieldValue, int maxLength, int flags);
// Stops the tool; called when the module is unloaded.
void Unload(PluginState& state);

// The tool's argument lines for one value.
std::string BuildRequest(std::string_view tag, bool numeric,
                         std::string_view fileNameUtf8);
// Drops the one final line end that the tool puts after a value.
void TrimReplyLineEnd(std::u16string& reply);
// Writes the reply into the host's buffer as the field type and the unit
// entry ask, and returns the result code.
int DeliverValue(std::int32_t fieldType, std::u16string_view unit,
                 std::u16string_view reply, void* fieldValue, int maxLength);

}  // namespace plugin
