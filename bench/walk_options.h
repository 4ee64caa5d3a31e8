// The walk benchmark's command line.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common.h"

namespace bench {

// `module` is the module as built (reading ahead); `photos` the folder
// sorted and screened; `names` other names, for warming up; `tree` the
// folders searched and `rename` the folder renamed (by default "tree" and
// "rename" in `photos`). 5 rounds unless told.
struct WalkOptions : RunOptions {
  std::string noAheadModule;         // the same sources built with VELTAMO_READ_AHEAD=0
  std::string field = "Date taken";  // the field a sort or a search asks
  std::string tree;
  std::string rename;
  std::vector<std::string> mask = {"Date taken", "Camera model"};  // a new name's fields
  std::size_t previewRows = 20;  // the rename preview's rows, asked once a keystroke
  int keystrokes = 5;
  bool renameByFile = false;  // the whole list file by file, every mask field of each
  std::size_t screenFiles = 40;
  int screenRepeats = 3;  // screen runs of each way in a round
  double settleSeconds = 1.0;
};

WalkOptions ParseWalkOptions(int argc, char** argv);

}  // namespace bench
