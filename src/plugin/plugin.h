// The plugin's behaviour behind the exported entry points, on an explicit
// state so that it can be exercised without a host.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "config/config_loader.h"
#include "plugin/delivery.h"
#include "tool/tool_bridge.h"

namespace plugin {

inline constexpr char kDetectString[] =
    "EXT=\"JPG\"|EXT=\"JPGE\"|EXT=\"TIF\"|EXT=\"TIFF\"|EXT=\"NEF\"";
inline constexpr char16_t kToolNotFound[] = u"Exiftool.exe is not found!";
// Longest file name taken from the host, in code units (the longest path
// Windows knows).
inline constexpr std::size_t kMaxFileName = 32767;

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
// `maxLength` is the size of the host's value buffer in bytes.
int GetValue(PluginState& state, const char16_t* fileName, int fieldIndex,
             int unitIndex, void* fieldValue, int maxLength, int flags);
// Stops the tool; called when the module is unloaded.
void Unload(PluginState& state);

// True for a file name that can be sent to the tool as exactly that file:
// a plain absolute path, no line end (each line is a tool argument), and
// UTF-16 that converts to UTF-8 without loss.
bool SendableFileName(std::u16string_view name);

}  // namespace plugin
