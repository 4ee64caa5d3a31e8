// What the walk benchmark prints: each round's times, the table of
// medians and speedups, the photos opened, and the values' comparison with
// one-shot Exiftool.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bench_config.h"
#include "values.h"
#include "walk_patterns.h"
#include "walk_runs.h"

namespace bench {

enum WalkWay : std::size_t { kAheadWay, kNoAheadWay, kRawWay, kWalkWays };

// One pattern and way over the rounds.
struct WalkCell {
  std::vector<double> seconds;  // round by round
  long openedSettled = -1;      // the most photos opened in a round, after the settle
  long openedAtUnload = -1;     // ... and up to unload
  double unloadSeconds = 0;     // the longest unload
  long tools = 0;               // the most tools running at a round's last answer
};

struct WalkTable {
  std::string ways[kWalkWays];
  std::string patterns[kPatterns];
  std::size_t files[kPatterns] = {};  // files and folders asked by each pattern
  WalkCell cells[kPatterns][kWalkWays];
  std::size_t maxOpened = 0;  // the screen pattern's bound
};

// The raw run a pattern's times are compared with: the raw sort in name
// order stands for both sorts (the raw tool does not read ahead, so the
// order of its files changes nothing).
std::size_t BaselinePattern(std::size_t pattern);

void RecordRun(WalkCell& cell, const RunResult& run);
// A round's times; the screen's last `screenRuns` of each way.
void ReportWalkRound(int round, const WalkTable& table, std::size_t screenRuns);
// The table; true when no module way opened more photos on the screen
// visit than the bound.
bool ReportWalk(const WalkTable& table);

// What a module delivers for every field of every entry of `setup`, at
// entry * fields + field: one-shot Exiftool's values for files, no value
// for folders.
std::vector<Value> ReferenceValues(const WalkSetup& setup);

// The values of a run against the one-shot reference.
struct ValueCheck {
  std::size_t compared = 0;
  std::size_t equal = 0;
  std::vector<std::string> differences;  // the first few, described
};
void CheckValues(ValueCheck& check, const std::string& label, const Walk& walk,
                 const WalkSetup& setup, const RunResult& run, const std::vector<Value>& reference);
// True when every value compared was equal.
bool ReportValueCheck(const ValueCheck& check);

}  // namespace bench
