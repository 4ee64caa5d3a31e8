// Reading ahead of the host. When the host asks for file after file of one
// folder in the folder's name order or listing order, workers read the
// files it will ask for next into the cache, on tools it leaves idle; a
// file the host asks for while it is being read is waited for rather than
// read twice. A walk in listing order goes on into the next folder of a
// depth-first walk of the tree (as a search does): that folder is listed
// and its first files read before the host gets there. Files that
// delay-if-slow calls name are read first of all, the latest first: they
// are the rows on screen now. The reading stops when the host turns to a
// folder it was not walking towards, at Stop and at Shutdown.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "plugin/tool_pool.h"
#include "plugin/urgent_queue.h"
#include "plugin/walk.h"

namespace plugin {

// What the workers do through the module, on a tool of the pool that they
// hold: read one file into the cache, or start the tool.
class AheadReader {
 public:
  virtual ~AheadReader() = default;
  // Reads `name` into the cache unless it is known already.
  virtual void ReadFile(tool::ToolProcess& tool, const std::u16string& name) = 0;
  virtual void StartTool(tool::ToolProcess& tool) = 0;
};

// The extra tools that do not run yet (those past the standby, or the
// standby when it has ended) are started once the host has followed this
// many files in a row: more than a pair of clicks, less than a screen. They
// start at a lower priority and read ahead on it, so a screen that no walk
// follows loses little to them, and they serve the walks that follow until
// idle.
inline constexpr std::size_t kExtraToolsAfter = 3;
// The most files that delay-if-slow calls keep queued: a few screens. The
// oldest gives way to a newer one; it has scrolled out of sight.
inline constexpr std::size_t kMaxUrgent = 128;

class ReadAhead {
 public:
  // `window`: the most files read ahead of the host. The workers read on
  // the tools of `pool`.
  ReadAhead(AheadReader& reader, ToolPool& pool, std::size_t window)
      : reader_(reader), pool_(pool), window_(window) {}
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  ~ReadAhead() { Shutdown(); }

  // Up to `workers` threads read; 0 reads nothing ahead.
  void SetWorkers(int workers);

  // The host's tool is about to start: the first time, the standby (see
  // kStandbySlot) starts beside it, so that the walks that follow find it
  // ready instead of paying for its start on their way.
  void StartStandby();

  // The host asks for the file `name` (a full path).
  void Asked(const std::u16string& name);
  // A delay-if-slow call for `name`: read it as soon as a tool is free,
  // before the files named by earlier calls.
  void Urgent(const std::u16string& name);
  // Before the host reads `name` itself: waits while a worker reads it
  // (until it is done or called off), and takes it out of what is still to
  // be read. Ends as well once `*stop` is set (and Wake is called).
  void WaitUntilRead(const std::u16string& name, const std::atomic<bool>* stop = nullptr);
  // Waits in WaitUntilRead look at their stop again.
  void Wake();

  // Forgets the walk and everything still to be read, the files of
  // delay-if-slow calls too; reads under way end as soon as they can.
  void Stop();
  // Stop, when the file `name` lies in the folder walked.
  void StopIn(const std::u16string& name);
  // Stop, and no more reading from now on.
  void BeginShutdown();
  // BeginShutdown, then waits for every worker to end; with `exitWaitMs`,
  // also up to that long in all for their threads to end (see
  // platform::Worker).
  void Shutdown(int exitWaitMs = 0);

 private:
  enum class Task { kRead, kList, kListNext, kStartTool };
  struct Job {
    Task task = Task::kRead;
    bool urgent = false;
    std::u16string name;     // the file, or the folder to list
  };
  static void WorkerMain(void* self);
  void Work();
  void ListFolder(const std::u16string& folder, bool next, std::uint64_t epoch);
  // The host turns to `folder`; false when the walk does not go on there.
  bool CarryOn(const std::u16string& folder, const std::u16string& file);
  // Lists the next folder of the tree, and queues its first files as the
  // window reaches past the end of this one. Under the lock.
  void AheadIntoNext();
  // Forgets the next folder: its name, listing and queued reads. Under the lock.
  void ForgetNext();
  // Runs a job that needs no tool of its own; under the lock, which it
  // lets go meanwhile.
  void RunUntooled(std::unique_lock<platform::Mutex>& lock);
  // Takes a tool, then the first file to read; under the lock, as above.
  void RunRead(std::unique_lock<platform::Mutex>& lock);
  void Follow(const std::u16string& name);  // under the lock, with the order known
  void Enqueue(Job job, bool front);
  void StartWorkers();
  bool InFlight(const std::u16string& name) const;
  void DropReads();  // the walk's queued reads, not those a host named
  void DropRead(const std::u16string& name);  // the queued read of one file
  // A new walk of `folder`: of the files delay-if-slow calls named, only
  // those in `folder` stay queued.
  void ResetWalk(std::u16string folder);
  std::size_t Queued() const { return jobs_.size() + urgent_.Size(); }

  AheadReader& reader_;
  ToolPool& pool_;
  const std::size_t window_;
  mutable platform::Mutex mutex_;
  platform::Condition changed_;
  // Under the mutex: the folder walked, its files once listed, the walk,
  // the names asked before the listing was there, the work, the files of
  // delay-if-slow calls, and the names being read.
  std::u16string folder_;
  std::shared_ptr<const FolderOrder> order_;
  bool listing_ = false;     // a listing is queued or under way
  bool noReading_ = false;   // the folder is not read ahead (network, unreadable)
  bool extraTools_ = false;  // the walk has had its extra tools started
  Walk walk_;
  // The folders the walk went down, and the one after them; its listing,
  // and how many of its files are queued.
  std::vector<TreeStep> path_;
  std::u16string nextFolder_;
  std::shared_ptr<const FolderOrder> nextOrder_;
  bool nextListing_ = false;
  bool nextLooked_ = false;  // the next folder was looked for
  std::size_t nextQueued_ = 0;
  std::vector<std::u16string> early_;
  std::deque<Job> jobs_;
  UrgentQueue urgent_{kMaxUrgent};
  std::vector<std::u16string> inFlight_;
  int maxWorkers_ = 0;
  int running_ = 0;
  bool shutdown_ = false;
  bool standbyStarted_ = false;
  // Twice the most that run: a worker that has just left its loop may not
  // have ended yet.
  std::array<platform::Worker, 2 * kMaxTools> workers_;
  // Counts stops; a read started before the last one is called off.
  std::atomic<std::uint64_t> epoch_{0};
};

}  // namespace plugin
