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

// One value a host asks for: field `field` of WalkSetup::entries[entry].
struct Ask {
  std::size_t entry = 0;
  int field = 0;
};

// What a host asks, in order.
struct Walk {
  std::string name;
  std::vector<Ask> asks;
  std::vector<std::string> folders;  // where the entries asked lie, watched for opens
  // Wait this long after the last answer before the opened photos are
  // counted (read-ahead may go on after it), then count again up to unload.
  double settleSeconds = 0;
};

// Each entry of `files`, every field of `fields`: file by file.
void AskEach(Walk& walk, const std::vector<std::size_t>& files, const std::vector<int>& fields);
// The entries a walk asks about, each once, in the order first asked.
std::vector<std::size_t> EntriesAsked(const Walk& walk);

struct WalkSetup {
  const BenchConfig* config = nullptr;
  // Every file or folder that a walk asks about, and which are folders.
  std::vector<Photo> entries;
  std::vector<bool> isFolder;
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
  std::vector<Value> values;  // for each of the walk's asks
};

// A fresh copy of the module at `modulePath` in its own plugin folder
// (under `folder` in the work folder), its first tool warmed up on
// WalkSetup::warmUp, then the walk.
RunResult RunModule(const WalkSetup& setup, const std::string& modulePath,
                    const std::string& folder, const Walk& walk);
// A fresh stay-open tool of this program's, warmed up alike, sent for each
// file, once, when the walk first asks about it, what the module sends for
// every field the walk asks of it: the least a walk's values can cost with
// one tool. Folders are not sent (a module answers them without the tool).
RunResult RunRaw(const WalkSetup& setup, const Walk& walk);

}  // namespace bench
