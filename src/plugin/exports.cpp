// The exported entry points and the module's load and unload entry. No
// exception leaves an export: anything unexpected becomes a result code.
#include "plugin/exports.h"

#include <optional>
#include <string>

#include "platform/platform.h"
#include "plugin/plugin.h"
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
    return plugin::GetSupportedField(plugin::ModuleState(), fieldIndex, nameBuffer,
                                     unitsBuffer, maxLength);
  } catch (...) {
    return 0;
  }
}

int VELTAMO_CALL ContentGetDefaultSortOrder(int fieldIndex) {
  try {
    return plugin::GetDefaultSortOrder(plugin::ModuleState(), fieldIndex);
  } catch (...) {
    return 1;
  }
}

int VELTAMO_CALL ContentGetValueW(HostWideChar* fileName, int fieldIndex, int unitIndex,
                                  void* fieldValue, int maxLength, int flags) {
  static_assert(sizeof(HostWideChar) == sizeof(char16_t), "UTF-16 host text");
  try {
    return plugin::GetValue(plugin::ModuleState(),
                            reinterpret_cast<const char16_t*>(fileName), fieldIndex,
                            unitIndex, fieldValue, maxLength, flags);
  } catch (...) {
    return plugin::kNoValue;
  }
}

int VELTAMO_CALL ContentGetValue(char* fileName, int fieldIndex, int unitIndex,
                                 void* fieldValue, int maxLength, int flags) {
  if ((flags & 1) != 0) return plugin::kDelayed;
  try {
    if (fileName == nullptr) return plugin::kNoValue;
    const std::size_t length = text::BoundedLength(fileName, plugin::kMaxFileName + 1);
    if (length > plugin::kMaxFileName) return plugin::kNoValue;
    // The narrow name is in the system's code page. A name that does not
    // convert exactly would name another file.
    const std::optional<std::u16string> wide =
        platform::SystemCodePageToUtf16(std::string_view(fileName, length));
    if (!wide) return plugin::kNoValue;
    return plugin::GetValue(plugin::ModuleState(), wide->c_str(), fieldIndex, unitIndex,
                            fieldValue, maxLength, flags);
  } catch (...) {
    return plugin::kNoValue;
  }
}

}  // extern "C"

#ifdef _WIN32
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) {
    try {
      plugin::Unload(plugin::ModuleState());
    } catch (...) {
    }
  }
  return TRUE;
}
#endif
// Elsewhere the module's state stops the tool as it is destroyed, when the
// module is unloaded or the process ends.
