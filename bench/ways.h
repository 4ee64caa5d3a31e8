// The four ways of filling a file manager's view, behind one interface:
// the module as it was before batching, the module with batching, and two
// raw loops over this program's own stay-open tool that send exactly what
// each module sends.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "bench_config.h"
#include "values.h"

namespace bench {

class Way {
 public:
  explicit Way(std::string name) : name_(std::move(name)) {}
  virtual ~Way() = default;
  Way(const Way&) = delete;
  Way& operator=(const Way&) = delete;

  const std::string& Name() const { return name_; }

  // A fresh tool (a fresh module copy and its tool for a module), asked for
  // every field of `warmUp` so that it is past its first replies before
  // anything is timed.
  virtual void Start(int round, const std::vector<Photo>& warmUp) = 0;
  // Every field of `photo`, one after the other, as a host fills the
  // file's row. With `keep`, what the way gave goes to `keep` from
  // position `at` on.
  virtual void FillFile(const Photo& photo, Kept* keep, std::size_t at) = 0;
  // Ends the tool (unloads the module, which ends its tool).
  virtual void Stop() = 0;
  // The tool's process; -1 when none runs.
  virtual pid_t ToolPid() const = 0;

 private:
  std::string name_;
};

// Raw loops: per value the one-tag request the module sends without
// batching; per file the batch request the batched module sends (and the
// one-tag requests it sends for fields a batch cannot answer).
std::unique_ptr<Way> MakeRawOneTagWay(const BenchConfig& config, const std::string& toolPath);
std::unique_ptr<Way> MakeRawAllTagsWay(const BenchConfig& config, const std::string& toolPath);

// The module at `modulePath`, through its exports; `batching` says which
// build it is, and is checked when it starts. Each round loads a fresh copy
// from a plugin folder under `workDir`.
std::unique_ptr<Way> MakeModuleWay(const std::string& name, const BenchConfig& config,
                                   const std::string& modulePath, const std::string& workDir,
                                   bool batching);

}  // namespace bench
