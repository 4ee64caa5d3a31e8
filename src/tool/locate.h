// Which program the tool line of Config.txt names. The tool is always
// started by its full path, so that no program is ever taken from the
// host's current directory (file managers commonly run with the shown
// folder as their current directory).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tool {

// The full paths tried for `toolLine`, in order:
//  - a line in double quotes means the path inside them;
//  - an absolute path as it stands, then its file name in the plugin's
//    directory;
//  - a bare name or a relative path in the plugin's directory, then in each
//    directory of `searchDirectories` (the absolute entries of PATH).
// On Windows only ".exe" files are candidates: a name without an extension
// is tried with ".exe" added, one with another extension not at all.
std::vector<std::u16string> ToolCandidates(
    std::u16string_view toolLine, const std::u16string& pluginDirectory,
    const std::vector<std::u16string>& searchDirectories);

// The candidates that are program files, in order; empty when none is.
std::vector<std::u16string> LocateTools(std::u16string_view toolLine,
                                        const std::u16string& pluginDirectory);

}  // namespace tool
