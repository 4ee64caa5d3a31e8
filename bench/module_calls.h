// Calling a module as a host does: loading a copy from a plugin folder of
// its own and asking it for values.
#pragma once

#include <string>

#include "bench_config.h"
#include "host/module_loader.h"

namespace bench {

// Loads the module at `path`, tells it the interface version as a host
// does, and checks that it offers the fields of `config`, in order.
void LoadModule(host::Module& module, const std::string& path, const BenchConfig& config);

// ContentGetValueW for field `field` of `photo`, unit index 0, into
// `buffer` of kHostBufferBytes; `flags` 1 is the host's delay-if-slow.
int AskModule(host::Module& module, const Photo& photo, int field, unsigned char* buffer,
              int flags = 0);

}  // namespace bench
