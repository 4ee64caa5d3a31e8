#include "walk_options.h"

#include <cstdlib>

#include "common.h"

// The modules this tree builds; options can name others.
#ifndef VELTAMO_BENCH_MODULE
#define VELTAMO_BENCH_MODULE ""
#endif
#ifndef VELTAMO_BENCH_NOAHEAD_MODULE
#define VELTAMO_BENCH_NOAHEAD_MODULE ""
#endif

namespace bench {

namespace {

constexpr char kUsage[] =
    "usage: veltamo_walk_bench --photos DIR --config Config.txt [--names DIR] [--tool PATH]\n"
    "         [--module PATH] [--noahead-module PATH] [--field NAME] [--rounds N]\n"
    "         [--screen-files N] [--screen-repeats N] [--settle-ms MS] [--work DIR] "
    "[--random-tools]";

}  // namespace

WalkOptions ParseWalkOptions(int argc, char** argv) {
  WalkOptions o;
  o.module = VELTAMO_BENCH_MODULE;
  o.noAheadModule = VELTAMO_BENCH_NOAHEAD_MODULE;
  o.rounds = 5;
  ReadOptions(argc, argv, kUsage, o, [&](const std::string& arg, const std::string& value) {
    if (arg == "--noahead-module") o.noAheadModule = value;
    else if (arg == "--field") o.field = value;
    else if (arg == "--screen-files")
      o.screenFiles = static_cast<std::size_t>(Number(arg, value, 1));
    else if (arg == "--screen-repeats")
      o.screenRepeats = static_cast<int>(Number(arg, value, 1));
    else if (arg == "--settle-ms") o.settleSeconds = Number(arg, value, 0) / 1000.0;
    else return false;
    return true;
  });
  if (o.noAheadModule.empty()) Fail(kUsage);
  return o;
}

}  // namespace bench
