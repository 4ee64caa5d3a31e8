// Which files of some folders are opened while it watches (inotify IN_OPEN
// on each folder, not below it; opens of folders are not counted), by
// whatever process opens them: the module's tools, read-ahead included.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace bench {

class OpenCounter {
 public:
  // Starts watching `dir`: opens from now on are counted.
  explicit OpenCounter(const std::string& dir) : OpenCounter(std::vector<std::string>{dir}) {}
  explicit OpenCounter(const std::vector<std::string>& dirs);
  ~OpenCounter();  // stops watching
  OpenCounter(const OpenCounter&) = delete;
  OpenCounter& operator=(const OpenCounter&) = delete;

  // The number of distinct files opened so far, after reading every event
  // that the kernel has queued up to this call.
  std::size_t Distinct();

 private:
  // Reads the events queued so far, waiting up to `timeoutMs` for the first.
  void Drain(int timeoutMs);
  void Watch();

  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;  // guards names_ and the reading of fd_
  std::set<std::string> names_;  // "watch:name", a name in each folder apart
  bool overflowed_ = false;
  std::thread thread_;
};

}  // namespace bench
