// Which Exiftool the module would start for a tool line, found and started
// by the module's own code, with its version and the tag names it knows.
#pragma once

#include <string>

#include "check/tag_names.h"

namespace check {

struct ToolFacts {
  bool started = false;
  std::u16string program;
  std::string version;
  bool listed = false;  // `names` holds what the tool listed
  TagNames names;
  bool groupsListed = false;  // `groups`: the groups of families 0 to 6
  TagNames groups;
};

// Starts the tool as the module does, asks it for "-ver", "-list" and "-listg0" to "-listg6", stops
// it, and prints what was found. Adds 1 to `problems` when no tool starts
// or it does not answer.
ToolFacts FindTool(const std::u16string& toolLine, const std::u16string& pluginDirectory,
                   int& problems);

}  // namespace check
