// How fast a host walks a folder through the module: the two patterns of a
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
// order the folder lists its files. Screen: every field of the first 40
// photos in name order, and how many distinct photos of the folder were
// opened meanwhile (inotify), after a settle and up to unload.
//
// Every run loads a fresh copy of the module from a plugin folder of its
// own (nothing kept from before), warmed up on files of other folders so
// that the first tool's start is not timed; the ways take turns in an
// order that changes from run to run, the screen three times a round
// (--screen-repeats) as it takes only some tens of milliseconds; figures are
// medians. Every value of every run is compared with what one-shot Exiftool
// prints for the same requests. The exit status is 1 on a difference or when the screen visit
// opened more photos than twice those asked.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench_config.h"
#include "common.h"
#include "one_shot.h"
#include "walk_options.h"
#include "walk_report.h"
#include "walk_runs.h"

using namespace bench;

namespace {

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The photos in name order as a file manager sorts them: case-insensitive,
// exact names breaking ties.
std::vector<std::string> NameOrder(std::vector<std::string> paths) {
  std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
    const int c = strcasecmp(BaseName(a).c_str(), BaseName(b).c_str());
    return c != 0 ? c < 0 : a < b;
  });
  return paths;
}

int FieldIndex(const BenchConfig& config, const std::string& name) {
  for (std::size_t f = 0; f < config.fields.size(); ++f)
    if (config.fields[f].name == name) {
      if (!config.fields[f].asked) Fail("field \"" + name + "\" asks the tool nothing");
      return static_cast<int>(f);
    }
  Fail("no field \"" + name + "\" in Config.txt");
}

}  // namespace

