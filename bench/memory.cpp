#include "memory.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "common.h"
#include "module_calls.h"
#include "plugin/value_cache.h"
#include "values.h"

namespace bench {

namespace {

// What resident memory may grow by once the module keeps as many files as
// it can: allocator slack, not the values of more files.
constexpr long kFlatKb = 256;

long OwnRssKb() { return StatusKb(getpid(), "VmRSS"); }

}  // namespace

MemoryRun MeasureMemory(const BenchConfig& config, const std::string& modulePath,
                        const std::string& workDir, const Photo& first,
                        const std::vector<Photo>& names) {
  MemoryRun run;
  run.files = names.size();
  run.bound = plugin::kCacheFiles;
  const int fields = static_cast<int>(config.fields.size());
  alignas(8) unsigned char buffer[kHostBufferBytes];

  host::Module module;
  LoadModule(module, MakePluginDir(workDir + "/memory", modulePath, config), config);
  const std::vector<pid_t> others = ChildPids();
  for (int f = 0; f < fields; ++f) AskModule(module, first, f, buffer);
  pid_t tool = -1;
  for (pid_t pid : ChildPids())
    if (std::find(others.begin(), others.end(), pid) == others.end()) tool = pid;

  run.rssBefore = OwnRssKb();
  const std::size_t step = 1000;
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (int f = 0; f < fields; ++f) AskModule(module, names[i], f, buffer);
    const std::size_t done = i + 1;
    if (done == run.bound) run.rssAtBound = OwnRssKb();
    if (done % step == 0 || done == names.size()) run.checkpoints.push_back({done, OwnRssKb()});
  }
  run.seconds = SecondsSince(start);
  run.rssAfter = OwnRssKb();

  // Which files the module answers from what it keeps: delay-if-slow gives
  // 0 for anything that needs the tool (and has the file read meanwhile, so
  // the latest files are asked first: what is read for the others cannot
  // push them out before they are asked).
  int probe = -1;
  for (int f = 0; f < fields && probe < 0; ++f)
    if (config.fields[f].asked) probe = f;
  std::vector<bool> kept(names.size(), false);
  for (std::size_t i = names.size(); i-- > 0 && probe >= 0;)
    kept[i] = AskModule(module, names[i], probe, buffer, 1) != 0;
  run.kept = static_cast<std::size_t>(std::count(kept.begin(), kept.end(), true));
  run.keptAreLatest = true;
  for (std::size_t i = 0; i < names.size(); ++i)
    if (kept[i] != (i >= names.size() - run.kept)) run.keptAreLatest = false;

  // Extra tools come and go with reading ahead; the first one stays.
  std::vector<pid_t> now = ChildPids();
  run.oneTool = tool >= 0 && std::find(now.begin(), now.end(), tool) != now.end();
  return run;
}

bool ReportMemory(const MemoryRun& run) {
  std::printf("\nMemory: the batched module asked for every field of %zu distinct files "
              "(%.1f s)\n",
              run.files, run.seconds);
  // Only more files than the module keeps show whether it lets go of some.
  const bool tested = run.files > run.bound && run.rssAtBound >= 0;
  std::printf("  VmRSS before    %8ld kB  (module loaded, its tool running)\n", run.rssBefore);
  if (tested)
    std::printf("  VmRSS at %5zu  %8ld kB  (as many files as it keeps: %+ld kB)\n", run.bound,
                run.rssAtBound, run.rssAtBound - run.rssBefore);
  std::printf("  VmRSS after     %8ld kB  (growth %+ld kB", run.rssAfter,
              run.rssAfter - run.rssBefore);
  const long pastBound = tested ? run.rssAfter - run.rssAtBound : 0;
  if (tested)
    std::printf("; %+ld kB over the last %zu files", pastBound, run.files - run.bound);
  std::printf(")\n  VmRSS every 1000 files:");
  for (const auto& checkpoint : run.checkpoints) std::printf(" %ld", checkpoint.second);
  std::printf(" kB\n");
  std::printf("  kept afterwards: %zu files, %s (bound %zu files)\n", run.kept,
              run.keptAreLatest ? "the most recently asked ones" : "NOT the latest ones",
              run.bound);
  std::printf("  the module's first tool: %s\n",
              run.oneTool ? "one process throughout" : "RESTARTED");

  const bool bounded = run.kept > 0 && run.kept <= run.bound && run.keptAreLatest;
  if (!tested) {
    std::printf("  bound not put to the test: no more files than the module keeps\n");
    return bounded;
  }
  const bool flat = pastBound <= kFlatKb;
  if (flat && bounded)
    std::printf("  bound held: no growth once the module keeps as many files as it can "
                "(within %ld kB)\n",
                kFlatKb);
  else
    std::printf("  bound NOT HELD: %s\n",
                flat ? "the files it keeps are not the latest within the bound"
                     : "memory still grows once the module keeps as many files as it can");
  return flat && bounded;
}

}  // namespace bench
