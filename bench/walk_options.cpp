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
  ReadOptions(argc, argv, kUsage, o.alikeTools, [&](const std::string& arg,
                                                    const std::string& value) {
    if (arg == "--module") o.module = value;
    else if (arg == "--noahead-module") o.noAheadModule = value;
    else if (arg == "--photos") o.photos = value;
    else if (arg == "--names") o.names = value;
    else if (arg == "--config") o.config = value;
    else if (arg == "--field") o.field = value;
    else if (arg == "--tool") o.tool = value;
    else if (arg == "--work") o.work = value;
    else if (arg == "--rounds") o.rounds = static_cast<int>(Number(arg, value, 1));
    else if (arg == "--screen-files")
      o.screenFiles = static_cast<std::size_t>(Number(arg, value, 1));
    else if (arg == "--screen-repeats")
      o.screenRepeats = static_cast<int>(Number(arg, value, 1));
    else if (arg == "--settle-ms") o.settleSeconds = Number(arg, value, 0) / 1000.0;
    else return false;
    return true;
  });
  if (o.photos.empty() || o.config.empty() || o.module.empty() || o.noAheadModule.empty())
    Fail(kUsage);
  if (o.names.empty()) o.names = o.photos + "/names";
  return o;
}

}  // namespace bench
