// The benchmark's command line.
#pragma once

#include <cstddef>
#include <string>

#include "common.h"

namespace bench {

// `module` is the module with batching (and one tool, no reading ahead);
// `photos` the photos whose view is filled.
struct Options : RunOptions {
  std::string memoryModule;     // the module as it ships, for the memory run
  std::string unbatchedModule;  // the same sources built without batching
  std::size_t blockFiles = 25;  // files per block; the ways take turns by blocks
  std::size_t memoryFiles = 10000;  // 0: no memory run
};

Options ParseOptions(int argc, char** argv);

}  // namespace bench
