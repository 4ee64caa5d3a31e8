#include "walk_runs.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>
#include <utility>

#include "common.h"
#include "host/module_loader.h"
#include "module_calls.h"
#include "open_counter.h"
#include "raw_tool.h"

namespace bench {

namespace {

void Settle(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// The fields a walk asks of each entry, each once, in the order first asked.
std::map<std::size_t, std::vector<int>> FieldsAsked(const Walk& walk) {
  std::map<std::size_t, std::vector<int>> fields;
  for (const Ask& ask : walk.asks) {
    std::vector<int>& of = fields[ask.entry];
    if (std::find(of.begin(), of.end(), ask.field) == of.end()) of.push_back(ask.field);
  }
  return fields;
}

// The processes this one has started that are still there (zombies too).
std::size_t Children() { return ChildPids().size(); }

}  // namespace

void AskEach(Walk& walk, const std::vector<std::size_t>& files, const std::vector<int>& fields) {
  for (std::size_t file : files)
    for (int field : fields) walk.asks.push_back({file, field});
}

std::vector<std::size_t> EntriesAsked(const Walk& walk) {
  std::vector<std::size_t> entries;
  std::vector<bool> seen;
  for (const Ask& ask : walk.asks) {
    if (ask.entry >= seen.size()) seen.resize(ask.entry + 1);
    if (!seen[ask.entry]) entries.push_back(ask.entry);
    seen[ask.entry] = true;
  }
  return entries;
}

RunResult RunModule(const WalkSetup& setup, const std::string& modulePath,
                    const std::string& folder, const Walk& walk) {
  const BenchConfig& config = *setup.config;
  const std::vector<int> all = AllFields(config);
  const std::size_t before = Children();
  RunResult run;
  run.values.reserve(walk.asks.size());
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
    OpenCounter opened(walk.folders);
    const Clock::time_point start = Clock::now();
    for (const Ask& ask : walk.asks) {
      const int code = AskModule(module, setup.entries[ask.entry], ask.field, buffer);
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
  const std::map<std::size_t, std::vector<int>> fields = FieldsAsked(walk);
  std::map<std::pair<std::size_t, int>, Value> read;
  RunResult run;
  StayOpenTool tool(setup.tool);
  for (const Photo& photo : setup.warmUp) AskAsTheModule(tool, config, photo, AllFields(config));
  OpenCounter opened(walk.folders);
  const Clock::time_point start = Clock::now();
  for (std::size_t entry : EntriesAsked(walk)) {
    if (setup.isFolder[entry]) continue;
    const std::vector<int>& of = fields.at(entry);
    const std::vector<Reading> readings = AskAsTheModule(tool, config, setup.entries[entry], of);
    for (std::size_t i = 0; i < of.size(); ++i)
      read[{entry, of[i]}] = Deliver(config.fields[of[i]], readings[i]);
  }
  run.seconds = SecondsSince(start);
  if (walk.settleSeconds > 0) run.openedSettled = static_cast<long>(opened.Distinct());
  run.openedAtUnload = static_cast<long>(opened.Distinct());
  run.values.reserve(walk.asks.size());
  for (const Ask& ask : walk.asks)
    run.values.push_back(setup.isFolder[ask.entry] ? Deliver(config.fields[ask.field], Reading{})
                                                   : read.at({ask.entry, ask.field}));
  return run;
}

}  // namespace bench
