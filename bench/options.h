// The benchmark's command line.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

struct Options {
  std::string module;           // the module with batching (and one tool, no reading ahead)
  std::string memoryModule;     // the module as it ships, for the memory run
  std::string unbatchedModule;  // the same sources built without it
  std::string photos;           // the photos whose view is filled
  std::string names;            // folders of more names for the same photos
  std::string config;           // Config.txt whose fields are asked for
  std::string tool = "/usr/bin/exiftool";
  std::string work;             // plugin folders; a fresh one under /tmp if empty
  int rounds = 3;
  std::size_t blockFiles = 25;  // files per block; the ways take turns by blocks
  std::size_t memoryFiles = 10000;  // 0: no memory run
  bool alikeTools = true;       // every tool with the same Perl hash seed and layout
};

Options ParseOptions(int argc, char** argv);

}  // namespace bench
