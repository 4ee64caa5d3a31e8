// Starting a child on POSIX: forked by a launcher thread of its own,
// because a child's parent-death signal fires when the thread that forked it
// ends, and a host thread may end long before the host does.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// Everything a forked child needs, made before the fork: after it, in a
// process with threads, the child may only make async-signal-safe calls.
struct SpawnPlan {
  std::string path;
  std::vector<std::string> words;
  std::vector<char*> argv;
  int input = -1;       // becomes the child's standard input
  int output = -1;      // becomes its standard output
  int nullDevice = -1;  // becomes its standard error
  int execReport = -1;  // close-on-exec: written only when exec fails
  bool background = false;  // runs at a lower priority
};

// A thread that forks children on request and lives until it is destroyed:
// the children's parent-death signal is tied to it. A child also ends when
// it finds its parent gone before the signal was set.
class Launcher {
 public:
  Launcher() = default;
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;
  ~Launcher();

  // Forks and runs the plan; the child's pid, or -1 when no program was
  // started (the exec failed, or no thread could be made).
  pid_t Spawn(SpawnPlan& plan);

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_, finished_;
  std::thread thread_;
  SpawnPlan* plan_ = nullptr;
  bool done_ = true;
  bool stopping_ = false;
  pid_t result_ = -1;
};

}  // namespace platform
