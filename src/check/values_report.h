// Each field's value for a file, asked through the module's own value
// request, as a file manager asks it.
#pragma once

#include <string>

#include "plugin/plugin.h"
#include "plugin/value_request.h"

namespace check {

// Prints every field of `state` (its configuration loaded) for `file`, each
// unit entry on a line of its own.
void PrintValues(plugin::PluginState& state, const std::u16string& file);

// The text for what a value request returned in `result` and wrote into
// `buffer` (at least 8 bytes, aligned for any number).
std::string ValueText(int result, const void* buffer);

}  // namespace check