int main(int argc, char** argv) {
  const WalkOptions o = ParseWalkOptions(argc, argv);
  PrepareRun(o);

  const BenchConfig config = ReadBenchConfig(o.config, o.tool);
  const int sortField = FieldIndex(config, o.field);
  WalkSetup setup;
  setup.config = &config;
  setup.tool = o.tool;
  setup.photosDir = FullPath(o.photos);
  const std::vector<std::string> named = NameOrder(JpegFiles(setup.photosDir));
  if (named.empty()) Fail("no .jpg photos in " + o.photos);
  setup.photos = ToPhotos(named);
  // One file in each of two other folders: no walk through a folder.
  for (const std::string& folder : SubFolders(FullPath(o.names))) {
    const std::vector<std::string> files = JpegFiles(folder);
    if (!files.empty() && setup.warmUp.size() < 2)
      setup.warmUp.push_back(ToPhotos({files.back()})[0]);
  }
  if (setup.warmUp.empty()) Fail("no folders of other photos for warming up in " + o.names);
  setup.work = WorkDir(o, "veltamo-walk-bench");

  std::map<std::string, std::size_t> position;
  for (std::size_t i = 0; i < named.size(); ++i) position[named[i]] = i;
  Walk walks[kPatterns];
  walks[kSortByName].name = "sort, name order";
  walks[kSortByListing].name = "sort, listing order";
  walks[kScreen].name = "screen";
  for (std::size_t i = 0; i < named.size(); ++i) walks[kSortByName].files.push_back(i);
  for (const std::string& path : JpegFiles(setup.photosDir, false))
    walks[kSortByListing].files.push_back(position.at(path));
  walks[kSortByName].fields = walks[kSortByListing].fields = {sortField};
  const std::size_t screenFiles = std::min(o.screenFiles, named.size());
  for (std::size_t i = 0; i < screenFiles; ++i) walks[kScreen].files.push_back(i);
  for (std::size_t f = 0; f < config.fields.size(); ++f)
    walks[kScreen].fields.push_back(static_cast<int>(f));
  walks[kScreen].settleSeconds = o.settleSeconds;

  WalkTable table;
  table.ways[kAheadWay] = "module (read-ahead)";
  table.ways[kNoAheadWay] = "module (READ_AHEAD=OFF)";
  table.ways[kRawWay] = "raw stay-open (baseline)";
  for (std::size_t p = 0; p < kPatterns; ++p) {
    table.patterns[p] = walks[p].name;
    table.files[p] = walks[p].files.size();
    table.fields[p] = walks[p].fields.size();
  }
  table.maxOpened = 2 * screenFiles;

  std::printf("Veltamo walk benchmark\n");
  std::printf("  modules   %s\n            %s (VELTAMO_READ_AHEAD=0)\n", o.module.c_str(),
              o.noAheadModule.c_str());
  std::printf(
      "            a fresh copy for every run, in a plugin folder of its own, "
      "warmed up on %zu file(s) of other folders\n",
      setup.warmUp.size());
  std::printf("  tool      %s (stay-open; the baseline a raw loop over one of its own)\n",
              o.tool.c_str());
  std::printf("  folder    %s: %zu photos (%zu fields in %s)\n", setup.photosDir.c_str(),
              named.size(), config.fields.size(), o.config.c_str());
  std::printf("  sort      field \"%s\" of every photo, in name order and in listing order%s\n",
              o.field.c_str(),
              walks[kSortByListing].files == walks[kSortByName].files
                  ? " (the folder lists them in name order: both orders are the same here)"
                  : "");
  std::printf(
      "  screen    every field of the first %zu photos in name order; opened photos "
      "counted %.1f s after the last answer and up to unload\n",
      screenFiles, o.settleSeconds);
  std::printf(
      "  rounds    %d (the screen %d times in each), the ways in an order that changes "
      "from run to run\n",
      o.rounds, o.screenRepeats);
  std::printf("  perl      %s\n",
              o.alikeTools ? "every tool with PERL_HASH_SEED=0 and no address randomisation"
                           : "each tool with its own random hash seed and address layout");
  std::fflush(stdout);

  const Clock::time_point referenceStart = Clock::now();
  const std::vector<Value> reference = OneShotValues(config, setup.photos, o.tool, setup.work);
  std::printf("  reference one-shot exiftool over every field of every photo: %.1f s\n\n",
              SecondsSince(referenceStart));
  std::fflush(stdout);

  ValueCheck check;
  const std::string modules[] = {o.module, o.noAheadModule};
  const char* folders[] = {"ahead", "noahead", "raw"};
  for (int round = 0; round < o.rounds; ++round) {
    for (std::size_t p = 0; p < kPatterns; ++p) {
      // The screen takes some tens of milliseconds: one run of it says
      // little, so each round has several.
      const int repeats = p == kScreen ? o.screenRepeats : 1;
      for (int repeat = 0; repeat < repeats; ++repeat)
        for (std::size_t turn = 0; turn < kWalkWays; ++turn) {
          const std::size_t w = (turn + round + p + repeat) % kWalkWays;
          if (w == kRawWay && BaselinePattern(p) != p) continue;
          const std::string runName =
              std::to_string(p) + "-" + folders[w] + "-" + std::to_string(repeat + 1);
          const std::string label = "round " + std::to_string(round + 1) + ", " + walks[p].name +
                                    (repeats > 1 ? " " + std::to_string(repeat + 1) : "") + ", " +
                                    table.ways[w];
          const RunResult run =
              w == kRawWay
                  ? RunRaw(setup, walks[p])
                  : RunModule(setup, modules[w],
                              "round-" + std::to_string(round + 1) + "/" + runName, walks[p]);
          // The raw tool opens each file it is asked about and no other: the
          // count is right only if it says so.
          if (w == kRawWay && static_cast<std::size_t>(run.openedAtUnload) != walks[p].files.size())
            Fail(label + ": " + std::to_string(run.openedAtUnload) + " photos counted as opened, " +
                 std::to_string(walks[p].files.size()) + " asked: the open counter is wrong");
          CheckValues(check, label, walks[p], setup, run, reference);
          RecordRun(table.cells[p][w], run);
        }
    }
    ReportWalkRound(round, table, static_cast<std::size_t>(o.screenRepeats));
  }

  const bool bounded = ReportWalk(table);
  const bool equal = ReportValueCheck(check);
  return bounded && equal ? 0 : 1;
}
