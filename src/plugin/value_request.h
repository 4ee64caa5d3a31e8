// The host's value request: the checks, what is known already, the wait
// for a read under way, and the exchange with a tool.
#pragma once

#include <string_view>

#include "plugin/delivery.h"
#include "plugin/plugin.h"

namespace plugin {

// `maxLength` is the size of the host's value buffer in bytes. With the
// delay-if-slow flag (bit 1 of `flags`) only what is already known is
// answered; anything else gives 0, to be asked again without the flag.
// `hostText` names the entry point the host called (see DeliverValue).
int GetValue(PluginState& state, const char16_t* fileName, int fieldIndex,
             int unitIndex, void* fieldValue, int maxLength, int flags,
             HostText hostText = HostText::kWide);

// True for a file name that can be sent to the tool as exactly that file:
// a plain absolute path, no line end (each line is a tool argument), and
// UTF-16 that converts to UTF-8 without loss.
bool SendableFileName(std::u16string_view name);

}  // namespace plugin
