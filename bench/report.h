// What the benchmark prints about the fill times and the values.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "values.h"

namespace bench {

// One way's measurements over all rounds.
struct WayTimes {
  std::string name;
  std::vector<double> seconds;  // fill time of the whole view, round by round
  double hostCpu = 0;           // this process's CPU time in the way's turns
  double toolCpu = 0;           // the way's tool; below 0 when unknown
};

// The order of the ways in `times`.
enum WayIndex : std::size_t { kUnbatched, kBatched, kRawOneTag, kRawAllTags, kWays };

// The round's line: each way's fill time and the three ratios.
void ReportRound(int round, const std::vector<WayTimes>& times);
// The table of medians, and the ratios against their targets.
void ReportFill(const std::vector<WayTimes>& times, std::size_t files, std::size_t fields);
// How many values were compared and whether all were equal; true if so.
bool ReportValues(const Comparison& comparison);

}  // namespace bench
