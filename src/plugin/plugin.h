// The plugin's behaviour behind the exported entry points, on an explicit
// state so that it can be exercised without a host.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_loader.h"
#include "plugin/detect_string.h"
#include "plugin/delivery.h"
#include "plugin/host_calls.h"
#include "plugin/read_ahead.h"
#include "plugin/tool_pool.h"
#include "plugin/value_cache.h"
#include "tool/tool_bridge.h"

namespace plugin {

inline constexpr char16_t kToolNotFound[] = u"Exiftool.exe is not found!";
// Longest file name taken from the host, in code units (the longest path
// Windows knows).
inline constexpr std::size_t kMaxFileName = 32767;

struct PluginState;

// Reading ahead through the module's tools and into its cache.
class ModuleReader : public AheadReader {
 public:
  explicit ModuleReader(PluginState& state) : state_(state) {}
  void ReadFile(tool::ToolProcess& tool, const std::u16string& name) override;
  void StartTool(tool::ToolProcess& tool) override;

 private:
  PluginState& state_;
};

struct PluginState {
  PluginState();
  PluginState(const PluginState&) = delete;
  PluginState& operator=(const PluginState&) = delete;
  ~PluginState();  // stops the tool if it still runs

  std::atomic<int> lastFieldIndex{-1};
  std::u16string pluginDirectory;
  config::Configuration config;
  std::mutex loadMutex;         // one configuration load at a time
  platform::FileStamp configStamp;  // Config.txt's as it was read; under loadMutex
  ToolPool pool;                // the tools, one exchange each at a time
  // Set once the host has said that it unloads the module: no tool is
  // started any more, and value requests end at once.
  std::atomic<bool> unloading{false};
  std::atomic<bool> unloaded{false};  // Unload has run
  // Host calls inside the module's exports at this moment.
  std::atomic<int> activeCalls{0};
  // The plugin interface version the host gave, as hi * 100 + lo; 0 when
  // it gave none.
  std::atomic<int> hostInterfaceVersion{0};
  // The host's value calls under way, which its stops (ContentStopGetValue)
  // end by the file they name.
  HostCalls calls;
  // Values read for files. Under formsMutex: the forms the host has asked
  // for so far, those the tool refuses, and the tags one request asks for at
  // once (made anew when a form is added or refused; null until the first
  // request).
  ValueCache cache;
  std::mutex formsMutex;
  std::vector<tool::TagKey> askedForms;
  std::vector<tool::TagKey> refusedForms;
  std::shared_ptr<const std::vector<tool::TagKey>> batchKeys;
  ModuleReader reader{*this};
  ReadAhead ahead{reader, pool, kCacheFiles / 4};
};

// Counts a host call as inside the module while it lives.
class ActiveCall {
 public:
  explicit ActiveCall(PluginState& state) : state_(state) { ++state_.activeCalls; }
  ~ActiveCall() { --state_.activeCalls; }
  ActiveCall(const ActiveCall&) = delete;
  ActiveCall& operator=(const ActiveCall&) = delete;

 private:
  PluginState& state_;
};

// The module's one state.
PluginState& ModuleState();

// The host has just loaded the module (hosts call ContentSetDefaultParams
// first). A host that frees the module without saying so while its
// workers still run, and loads it again before they end, gets this same
// instance back, configured before. When Config.txt has changed since it
// was read, the module's state starts afresh, as in a new instance, and
// reads it anew. Not while a host call is inside the module.
void HostLoaded();

int GetSupportedField(PluginState& state, int fieldIndex, char* nameBuffer,
                      char* unitsBuffer, int maxLength);
int GetDefaultSortOrder(PluginState& state, int fieldIndex);

// The host's notices about what it does (ContentSendStateInformation).
enum HostNotice : int {
  kHostReadsFolder = 1,
  kHostRefreshes = 2,
};
void HostStateChanged(PluginState& state, int notice);
// The host no longer waits for the value of `fileName` (null: of any file):
// the calls for that file end at once with no value, whether they wait for
// a tool or are inside an exchange, which is abandoned while the tool
// finishes its reply. Reading ahead stops when the file lies in the folder
// walked. Calls for other files go on. Any thread may call it.
void StopGetValue(PluginState& state, const char16_t* fileName);
// The host is about to unload the module: from now on no tool is started,
// and the running one is stopped. A request inside an exchange ends at once,
// with no value.
void BeginUnload(PluginState& state);
// The module is being unloaded (the host may not have said so first), or
// the process ends (`processEnding`: its other threads are gone). Stops the
// tool, then waits a bounded time for host calls still inside the module.
void Unload(PluginState& state, bool processEnding);


}  // namespace plugin
