// How fast a host walks folders through the module: the patterns of a
// file manager that reading ahead is for, each timed from the first call to
// the last answer, three ways:
//
//   - the module as built, which reads ahead of the host;
//   - the same sources built with VELTAMO_READ_AHEAD=0 (one tool, nothing
//     read before it is asked);
//   - the baseline: a raw loop over this program's own stay-open Exiftool,
//     sending for each file what the module sends (one "-args" batch).
//
// Sort: one field (by default "Date taken") of every photo of the folder,
// in name order (case-insensitive, as file managers sort), then in the
// order the folder lists its files. Find Files: that field of every entry
// of a tree of 6 folders (photos, other files and the folders themselves),
// depth-first, each folder in listing order; the raw loop asks only about
// the files. Multi-rename: the mask's fields (Date taken, Camera model) of
// the first 20 photos of a folder once for each of 5 keystrokes, then each
// field of every photo of the folder in name order, one field after the
// other; the raw loop asks about each file once. Screen: every field of the
// first 40 photos in name order, and how many distinct photos of the folder
// were opened meanwhile (inotify), after a settle and up to unload.
//
// Every run loads a fresh copy of the module from a plugin folder of its
// own (nothing kept from before), warmed up on files of other folders so
// that the first tool's start is not timed; the ways take turns in an
// order that changes from run to run, the screen three times a round
// (--screen-repeats) as it takes only some tens of milliseconds; figures are
// medians. Every value of every run is compared with what one-shot Exiftool
// prints for the same requests (a folder: no value, the tool not asked).
// The exit status is 1 on a difference or when the screen visit opened more
// photos than twice those asked.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_config.h"
#include "common.h"
#include "walk_options.h"
#include "walk_patterns.h"
#include "walk_report.h"
#include "walk_runs.h"

using namespace bench;

namespace {

std::size_t Folders(const WalkSetup& setup, const Walk& walk) {
  std::size_t folders = 0;
  for (std::size_t entry : EntriesAsked(walk)) folders += setup.isFolder[entry] ? 1 : 0;
  return folders;
}

void PrintHeader(const WalkOptions& o, const BenchConfig& config, const WalkSetup& setup,
                 const Walk (&walks)[kPatterns]) {
  const std::size_t photos = walks[kSortByName].asks.size();
  std::printf("Veltamo walk benchmark\n");
  std::printf("  modules   %s\n            %s (VELTAMO_READ_AHEAD=0)\n", o.module.c_str(),
              o.noAheadModule.c_str());
  std::printf(
      "            a fresh copy for every run, in a plugin folder of its own, "
      "warmed up on %zu file(s) of other folders\n",
      setup.warmUp.size());
  std::printf("  tool      %s (stay-open; the baseline a raw loop over one of its own)\n",
              o.tool.c_str());
  std::printf("  folder    %s: %zu photos (%zu fields in %s)\n",
              walks[kSortByName].folders[0].c_str(), photos, config.fields.size(),
              o.config.c_str());
  std::printf("  sort      field \"%s\" of every photo, in name order and in listing order%s\n",
              o.field.c_str(),
              walks[kSortByListing].asks.size() == photos &&
                      EntriesAsked(walks[kSortByListing]) == EntriesAsked(walks[kSortByName])
                  ? " (the folder lists them in name order: both orders are the same here)"
                  : "");
  const Walk& find = walks[kFindFiles];
  std::printf(
      "  find      field \"%s\" of %zu entries of %s (%zu folders in all, %zu entries of them "
      "folders), depth-first in listing order\n",
      o.field.c_str(), find.asks.size(), find.folders[0].c_str(), find.folders.size(),
      Folders(setup, find));
  std::printf(
      "  rename    %zu photos of %s, %zu mask fields: the first %zu rows for each of %d "
      "keystrokes, then %s in name order (%zu values)\n",
      EntriesAsked(walks[kRename]).size(), walks[kRename].folders[0].c_str(), o.mask.size(),
      std::min(o.previewRows, EntriesAsked(walks[kRename]).size()), o.keystrokes,
      o.renameByFile ? "file by file" : "field by field", walks[kRename].asks.size());
  std::printf(
      "  screen    every field of the first %zu photos in name order; opened photos "
      "counted %.1f s after the last answer and up to unload\n",
      EntriesAsked(walks[kScreen]).size(), o.settleSeconds);
  std::printf(
      "  rounds    %d (the screen %d times in each), the ways in an order that changes "
      "from run to run\n",
      o.rounds, o.screenRepeats);
  std::printf("  perl      %s\n",
              o.alikeTools ? "every tool with PERL_HASH_SEED=0 and no address randomisation"
                           : "each tool with its own random hash seed and address layout");
  std::fflush(stdout);
}

void FillTable(WalkTable& table, const WalkSetup& setup, const Walk (&walks)[kPatterns]) {
  table.ways[kAheadWay] = "module (read-ahead)";
  table.ways[kNoAheadWay] = "module (READ_AHEAD=OFF)";
  table.ways[kRawWay] = "raw stay-open (baseline)";
  for (std::size_t p = 0; p < kPatterns; ++p) {
    table.patterns[p] = walks[p].name;
    table.files[p] = EntriesAsked(walks[p]).size();
  }
  table.maxOpened = 2 * (table.files[kScreen] - Folders(setup, walks[kScreen]));
}

// The number of files (not folders) that `walk` asks about.
std::size_t FilesAsked(const WalkSetup& setup, const Walk& walk) {
  return EntriesAsked(walk).size() - Folders(setup, walk);
}

struct Rounds {
  const WalkOptions& o;
  const WalkSetup& setup;
  const Walk (&walks)[kPatterns];
  const std::vector<Value>& reference;
  WalkTable& table;
  ValueCheck& check;
};

// One run of pattern `p` the way `w`.
void RunOne(const Rounds& r, int round, std::size_t p, std::size_t w, int repeat, int repeats) {
  static const char* folders[] = {"ahead", "noahead", "raw"};
  const Walk& walk = r.walks[p];
  const std::string runName =
      std::to_string(p) + "-" + folders[w] + "-" + std::to_string(repeat + 1);
  const std::string label = "round " + std::to_string(round + 1) + ", " + walk.name +
                            (repeats > 1 ? " " + std::to_string(repeat + 1) : "") + ", " +
                            r.table.ways[w];
  const std::string module = w == kAheadWay ? r.o.module : r.o.noAheadModule;
  const RunResult run =
      w == kRawWay
          ? RunRaw(r.setup, walk)
          : RunModule(r.setup, module, "round-" + std::to_string(round + 1) + "/" + runName, walk);
  // The raw tool opens each file it is asked about and no other: the count
  // is right only if it says so.
  const std::size_t files = FilesAsked(r.setup, walk);
  if (w == kRawWay && static_cast<std::size_t>(run.openedAtUnload) != files)
    Fail(label + ": " + std::to_string(run.openedAtUnload) + " photos counted as opened, " +
         std::to_string(files) + " asked: the open counter is wrong");
  CheckValues(r.check, label, walk, r.setup, run, r.reference);
  RecordRun(r.table.cells[p][w], run);
}

}  // namespace

