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
    "         [--screen-files N] [--screen-repeats N] [--settle-ms MS] [--work DIR]\n"
    "         [--tree DIR] [--rename DIR] [--mask NAME,NAME...] [--preview-rows N]\n"
    "         [--keystrokes N] [--rename-by-file VALUE] [--random-tools]";

// "a,b,c" as its comma-separated parts.
std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> parts;
  for (std::size_t from = 0;;) {
    const std::size_t comma = list.find(',', from);
    parts.push_back(list.substr(from, comma - from));
    if (comma == std::string::npos) return parts;
    from = comma + 1;
  }
}

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
    else if (arg == "--tree") o.tree = value;
    else if (arg == "--rename") o.rename = value;
    else if (arg == "--mask") o.mask = Split(value);
    else if (arg == "--preview-rows")
      o.previewRows = static_cast<std::size_t>(Number(arg, value, 1));
    else if (arg == "--keystrokes") o.keystrokes = static_cast<int>(Number(arg, value, 1));
    else if (arg == "--rename-by-file") o.renameByFile = Number(arg, value, 0) != 0;
    else return false;
    return true;
  });
  if (o.noAheadModule.empty()) Fail(kUsage);
  if (o.tree.empty()) o.tree = o.photos + "/tree";
  if (o.rename.empty()) o.rename = o.photos + "/rename";
  return o;
}

}  // namespace bench
