// Loads the plugin module from a file and resolves its exports by name, as a
// file manager does. Shared by the host program and the module tests.
#pragma once

#include <string>

#include "plugin/exports.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace host {

// A path taken from the POSIX side (environment, command line) as this
// program's platform spells it: under Wine "/a/b" is "Z:\a\b".
inline std::string NativePath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

#ifdef _WIN32
inline std::wstring Wide(const std::string& utf8) {
  std::wstring out(utf8.size() + 1, L'\0');
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(),
                                    static_cast<int>(out.size()));
  out.resize(n > 0 ? n - 1 : 0);
  return out;
}
#endif

class Module {
 public:
  Module() = default;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  ~Module() { Unload(); }

  bool Load(const std::string& path) {
    Unload();
#ifdef _WIN32
    handle_ = LoadLibraryW(Wide(path).c_str());
#else
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle_ == nullptr) return false;
    GetDetectString = Resolve<ContentGetDetectStringFn>("ContentGetDetectString");
    GetSupportedField = Resolve<ContentGetSupportedFieldFn>("ContentGetSupportedField");
    GetDefaultSortOrder = Resolve<ContentGetDefaultSortOrderFn>("ContentGetDefaultSortOrder");
    GetValueW = Resolve<ContentGetValueWFn>("ContentGetValueW");
    GetValue = Resolve<ContentGetValueFn>("ContentGetValue");
    if (!GetDetectString || !GetSupportedField || !GetDefaultSortOrder || !GetValueW ||
        !GetValue) {
      Unload();
      return false;
    }
    // Optional in the interface; a host calls them when they are there.
    SetDefaultParams = Resolve<ContentSetDefaultParamsFn>("ContentSetDefaultParams");
    PluginUnloading = Resolve<ContentPluginUnloadingFn>("ContentPluginUnloading");
    SendStateInformationW =
        Resolve<ContentSendStateInformationWFn>("ContentSendStateInformationW");
    SendStateInformation = Resolve<ContentSendStateInformationFn>("ContentSendStateInformation");
    StopGetValueW = Resolve<ContentStopGetValueWFn>("ContentStopGetValueW");
    return true;
  }

  // What a real host does right after loading: tell the plugin the
  // interface version (2.10 here).
  void SetDefaults() {
    if (SetDefaultParams == nullptr) return;
    ContentDefaultParamStruct params{};
    params.size = sizeof params;
    params.PluginInterfaceVersionHi = 2;
    params.PluginInterfaceVersionLow = 10;
    SetDefaultParams(&params);
  }

  // As real hosts do, says first that the module is about to go, unless
  // `announce` is false.
  void Unload(bool announce = true) {
    if (handle_ == nullptr) return;
    if (announce && PluginUnloading != nullptr) PluginUnloading();
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
    handle_ = nullptr;
  }

  ContentGetDetectStringFn GetDetectString = nullptr;
  ContentGetSupportedFieldFn GetSupportedField = nullptr;
  ContentGetDefaultSortOrderFn GetDefaultSortOrder = nullptr;
  ContentGetValueWFn GetValueW = nullptr;
  ContentGetValueFn GetValue = nullptr;
  ContentSetDefaultParamsFn SetDefaultParams = nullptr;
  ContentPluginUnloadingFn PluginUnloading = nullptr;
  ContentSendStateInformationWFn SendStateInformationW = nullptr;
  ContentSendStateInformationFn SendStateInformation = nullptr;
  ContentStopGetValueWFn StopGetValueW = nullptr;

 private:
  template <typename Fn>
  Fn Resolve(const char* name) {
#ifdef _WIN32
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)));
#else
    return reinterpret_cast<Fn>(dlsym(handle_, name));
#endif
  }

  void* handle_ = nullptr;
};

}  // namespace host