int main(int argc, char** argv) {
  const WalkOptions o = ParseWalkOptions(argc, argv);
  PrepareRun(o);

  const BenchConfig config = ReadBenchConfig(o.config, o.tool);
  WalkSetup setup;
  setup.config = &config;
  setup.tool = o.tool;
  Walk walks[kPatterns];
  PlanWalks(o, config, setup, walks);
  setup.work = WorkDir(o, "veltamo-walk-bench");
  WalkTable table;
  FillTable(table, setup, walks);
  PrintHeader(o, config, setup, walks);

  const Clock::time_point referenceStart = Clock::now();
  const std::vector<Value> reference = ReferenceValues(setup);
  std::printf("  reference one-shot exiftool over every field of every file: %.1f s\n\n",
              SecondsSince(referenceStart));
  std::fflush(stdout);

  ValueCheck check;
  const Rounds rounds{o, setup, walks, reference, table, check};
  for (int round = 0; round < o.rounds; ++round) {
    for (std::size_t p = 0; p < kPatterns; ++p) {
      // The screen takes some tens of milliseconds: one run of it says
      // little, so each round has several.
      const int repeats = p == kScreen ? o.screenRepeats : 1;
      for (int repeat = 0; repeat < repeats; ++repeat)
        for (std::size_t turn = 0; turn < kWalkWays; ++turn) {
          const std::size_t w = (turn + round + p + repeat) % kWalkWays;
          if (w == kRawWay && BaselinePattern(p) != p) continue;
          RunOne(rounds, round, p, w, repeat, repeats);
        }
    }
    ReportWalkRound(round, table, static_cast<std::size_t>(o.screenRepeats));
  }

  const bool bounded = ReportWalk(table);
  const bool equal = ReportValueCheck(check);
  return bounded && equal ? 0 : 1;
}
