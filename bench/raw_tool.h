// This program's own stay-open Exiftool: started with the arguments the
// module starts it with, its errors sent to /dev/null as the module does,
// fed one request at a time and read up to the request's numbered marker.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>

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

}  // namespace bench
