// The walk benchmark's command line.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

struct WalkOptions {
  std::string module;                // the module as built (reading ahead)
  std::string noAheadModule;         // the same sources built with VELTAMO_READ_AHEAD=0
  std::string photos;                // the folder walked
  std::string names;                 // folders of other names, for warming up
  std::string config;                // Config.txt
  std::string field = "Date taken";  // the field a sort asks
  std::string tool = "/usr/bin/exiftool";
  std::string work;  // plugin folders; a fresh one under /tmp if empty
  int rounds = 5;
  std::size_t screenFiles = 40;
  int screenRepeats = 3;  // screen runs of each way in a round
  double settleSeconds = 1.0;
  bool alikeTools = true;  // every tool with the same Perl hash seed and layout
};

WalkOptions ParseWalkOptions(int argc, char** argv);

}  // namespace bench
