// veltamo-check: tells what the module makes of a Config.txt and why a
// column stays empty.
//
//   veltamo-check [CONFIG [FILE...]]
//
// CONFIG defaults to Config.txt beside this program, which looks for the
// tool as the module beside it does. Prints the header as read, the tool
// found, every line of the file (stored as which field, or skipped and
// why; tags refused or unknown to the tool, with the closest known names),
// then each field's value for each FILE as the module delivers it. Exits
// with 1 when any line has a problem, 2 when CONFIG cannot be read.
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "check/config_report.h"
#include "check/tool_report.h"
#include "check/values_report.h"
#include "config/config_loader.h"
#include "platform/platform.h"
#include "plugin/plugin.h"

namespace {

int SortOrder(int field) { return plugin::GetDefaultSortOrder(plugin::ModuleState(), field); }

// This program's folder as a full path: the module's folder when the
// checker lies beside it. (Linux names a program by the path it was started
// with, which may be relative.)
std::u16string ProgramDirectory() {
  const std::u16string directory = platform::ModuleDirectory();
  std::error_code error;
  const std::filesystem::path full =
      std::filesystem::absolute(std::filesystem::path(directory), error);
  return error || directory.empty() ? directory : full.u16string();
}

int Check(const std::vector<std::u16string>& args) {
  const std::u16string programDirectory = ProgramDirectory();
  const std::u16string configPath =
      args.empty() ? programDirectory + u"Config.txt" : args.front();
  plugin::PluginState& state = plugin::ModuleState();
  config::LoadReport report;
  {
    std::lock_guard<std::mutex> lock(state.loadMutex);
    std::FILE* file = platform::OpenForReading(configPath);
    if (file == nullptr) {
      std::printf("configuration: %s cannot be read\n",
                  platform::Utf16ToUtf8(configPath).c_str());
      return 2;
    }
    state.pluginDirectory = programDirectory;
    const int stored = config::LoadConfigFrom(state.config, file, &report);
    std::fclose(file);
    state.lastFieldIndex.store(stored - 1);
  }
  int problems = check::PrintHeader(configPath, report);
  const check::ToolFacts tool =
      check::FindTool(state.config.toolPath, state.pluginDirectory, problems);
  problems += check::PrintLines(report, state.config, tool, SortOrder);
  std::printf("%zu fields stored; %d problem%s\n", state.config.fields.size(), problems,
              problems == 1 ? "" : "s");
  for (std::size_t i = 1; i < args.size(); ++i) check::PrintValues(state, args[i]);
  std::fflush(stdout);
  plugin::Unload(state, false);
  return problems > 0 ? 1 : 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i)
    args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  return Check(args);
}
#else
int main(int argc, char** argv) {
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(platform::Utf8ToUtf16(argv[i]));
  return Check(args);
}
#endif
