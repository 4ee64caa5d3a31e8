// One run of a host's walk through a folder: which files and fields are
// asked, in which order, and the three ways of answering (the module with
// reading ahead, the module built without it, a raw stay-open tool).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bench_config.h"
#include "values.h"

namespace bench {

// What a host asks, in order: for each file, each of `fields`.
struct Walk {
  std::string name;
  std::vector<std::size_t> files;  // positions in WalkSetup::photos
  std::vector<int> fields;
  // Wait this long after the last answer before the opened photos are
  // counted (read-ahead may go on after it), then count again up to unload.
  double settleSeconds = 0;
};

struct WalkSetup {
  const BenchConfig* config = nullptr;
  std::vector<Photo> photos;  // the folder's photos in name order
  std::string photosDir;      // their folder, watched for opens
  std::vector<Photo> warmUp;  // files of other folders, asked before the walk
  std::string tool;
  std::string work;  // plugin folders
};

struct RunResult {
  double seconds = 0;         // first call to last answer
  long openedSettled = -1;    // distinct photos opened by the settle's end
  long openedAtUnload = 0;    // ... and up to unload (the tool's end)
  double unloadSeconds = 0;   // the module's unload; 0 for the raw tool
  long tools = 1;             // the tools running at the last answer
  std::vector<Value> values;  // for each file, each field of the walk
};

// A fresh copy of the module at `modulePath` in its own plugin folder
// (under `folder` in the work folder), its first tool warmed up on
// WalkSetup::warmUp, then the walk.
RunResult RunModule(const WalkSetup& setup, const std::string& modulePath,
                    const std::string& folder, const Walk& walk);
// A fresh stay-open tool of this program's, warmed up alike, sent for each
// file what the module sends for the walk's fields.
RunResult RunRaw(const WalkSetup& setup, const Walk& walk);

}  // namespace bench
