// The walk benchmark's command line.
#pragma once

#include <cstddef>
#include <string>

#include "common.h"

namespace bench {

// `module` is the module as built (reading ahead); `photos` the folder
// walked; `names` other names, for warming up. 5 rounds unless told.
struct WalkOptions : RunOptions {
  std::string noAheadModule;         // the same sources built with VELTAMO_READ_AHEAD=0
  std::string field = "Date taken";  // the field a sort asks
  std::size_t screenFiles = 40;
  int screenRepeats = 3;  // screen runs of each way in a round
  double settleSeconds = 1.0;
};

WalkOptions ParseWalkOptions(int argc, char** argv);

}  // namespace bench
