#include "plugin/plugin.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <optional>
#include <thread>

#include "platform/platform.h"
#include "plugin/build_switches.h"
#include "text/text.h"

namespace plugin {

PluginState::PluginState() {
  // A tool a core, up to kMaxTools, and a worker for each.
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

// ------------------------------------------------------------ the host's notices

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
