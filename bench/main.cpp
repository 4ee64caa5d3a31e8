// Fill time of a file manager's view: every field of Config.txt for every
// photo of a folder, asked file by file and field by field as a host asks
// (ContentGetValueW, unit index 0, a buffer of 2049 bytes), four ways:
//
//   (1) the module as it was before batching (built from the same sources
//       without it): one request to Exiftool per value;
//   (2) the module with batching (built with one tool and no reading ahead,
//       which would read files during the other ways' turns): one request
//       per file, the file's other fields from what it keeps;
//   (3) a raw loop over this program's own stay-open Exiftool, sending the
//       request lines of (1) for each value;
//   (4) the same with the request lines of (2), one batch per file.
//
// (3) and (4) are what each design costs at the least. Every round starts
// fresh modules and tools, and the ways take turns block by block of files,
// in an order that changes from block to block, so that none gets all the
// warm cache or a quiet moment of the computer; medians over the rounds are
// reported. The first round's values are compared across the four ways.
// Last, the process's memory while the module as it ships is asked for more
// distinct files than it keeps.

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_config.h"
#include "common.h"
#include "memory.h"
#include "options.h"
#include "report.h"
#include "values.h"
#include "ways.h"

using namespace bench;

namespace {

// The ways' turns within a block: each way takes each place once in four
// blocks and follows each other way once.
constexpr std::size_t kTurns[kWays][kWays] = {
    {0, 1, 3, 2}, {1, 2, 0, 3}, {2, 3, 1, 0}, {3, 0, 2, 1}};

// Every photo name in the folders of `dir`.
std::vector<std::string> MoreNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const std::string& folder : SubFolders(dir))
    for (std::string& name : JpegFiles(folder)) names.push_back(std::move(name));
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = ParseOptions(argc, argv);
  PrepareRun(o);

  const BenchConfig config = ReadBenchConfig(o.config, o.tool);
  const std::vector<Photo> photos = ToPhotos(JpegFiles(FullPath(o.photos)));
  if (photos.empty()) Fail("no .jpg photos in " + o.photos);
  std::vector<Photo> names = ToPhotos(MoreNames(FullPath(o.names)));
  if (names.size() < 3) Fail("no folders of more names for the photos in " + o.names);
  // The tools' first replies, before anything is timed, are for names that
  // no round asks for.
  const std::vector<Photo> warmUp(names.end() - 3, names.end());
  if (names.size() > o.memoryFiles) names.resize(o.memoryFiles);
  const std::string work = WorkDir(o, "veltamo-bench");
  const std::size_t fields = config.fields.size();

  std::printf("Veltamo view fill benchmark\n");
  std::printf("  modules   (1) %s\n            (2) %s\n            memory %s\n",
              o.unbatchedModule.c_str(), o.module.c_str(), o.memoryModule.c_str());
  std::printf("            a fresh copy each round, in a plugin folder of its own\n");
  std::printf("  tool      %s, stay-open, a fresh one for every way each round\n",
              o.tool.c_str());
  std::printf("  view      %zu photos in %s x %zu fields of %s (unit index 0, %d-byte "
              "buffer)\n",
              photos.size(), o.photos.c_str(), fields, o.config.c_str(), kHostBufferBytes);
  std::printf("  batch     %zu tags a request (%zu of %zu fields answered by it)\n",
              config.batchKeys.size(),
              static_cast<std::size_t>(std::count_if(
                  config.fields.begin(), config.fields.end(),
                  [](const FieldInfo& f) { return f.batchIndex >= 0; })),
              fields);
  std::printf("  rounds    %d; the ways take turns by blocks of %zu files\n", o.rounds,
              o.blockFiles);
  std::printf("  perl      %s\n\n",
              o.alikeTools ? "every tool with PERL_HASH_SEED=0 and no address randomisation"
                           : "each tool with its own random hash seed and address layout");
  std::fflush(stdout);

  std::vector<std::unique_ptr<Way>> ways(kWays);
  ways[kUnbatched] =
      MakeModuleWay("module without batching", config, o.unbatchedModule, work, false);
  ways[kBatched] = MakeModuleWay("module with batching", config, o.module, work, true);
  ways[kRawOneTag] = MakeRawOneTagWay(config, o.tool);
  ways[kRawAllTags] = MakeRawAllTagsWay(config, o.tool);

  std::vector<WayTimes> times(kWays);
  for (std::size_t w = 0; w < kWays; ++w) times[w].name = ways[w]->Name();
  std::vector<Kept> kept(kWays);
  const std::size_t blocks = (photos.size() + o.blockFiles - 1) / o.blockFiles;

  for (int round = 0; round < o.rounds; ++round) {
    std::vector<double> toolStart(kWays), seconds(kWays, 0.0);
    for (std::size_t w = 0; w < kWays; ++w) {
      ways[w]->Start(round, warmUp);
      toolStart[w] = ProcessCpuSeconds(ways[w]->ToolPid());
    }
    for (std::size_t b = 0; b < blocks; ++b) {
      const std::size_t first = b * o.blockFiles;
      const std::size_t last = std::min(photos.size(), first + o.blockFiles);
      for (std::size_t w : kTurns[(b + round) % kWays]) {
        Kept* keep = round == 0 ? &kept[w] : nullptr;
        const double cpu = OwnCpuSeconds();
        const Clock::time_point start = Clock::now();
        for (std::size_t i = first; i < last; ++i) ways[w]->FillFile(photos[i], keep, i * fields);
        seconds[w] += SecondsSince(start);
        times[w].hostCpu += OwnCpuSeconds() - cpu;
      }
    }
    for (std::size_t w = 0; w < kWays; ++w) {
      const double toolEnd = ProcessCpuSeconds(ways[w]->ToolPid());
      if (toolStart[w] < 0 || toolEnd < 0 || times[w].toolCpu < 0) times[w].toolCpu = -1;
      else times[w].toolCpu += toolEnd - toolStart[w];
      ways[w]->Stop();
      times[w].seconds.push_back(seconds[w]);
    }
    ReportRound(round, times);
  }

  ReportFill(times, photos.size(), fields);
  const bool equal = ReportValues(CompareWays(
      photos, config, {&kept[kUnbatched], &kept[kBatched], &kept[kRawOneTag], &kept[kRawAllTags]},
      {"(1) module without batching", "(2) module with batching", "(3) raw one-tag loop",
       "(4) raw all-tags loop"}));

  bool bounded = true;
  if (o.memoryFiles > 0)
    bounded = ReportMemory(MeasureMemory(config, o.memoryModule, work, photos.front(), names));
  return equal && bounded ? 0 : 1;
}
