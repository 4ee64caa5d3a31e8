#include "options.h"

#include <cstdlib>
#include <string>

#include "common.h"

// The modules this tree builds; options can name others.
#ifndef VELTAMO_BENCH_MODULE
#define VELTAMO_BENCH_MODULE ""
#endif
#ifndef VELTAMO_BENCH_MEMORY_MODULE
#define VELTAMO_BENCH_MEMORY_MODULE ""
#endif
#ifndef VELTAMO_BENCH_UNBATCHED_MODULE
#define VELTAMO_BENCH_UNBATCHED_MODULE ""
#endif

namespace bench {

namespace {

constexpr char kUsage[] =
    "usage: veltamo_bench --photos DIR --config Config.txt [--names DIR] [--tool PATH]\n"
    "         [--module PATH] [--unbatched-module PATH] [--memory-module PATH]\n"
    "         [--rounds N] [--block FILES] [--memory-files N] [--work DIR] [--random-tools]";

}  // namespace

Options ParseOptions(int argc, char** argv) {
  Options o;
  o.module = VELTAMO_BENCH_MODULE;
  o.unbatchedModule = VELTAMO_BENCH_UNBATCHED_MODULE;
  o.memoryModule = VELTAMO_BENCH_MEMORY_MODULE;
  ReadOptions(argc, argv, kUsage, o, [&](const std::string& arg, const std::string& value) {
    if (arg == "--unbatched-module") o.unbatchedModule = value;
    else if (arg == "--memory-module") o.memoryModule = value;
    else if (arg == "--block") o.blockFiles = static_cast<std::size_t>(Number(arg, value, 1));
    else if (arg == "--memory-files")
      o.memoryFiles = static_cast<std::size_t>(Number(arg, value, 0));
    else return false;
    return true;
  });
  if (o.unbatchedModule.empty() || o.memoryModule.empty()) Fail(kUsage);
  return o;
}

}  // namespace bench
