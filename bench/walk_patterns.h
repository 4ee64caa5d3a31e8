// The walks a file manager makes through folders of photos, as lists of
// the values it asks for, in order.
#pragma once

#include <cstddef>

#include "bench_config.h"
#include "walk_options.h"
#include "walk_runs.h"

namespace bench {

enum WalkPattern : std::size_t {
  kSortByName,
  kSortByListing,
  kFindFiles,
  kRename,
  kScreen,
  kPatterns
};

// Fills `setup` (its entries, what to warm up on) and the walks:
//   - sort: the sort field of every photo of the folder, in name order and
//     in the order the folder lists them;
//   - Find Files: the sort field of every entry of the tree, folders and
//     other files too, depth-first: each folder's entries in listing order,
//     then its sub-folders in turn;
//   - rename: every mask field of the first rows of the rename folder in
//     name order, once a keystroke, then each mask field of every file of
//     the folder in name order, one field after the other (or, with
//     --rename-by-file 1, every mask field of one file after the other);
//   - screen: every field of the first photos of the folder in name order.
void PlanWalks(const WalkOptions& o, const BenchConfig& config, WalkSetup& setup,
               Walk (&walks)[kPatterns]);

}  // namespace bench
