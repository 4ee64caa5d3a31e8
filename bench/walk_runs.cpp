#include "walk_runs.h"

#include <chrono>
#include <thread>

#include "common.h"
#include "host/module_loader.h"
#include "module_calls.h"
#include "open_counter.h"
#include "raw_tool.h"

namespace bench {

namespace {

void Settle(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// What the module sends the tool for `fields` of `photo`; the values as
// the module delivers them go to `out`.
void AskRaw(StayOpenTool& tool, const BenchConfig& config, const Photo& photo,
            const std::vector<int>& fields, std::vector<Value>* out) {
  const std::vector<Reading> readings = AskAsTheModule(tool, config, photo, fields);
  if (out == nullptr) return;
  for (std::size_t i = 0; i < fields.size(); ++i)
    out->push_back(Deliver(config.fields[fields[i]], readings[i]));
}

// The processes this one has started that are still there (zombies too).
std::size_t Children() { return ChildPids().size(); }

}  // namespace

RunResult RunModule(const WalkSetup& setup, const std::string& modulePath,
                    const std::string& folder, const Walk& walk) {
  const BenchConfig& config = *setup.config;
  const std::vector<int> all = AllFields(config);
  const std::size_t before = Children();
  RunResult run;
  run.values.reserve(walk.files.size() * walk.fields.size());
  alignas(8) unsigned char buffer[kHostBufferBytes];
  host::Module module;
  LoadModule(module, MakePluginDir(setup.work + "/" + folder, modulePath, config), config);
  // Every field of files in other folders, one file each: the first tool
  // is started and past its first replies, and no walk through a folder is
  // seen.
  for (const Photo& photo : setup.warmUp)
    for (int f : all) AskModule(module, photo, f, buffer);
  if (Children() <= before) Fail(folder + ": the module started no tool");

  {
    OpenCounter opened(setup.photosDir);
    const Clock::time_point start = Clock::now();
    for (std::size_t i : walk.files)
      for (int f : walk.fields) {
        const int code = AskModule(module, setup.photos[i], f, buffer);
        run.values.push_back(FromBuffer(code, buffer));
      }
    run.seconds = SecondsSince(start);
    // A tool that the module starts runs until unload or a long idle time,
    // so those running now are those the walk had.
    run.tools = static_cast<long>(Children() - before);
    if (walk.settleSeconds > 0) {
      Settle(walk.settleSeconds);
      run.openedSettled = static_cast<long>(opened.Distinct());
    }
    const Clock::time_point unloading = Clock::now();
    module.Unload();
    run.unloadSeconds = SecondsSince(unloading);
    run.openedAtUnload = static_cast<long>(opened.Distinct());
  }
  if (Children() != before)
    Fail(folder + ": " + std::to_string(Children() - before) +
         " process(es) of the module left after unload");
  return run;
}

RunResult RunRaw(const WalkSetup& setup, const Walk& walk) {
  const BenchConfig& config = *setup.config;
  RunResult run;
  run.values.reserve(walk.files.size() * walk.fields.size());
  StayOpenTool tool(setup.tool);
  for (const Photo& photo : setup.warmUp) AskRaw(tool, config, photo, AllFields(config), nullptr);
  OpenCounter opened(setup.photosDir);
  const Clock::time_point start = Clock::now();
  for (std::size_t i : walk.files) AskRaw(tool, config, setup.photos[i], walk.fields, &run.values);
  run.seconds = SecondsSince(start);
  if (walk.settleSeconds > 0) run.openedSettled = static_cast<long>(opened.Distinct());
  run.openedAtUnload = static_cast<long>(opened.Distinct());
  return run;
}

}  // namespace bench
