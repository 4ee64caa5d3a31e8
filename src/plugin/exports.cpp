// The exported entry points and the module's load and unload entry. No
// exception leaves an export: anything unexpected becomes a result code.
#include "plugin/exports.h"

#include <cstddef>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "plugin/plugin.h"
#include "plugin/value_request.h"
#include "text/text.h"

#ifdef _WIN32
#include <windows.h>
#endif

extern "C" {

int VELTAMO_CALL ContentGetDetectString(char* detectBuffer, int maxLength) {
  text::CopyTruncated(plugin::kDetectString, detectBuffer, maxLength);
  return 0;
}

int VELTAMO_CALL ContentGetSupportedField(int fieldIndex, char* nameBuffer,
                                          char* unitsBuffer, int maxLength) {
  try {
    plugin::PluginState& state = plugin::ModuleState();
    const plugin::ActiveCall call(state);
    return plugin::GetSupportedField(state, fieldIndex, nameBuffer, unitsBuffer, maxLength);
  } catch (...) {
    return 0;
  }
}

int VELTAMO_CALL ContentGetDefaultSortOrder(int fieldIndex) {
  try {
    plugin::PluginState& state = plugin::ModuleState();
    const plugin::ActiveCall call(state);
    return plugin::GetDefaultSortOrder(state, fieldIndex);
  } catch (...) {
    return 1;
  }
}

int VELTAMO_CALL ContentGetValueW(HostWideChar* fileName, int fieldIndex, int unitIndex,
                                  void* fieldValue, int maxLength, int flags) {
  static_assert(sizeof(HostWideChar) == sizeof(char16_t), "UTF-16 host text");
  try {
    plugin::PluginState& state = plugin::ModuleState();
    const plugin::ActiveCall call(state);
    return plugin::GetValue(state, reinterpret_cast<const char16_t*>(fileName), fieldIndex,
                            unitIndex, fieldValue, maxLength, flags);
  } catch (...) {
    return plugin::kNoValue;
  }
}

int VELTAMO_CALL ContentGetValue(char* fileName, int fieldIndex, int unitIndex,
                                 void* fieldValue, int maxLength, int flags) {
  try {
    plugin::PluginState& state = plugin::ModuleState();
    const plugin::ActiveCall call(state);
    if (fileName == nullptr) return plugin::kNoValue;
    const std::size_t length = text::BoundedLength(fileName, plugin::kMaxFileName + 1);
    if (length > plugin::kMaxFileName) return plugin::kNoValue;
    // The narrow name is in the system's code page. A name that does not
    // convert exactly would name another file.
    const std::optional<std::u16string> wide =
        platform::SystemCodePageToUtf16(std::string_view(fileName, length));
    if (!wide) return plugin::kNoValue;
    return plugin::GetValue(state, wide->c_str(), fieldIndex, unitIndex, fieldValue,
                            maxLength, flags, plugin::HostText::kNarrow);
  } catch (...) {
    return plugin::kNoValue;
  }
}

void VELTAMO_CALL ContentSetDefaultParams(ContentDefaultParamStruct* dps) {
  try {
    plugin::HostLoaded();
    plugin::PluginState& state = plugin::ModuleState();
    const plugin::ActiveCall call(state);
    // Only as much of the structure as the host says it has.
    constexpr int kVersionEnd =
        static_cast<int>(offsetof(ContentDefaultParamStruct, PluginInterfaceVersionHi) +
                         sizeof(std::uint32_t));
    if (dps == nullptr || dps->size < kVersionEnd) return;
    const std::uint32_t hi = dps->PluginInterfaceVersionHi;
    const std::uint32_t lo = dps->PluginInterfaceVersionLow;
    state.hostInterfaceVersion =
        hi > 1000 || lo > 99 ? 0 : static_cast<int>(hi * 100 + lo);
  } catch (...) {
  }
}

void VELTAMO_CALL ContentPluginUnloading(void) {
  try {
    plugin::BeginUnload(plugin::ModuleState());
  } catch (...) {
  }
}

void VELTAMO_CALL ContentSendStateInformationW(int state, HostWideChar* path) {
  (void)path;  // what is kept is let go for every folder alike
  try {
    plugin::PluginState& module = plugin::ModuleState();
    const plugin::ActiveCall call(module);
    plugin::HostStateChanged(module, state);
  } catch (...) {
  }
}

void VELTAMO_CALL ContentSendStateInformation(int state, char* path) {
  (void)path;
  try {
    plugin::PluginState& module = plugin::ModuleState();
    const plugin::ActiveCall call(module);
    plugin::HostStateChanged(module, state);
  } catch (...) {
  }
}

void VELTAMO_CALL ContentStopGetValueW(HostWideChar* fileName) {
  try {
    plugin::StopGetValue(plugin::ModuleState(), reinterpret_cast<const char16_t*>(fileName));
  } catch (...) {
  }
}

void VELTAMO_CALL ContentStopGetValue(char* fileName) {
  try {
    // The name as ContentGetValue converts it, to find the same calls.
    std::optional<std::u16string> wide;
    if (fileName != nullptr) {
      const std::size_t length = text::BoundedLength(fileName, plugin::kMaxFileName + 1);
      if (length > plugin::kMaxFileName) return;
      wide = platform::SystemCodePageToUtf16(std::string_view(fileName, length));
      if (!wide) return;  // no call can have been for it
    }
    plugin::StopGetValue(plugin::ModuleState(), wide ? wide->c_str() : nullptr);
  } catch (...) {
  }
}

}  // extern "C"

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH) {
    try {
      // `reserved` is set when the whole process ends, its other threads
      // already gone; otherwise the host frees the module.
      plugin::Unload(plugin::ModuleState(), reserved != nullptr);
    } catch (...) {
    }
  }
  return TRUE;
}
#endif
// Elsewhere the module's state stops the tool as it is destroyed, when the
// module is unloaded or the process ends.
