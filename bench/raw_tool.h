// This program's own stay-open Exiftool: started with the arguments the
// module starts it with, its errors sent to /dev/null as the module does,
// fed one request at a time and read up to the request's numbered marker.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench_config.h"
#include "values.h"

namespace bench {

class StayOpenTool {
 public:
  explicit StayOpenTool(const std::string& toolPath);
  ~StayOpenTool();  // asks the tool to stop and waits for it
  StayOpenTool(const StayOpenTool&) = delete;
  StayOpenTool& operator=(const StayOpenTool&) = delete;

  pid_t Pid() const { return pid_; }

  // Sends `commands` (argument lines) and a numbered "-executeN" line, and
  // returns what came before "{readyN}", converted to UTF-16 as the module
  // converts it.
  std::u16string Ask(std::string_view commands);

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::uint64_t nextId_;
  std::string request_, received_;  // kept to spare allocations
};

// What the batched module sends `tool` for `fields` (indices of
// `config`'s fields) of `photo`, one field after the other: the file's batch
// request at the first field a batch answers, and, once per tag form, a
// one-tag request for a field the batch leaves open or cannot answer. The
// readings are those of `fields`, in turn, as the module reads the replies
// (an empty text is no value).
std::vector<Reading> AskAsTheModule(StayOpenTool& tool, const BenchConfig& config,
                                    const Photo& photo, const std::vector<int>& fields);

}  // namespace bench
