#include "tool/locate.h"

#include "platform/platform.h"

namespace tool {

namespace {

std::u16string_view Unquoted(std::u16string_view line) {
  while (!line.empty() && line.front() == u' ') line.remove_prefix(1);
  while (!line.empty() && line.back() == u' ') line.remove_suffix(1);
  if (line.size() >= 2 && line.front() == u'"' && line.back() == u'"')
    line = line.substr(1, line.size() - 2);
  return line;
}

}  // namespace

std::vector<std::u16string> ToolCandidates(
    std::u16string_view toolLine, const std::u16string& pluginDirectory,
    const std::vector<std::u16string>& searchDirectories) {
  const std::u16string path(Unquoted(toolLine));
  std::vector<std::u16string> places;
  if (path.empty()) return places;
  if (platform::IsPlainAbsolutePath(path)) {
    places.push_back(path);
    const std::size_t separator = path.find_last_of(platform::kPathSeparators);
    if (!pluginDirectory.empty())
      places.push_back(pluginDirectory + path.substr(separator + 1));
  } else {
    if (!pluginDirectory.empty()) places.push_back(pluginDirectory + path);
    for (const std::u16string& directory : searchDirectories)
      places.push_back(directory + path);
  }
  std::vector<std::u16string> candidates;
  for (const std::u16string& place : places)
    for (std::u16string& name : platform::ProgramFileNames(place))
      if (platform::IsPlainAbsolutePath(name)) candidates.push_back(std::move(name));
  return candidates;
}

std::vector<std::u16string> LocateTools(std::u16string_view toolLine,
                                        const std::u16string& pluginDirectory) {
  std::vector<std::u16string> programs;
  for (std::u16string& candidate :
       ToolCandidates(toolLine, pluginDirectory, platform::ProgramSearchDirectories()))
    if (platform::IsProgramFile(candidate)) programs.push_back(std::move(candidate));
  return programs;
}

}  // namespace tool
