#include "walk_report.h"

#include <algorithm>
#include <cstdio>

#include "common.h"
#include "one_shot.h"

namespace bench {

namespace {

// The rounds' ratios of the baseline's time to the cell's.
std::vector<double> Speedups(const WalkTable& t, std::size_t p, std::size_t w) {
  const WalkCell& base = t.cells[BaselinePattern(p)][kRawWay];
  const WalkCell& cell = t.cells[p][w];
  std::vector<double> ratios;
  for (std::size_t r = 0; r < base.seconds.size() && r < cell.seconds.size(); ++r)
    ratios.push_back(base.seconds[r] / cell.seconds[r]);
  return ratios;
}

// The ways in a round's line.
constexpr const char* kShort[kWalkWays] = {"ahead", "off", "raw"};

bool Ran(const WalkCell& cell) { return !cell.seconds.empty(); }

std::string Opened(const WalkCell& cell) {
  if (cell.openedSettled < 0) return std::to_string(cell.openedAtUnload);
  return std::to_string(cell.openedSettled) + " / " + std::to_string(cell.openedAtUnload);
}

}  // namespace

std::size_t BaselinePattern(std::size_t pattern) {
  return pattern == kSortByListing ? kSortByName : pattern;
}

void RecordRun(WalkCell& cell, const RunResult& run) {
  cell.seconds.push_back(run.seconds);
  cell.openedSettled = std::max(cell.openedSettled, run.openedSettled);
  cell.openedAtUnload = std::max(cell.openedAtUnload, run.openedAtUnload);
  cell.unloadSeconds = std::max(cell.unloadSeconds, run.unloadSeconds);
  cell.tools = std::max(cell.tools, run.tools);
}

void ReportWalkRound(int round, const WalkTable& t, std::size_t screenRuns) {
  std::printf("  round %d:", round + 1);
  for (std::size_t p = 0; p < kPatterns; ++p) {
    std::printf("  %s", t.patterns[p].c_str());
    for (std::size_t w = 0; w < kWalkWays; ++w)
      if (Ran(t.cells[p][w])) {
        // This round's runs: the last ones.
        const std::vector<double>& s = t.cells[p][w].seconds;
        const std::size_t runs = std::min(s.size(), p == kScreen ? screenRuns : std::size_t{1});
        std::printf(" %s", kShort[w]);
        for (std::size_t i = s.size() - runs; i < s.size(); ++i)
          std::printf("%s%.2f", i == s.size() - runs ? " " : "/", s[i]);
      }
    std::printf(" s;");
  }
  std::printf("\n");
  std::fflush(stdout);
}

bool ReportWalk(const WalkTable& t) {
  const std::size_t rounds = t.cells[kSortByName][kRawWay].seconds.size();
  std::printf(
      "\nMedians of %zu rounds (the screen: of %zu runs); speedup: the baseline's time over "
      "the way's (the median of the runs' ratios)\n\n",
      rounds, t.cells[kScreen][kRawWay].seconds.size());
  std::printf("%-22s %-25s %9s %9s %8s %6s %8s %14s\n", "pattern", "way", "median", "ms/file",
              "speedup", "tools", "unload", "photos opened");
  for (std::size_t p = 0; p < kPatterns; ++p) {
    for (std::size_t w = 0; w < kWalkWays; ++w) {
      const WalkCell& cell = t.cells[p][w];
      if (!Ran(cell)) continue;
      const double seconds = Median(cell.seconds);
      char unload[16] = "-";
      if (w != kRawWay) std::snprintf(unload, sizeof unload, "%.2f s", cell.unloadSeconds);
      std::printf("%-22s %-25s %7.3f s %9.3f %7.2fx %6ld %8s %14s\n", t.patterns[p].c_str(),
                  t.ways[w].c_str(), seconds, seconds * 1e3 / t.files[p], Median(Speedups(t, p, w)),
                  cell.tools, unload, Opened(cell).c_str());
    }
    if (!Ran(t.cells[p][kRawWay]))
      std::printf("%-22s %-25s (the baseline is the raw run of \"%s\")\n", t.patterns[p].c_str(),
                  t.ways[kRawWay].c_str(), t.patterns[BaselinePattern(p)].c_str());
  }
  std::printf(
      "(tools: the most running at a round's last answer; unload: the longest of the rounds;\n"
      " photos opened: the most in a round, "
      "distinct files of the folders walked; for the screen, after the settle / up to "
      "unload)\n\n");

  bool bounded = true;
  for (std::size_t p : {kSortByName, kSortByListing, kFindFiles, kRename}) {
    const double s = Median(Speedups(t, p, kAheadWay));
    std::printf("%-22s read-ahead vs baseline %6.2fx   (target at least 1.6x)   %s\n",
                t.patterns[p].c_str(), s, s >= 1.6 ? "met" : "NOT MET");
  }
  const double screen = 1 / Median(Speedups(t, kScreen, kAheadWay));
  std::printf("%-22s read-ahead vs baseline %6.3f (%+.1f%%) (target within 10%%) %s\n",
              t.patterns[kScreen].c_str(), screen, (screen - 1) * 100,
              screen <= 1.10 ? "met" : "NOT MET");
  for (std::size_t w : {kAheadWay, kNoAheadWay}) {
    const long opened = t.cells[kScreen][w].openedAtUnload;
    const bool ok = opened >= 0 && static_cast<std::size_t>(opened) <= t.maxOpened;
    bounded = bounded && ok;
    std::printf("%-22s %s: at most %ld photos opened for %zu asked (target at most %zu) %s\n",
                t.patterns[kScreen].c_str(), t.ways[w].c_str(), opened, t.files[kScreen],
                t.maxOpened, ok ? "met" : "NOT MET");
  }
  return bounded;
}

std::vector<Value> ReferenceValues(const WalkSetup& setup) {
  const BenchConfig& config = *setup.config;
  std::vector<Photo> files;
  for (std::size_t e = 0; e < setup.entries.size(); ++e)
    if (!setup.isFolder[e]) files.push_back(setup.entries[e]);
  const std::vector<Value> read = OneShotValues(config, files, setup.tool, setup.work);
  const std::size_t fields = config.fields.size();
  std::vector<Value> values;
  values.reserve(setup.entries.size() * fields);
  std::size_t file = 0;  // the entry's place among the files
  for (std::size_t e = 0; e < setup.entries.size(); ++e) {
    for (std::size_t f = 0; f < fields; ++f)
      values.push_back(setup.isFolder[e] ? Deliver(config.fields[f], Reading{})
                                         : read[file * fields + f]);
    if (!setup.isFolder[e]) ++file;
  }
  return values;
}

void CheckValues(ValueCheck& check, const std::string& label, const Walk& walk,
                 const WalkSetup& setup, const RunResult& run,
                 const std::vector<Value>& reference) {
  const std::size_t fields = setup.config->fields.size();
  if (run.values.size() != walk.asks.size())
    Fail(label + ": " + std::to_string(run.values.size()) + " values for " +
         std::to_string(walk.asks.size()) + " asked");
  for (std::size_t k = 0; k < walk.asks.size(); ++k) {
    const Ask& ask = walk.asks[k];
    const Value& got = run.values[k];
    const Value& expected = reference[ask.entry * fields + ask.field];
    ++check.compared;
    if (got == expected) {
      ++check.equal;
    } else if (check.differences.size() < 8) {
      check.differences.push_back(label + ": " + setup.entries[ask.entry].path + ", field \"" +
                                  setup.config->fields[ask.field].name + "\": " + Show(got) +
                                  ", one-shot exiftool: " + Show(expected));
    }
  }
}

bool ReportValueCheck(const ValueCheck& c) {
  const bool equal = c.compared > 0 && c.equal == c.compared;
  std::printf(
      "\nValues: %zu of %zu equal to one-shot exiftool's (every value of every "
      "pattern, way and round: result code and value bytes)\n",
      c.equal, c.compared);
  std::printf("  %s\n", equal ? "all equal" : "DIFFERENCES, the first ones:");
  for (const std::string& d : c.differences) std::printf("    %s\n", d.c_str());
  return equal;
}

}  // namespace bench
