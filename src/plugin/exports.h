// The host's content-plugin interface, as this module exports it.
#pragma once

#include <cstdint>

#ifdef _WIN32
#define VELTAMO_CALL __stdcall
#define VELTAMO_EXPORT
using HostWideChar = wchar_t;
#else
#define VELTAMO_CALL
#define VELTAMO_EXPORT __attribute__((visibility("default")))
using HostWideChar = char16_t;
#endif

// What the host tells a plugin right after loading it.
struct ContentDefaultParamStruct {
  int size;  // of the structure as the host knows it, in bytes
  std::uint32_t PluginInterfaceVersionLow;
  std::uint32_t PluginInterfaceVersionHi;
  char DefaultIniName[260];
};

extern "C" {
VELTAMO_EXPORT int VELTAMO_CALL ContentGetDetectString(char* detectBuffer, int maxLength);
VELTAMO_EXPORT int VELTAMO_CALL ContentGetSupportedField(int fieldIndex, char* nameBuffer,
                                                         char* unitsBuffer, int maxLength);
VELTAMO_EXPORT int VELTAMO_CALL ContentGetDefaultSortOrder(int fieldIndex);
VELTAMO_EXPORT int VELTAMO_CALL ContentGetValueW(HostWideChar* fileName, int fieldIndex,
                                                 int unitIndex, void* fieldValue,
                                                 int maxLength, int flags);
VELTAMO_EXPORT int VELTAMO_CALL ContentGetValue(char* fileName, int fieldIndex,
                                                int unitIndex, void* fieldValue,
                                                int maxLength, int flags);
VELTAMO_EXPORT void VELTAMO_CALL ContentSetDefaultParams(ContentDefaultParamStruct* dps);
VELTAMO_EXPORT void VELTAMO_CALL ContentPluginUnloading(void);
// `state`: 1 the host (re)reads a folder, 2 the user asked for a refresh.
VELTAMO_EXPORT void VELTAMO_CALL ContentSendStateInformationW(int state, HostWideChar* path);
VELTAMO_EXPORT void VELTAMO_CALL ContentSendStateInformation(int state, char* path);
// The host no longer waits for a value of `fileName` (the user left the
// folder during a background read).
VELTAMO_EXPORT void VELTAMO_CALL ContentStopGetValueW(HostWideChar* fileName);
VELTAMO_EXPORT void VELTAMO_CALL ContentStopGetValue(char* fileName);
}

// The exports' types, for hosts that resolve them by name.
using ContentGetDetectStringFn = int(VELTAMO_CALL*)(char*, int);
using ContentGetSupportedFieldFn = int(VELTAMO_CALL*)(int, char*, char*, int);
using ContentGetDefaultSortOrderFn = int(VELTAMO_CALL*)(int);
using ContentGetValueWFn = int(VELTAMO_CALL*)(HostWideChar*, int, int, void*, int, int);
using ContentGetValueFn = int(VELTAMO_CALL*)(char*, int, int, void*, int, int);
using ContentSetDefaultParamsFn = void(VELTAMO_CALL*)(ContentDefaultParamStruct*);
using ContentPluginUnloadingFn = void(VELTAMO_CALL*)();
using ContentSendStateInformationWFn = void(VELTAMO_CALL*)(int, HostWideChar*);
using ContentSendStateInformationFn = void(VELTAMO_CALL*)(int, char*);
using ContentStopGetValueWFn = void(VELTAMO_CALL*)(HostWideChar*);
