// The process's memory while the batched module is asked for every field of
// more distinct files than it keeps values for.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "bench_config.h"

namespace bench {

struct MemoryRun {
  std::size_t files = 0;       // distinct file names asked, every field
  std::size_t bound = 0;       // the most files the module keeps values for
  long rssBefore = -1;         // kB, module loaded, its tool running
  long rssAtBound = -1;        // kB, after `bound` files
  long rssAfter = -1;          // kB, after all `files`
  std::vector<std::pair<std::size_t, long>> checkpoints;  // (files, kB)
  // Files the module still answers at once (delay-if-slow) afterwards, and
  // whether they are exactly the most recently asked ones.
  std::size_t kept = 0;
  bool keptAreLatest = false;
  bool oneTool = false;        // the first tool the same process throughout
  double seconds = 0;
};

// Loads a fresh copy of the batched module at `modulePath`, asks it for
// every field of `first` (its tool started, its first replies behind it),
// then for every field of each of `names`.
MemoryRun MeasureMemory(const BenchConfig& config, const std::string& modulePath,
                        const std::string& workDir, const Photo& first,
                        const std::vector<Photo>& names);

// Prints the run; true when memory stayed within the bound.
bool ReportMemory(const MemoryRun& run);

}  // namespace bench
