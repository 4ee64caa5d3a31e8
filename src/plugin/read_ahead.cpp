#include "plugin/read_ahead.h"

#include <algorithm>

namespace plugin {

namespace {

// The most files taken from one folder's listing.
constexpr std::size_t kMaxListed = 100000;
// The most names kept while a folder is being listed.
constexpr std::size_t kMaxEarly = 64;
// The most files read in the next folder before the host gets there: work
// for every tool meanwhile, and little lost when a walk ends with its folder.
constexpr std::size_t kMaxNextAhead = 64;

}  // namespace

void ReadAhead::SetWorkers(int workers) {
  std::lock_guard<platform::Mutex> lock(mutex_);
  maxWorkers_ = std::clamp(workers, 0, kMaxTools);
}

bool ReadAhead::InFlight(const std::u16string& name) const {
  return std::find(inFlight_.begin(), inFlight_.end(), name) != inFlight_.end();
}

void ReadAhead::DropReads() {
  jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(),
                             [](const Job& job) { return job.task == Task::kRead; }),
              jobs_.end());
}

void ReadAhead::DropRead(const std::u16string& name) {
  urgent_.Drop(name);
  jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(),
                             [&](const Job& job) {
                               return job.task == Task::kRead && job.name == name;
                             }),
              jobs_.end());
}

void ReadAhead::ResetWalk(std::u16string folder) {
  folder_ = std::move(folder);
  order_.reset();
  listing_ = false;
  noReading_ = false;
  extraTools_ = false;
  walk_ = Walk{};
  early_.clear();
  // A tool being started serves the next walk as well.
  jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(),
                             [](const Job& job) { return job.task != Task::kStartTool; }),
              jobs_.end());
  ForgetNext();
  if (folder_.empty()) path_.clear();
  // The rows a host shows of another folder are out of sight now.
  urgent_.KeepIn(folder_);
}

void ReadAhead::Enqueue(Job job, bool front) {
  if (InFlight(job.name)) return;
  if (front) jobs_.push_front(std::move(job));
  else jobs_.push_back(std::move(job));
}

void ReadAhead::StartWorkers() {
  // Workers waiting for work look at the jobs again; new ones are started
  // for what the waiting ones cannot take.
  changed_.NotifyAll();
  const int idle = running_ - static_cast<int>(inFlight_.size());
  int wanted = std::min(maxWorkers_ - running_, static_cast<int>(Queued()) - idle);
  for (platform::Worker& worker : workers_) {
    if (wanted <= 0) break;
    if (!worker.Finished()) continue;
    worker.Join();
    if (!worker.Start(&ReadAhead::WorkerMain, this)) break;
    ++running_;
    --wanted;
  }
}

void ReadAhead::StartStandby() {
  std::lock_guard<platform::Mutex> lock(mutex_);
  if (maxWorkers_ == 0 || shutdown_ || pool_.Limit() < 2 || standbyStarted_) return;
  standbyStarted_ = true;
  Enqueue(Job{Task::kStartTool, false, {}}, true);
  StartWorkers();
}

void ReadAhead::Asked(const std::u16string& name) {
  const std::u16string_view folder = FolderOf(name);
  std::lock_guard<platform::Mutex> lock(mutex_);
  if (maxWorkers_ == 0 || shutdown_ || folder.empty()) return;
  std::u16string file(std::u16string_view(name).substr(folder.size()));
  if (file.empty()) return;
  if (folder != folder_) {
    const std::u16string to(folder);
    if (CarryOn(to, file)) return;
    ResetWalk(to);
    early_.push_back(std::move(file));
    return;
  }
  if (noReading_) return;
  if (order_) {
    Follow(file);
    return;
  }
  // The folder is listed once the host asks for a second file of it.
  if (!early_.empty() && early_.back() == file) return;
  if (early_.size() == kMaxEarly) early_.erase(early_.begin());
  early_.push_back(std::move(file));
  if (!listing_ && early_.size() >= 2) {
    listing_ = true;
    Enqueue(Job{Task::kList, false, folder_}, true);
    StartWorkers();
  }
}

void ReadAhead::ForgetNext() {
  nextFolder_.clear();
  nextOrder_.reset();
  nextListing_ = false;
  nextLooked_ = false;
  nextQueued_ = 0;
}

bool ReadAhead::CarryOn(const std::u16string& folder, const std::u16string& file) {
  const bool related = EnterFolder(path_, folder);
  if (!related || !order_ || !order_->Listing(walk_.order) || noReading_) return false;
  // A walk in listing order down the tree goes on here, with its window and
  // its tools; what was read ahead of it here stays queued.
  const Walk carried = walk_;
  const bool extraTools = extraTools_;
  if (folder == nextFolder_ && (nextOrder_ || nextListing_)) {
    std::shared_ptr<const FolderOrder> order = std::move(nextOrder_);
    const bool listing = nextListing_;
    const std::size_t queued = nextQueued_;
    ForgetNext();
    folder_ = folder;
    order_ = std::move(order);
    listing_ = listing;
    early_.clear();
    walk_ = Walk{-1, WalkOrder::kListing, carried.followed, queued};
  } else {
    ResetWalk(folder);
    walk_ = Walk{-1, WalkOrder::kListing, carried.followed, 0};
    listing_ = true;
    Enqueue(Job{Task::kList, false, folder_}, true);
  }
  extraTools_ = extraTools;
  path_.back().order = order_;
  if (order_) Follow(file);
  else early_.push_back(file);
  StartWorkers();
  return true;
}

void ReadAhead::AheadIntoNext() {
  if (!order_ || !order_->Listing(walk_.order) || walk_.followed == 0) return;
  const std::int64_t end =
      walk_.last + 1 + static_cast<std::int64_t>(std::min(walk_.followed, window_));
  const std::int64_t size = static_cast<std::int64_t>(order_->names.size());
  if (end <= size) return;
  if (nextFolder_.empty()) {
    if (nextLooked_ || path_.empty() || path_.back().folder != folder_) return;
    nextLooked_ = true;
    nextFolder_ = NextFolder(path_);
    if (nextFolder_.empty()) return;
    nextListing_ = true;
    Enqueue(Job{Task::kListNext, false, nextFolder_}, true);
    StartWorkers();
    return;
  }
  if (!nextOrder_) return;
  const std::size_t wanted = std::min({static_cast<std::size_t>(end - size),
                                       nextOrder_->names.size(), kMaxNextAhead});
  for (; nextQueued_ < wanted; ++nextQueued_)
    Enqueue(Job{Task::kRead, false, nextFolder_ + nextOrder_->names[nextQueued_]}, false);
}

void ReadAhead::Follow(const std::u16string& file) {
  const std::int64_t at = order_->Find(file);
  if (at < 0) {
    // A sub-folder or another file among the files: the walk goes on.
    AheadIntoNext();
    if (Queued() != 0) StartWorkers();
    return;
  }
  const WalkStep step = plugin::Follow(walk_, *order_, static_cast<std::uint32_t>(at), window_);
  if (step.restart) {
    DropReads();
    nextQueued_ = 0;
  }
  for (std::uint32_t next : step.next)
    Enqueue(Job{Task::kRead, false, folder_ + order_->names[next]}, false);
  AheadIntoNext();
  // A long walk has work for every tool.
  if (!extraTools_ && walk_.followed >= kExtraToolsAfter) {
    extraTools_ = true;
    for (int i = 1; i < pool_.Limit(); ++i) Enqueue(Job{Task::kStartTool, false, {}}, true);
  }
  if (Queued() != 0) StartWorkers();
}

void ReadAhead::ListFolder(const std::u16string& folder, bool next, std::uint64_t epoch) {
  std::shared_ptr<const FolderOrder> order;
  std::vector<std::u16string> names, folders;
  if (!platform::OnNetworkDrive(folder) &&
      platform::ListFolderFiles(folder, kMaxListed, names, &folders)) {
    FolderOrder made = MakeFolderOrder(std::move(names));
    made.folders = std::move(folders);
    order = std::make_shared<const FolderOrder>(std::move(made));
  }
  std::lock_guard<platform::Mutex> lock(mutex_);
  if (epoch != epoch_.load()) return;
  if (next && folder == nextFolder_ && nextListing_) {
    nextListing_ = false;
    nextOrder_ = std::move(order);
    AheadIntoNext();
    if (Queued() != 0) StartWorkers();
    return;
  }
  // The host may have got to the next folder while it was being listed.
  if (folder != folder_ || !listing_) return;
  listing_ = false;
  std::vector<std::u16string> early = std::move(early_);
  early_.clear();
  if (!order) {
    noReading_ = true;
    return;
  }
  order_ = std::move(order);
  if (!path_.empty() && path_.back().folder == folder_) path_.back().order = order_;
  for (const std::u16string& file : early) Follow(file);
}

void ReadAhead::Urgent(const std::u16string& name) {
  std::lock_guard<platform::Mutex> lock(mutex_);
  if (maxWorkers_ == 0 || shutdown_ || InFlight(name)) return;
  // A file the walk queued too is found known by then, at no cost.
  urgent_.Push(name);
  StartWorkers();
}

void ReadAhead::WaitUntilRead(const std::u16string& name, const std::atomic<bool>* stop) {
  std::unique_lock<platform::Mutex> lock(mutex_);
  if (maxWorkers_ == 0) return;
  DropRead(name);
  const std::uint64_t epoch = epoch_.load();
  // A read under way ends within its exchange's time-out, and at once when
  // it is called off.
  changed_.WaitFor(lock, kChannelWaitMs, [&] {
    return shutdown_ || epoch != epoch_.load() || !InFlight(name) ||
           (stop != nullptr && stop->load());
  });
}

void ReadAhead::Wake() {
  { std::lock_guard<platform::Mutex> lock(mutex_); }
  changed_.NotifyAll();
}

void ReadAhead::StopIn(const std::u16string& name) {
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    if (folder_.empty() || FolderOf(name) != folder_) return;
  }
  Stop();
}

void ReadAhead::Stop() {
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    ++epoch_;
    ResetWalk(std::u16string());
  }
  changed_.NotifyAll();
  pool_.Wake();
}

void ReadAhead::BeginShutdown() {
  {
    std::lock_guard<platform::Mutex> lock(mutex_);
    shutdown_ = true;
    ++epoch_;
    ResetWalk(std::u16string());
  }
  changed_.NotifyAll();
  pool_.Wake();
}

void ReadAhead::Shutdown(int exitWaitMs) {
  BeginShutdown();
  // Started only under the mutex, and no more once shut down: the array
  // is not touched by anyone else now.
  const std::uint64_t deadline = platform::DeadlineAfter(exitWaitMs);
  for (platform::Worker& worker : workers_)
    worker.Join(exitWaitMs > 0 ? platform::Remaining(deadline) : 0);
}

void ReadAhead::WorkerMain(void* self) { static_cast<ReadAhead*>(self)->Work(); }

void ReadAhead::RunUntooled(std::unique_lock<platform::Mutex>& lock) {
  Job job = std::move(jobs_.front());
  jobs_.pop_front();
  inFlight_.push_back(job.name);
  const std::uint64_t epoch = epoch_.load();
  lock.unlock();
  if (job.task == Task::kList || job.task == Task::kListNext) {
    ListFolder(job.name, job.task == Task::kListNext, epoch);
  } else {
    const int slot = pool_.AcquireToStart();
    if (slot >= 0) {
      reader_.StartTool(pool_.Tool(slot));
      pool_.Release(slot);
    }
  }
  lock.lock();
  inFlight_.erase(std::find(inFlight_.begin(), inFlight_.end(), job.name));
}

void ReadAhead::RunRead(std::unique_lock<platform::Mutex>& lock) {
  // The tool first: no file waits while it is marked as being read.
  const std::uint64_t epoch = epoch_.load();
  lock.unlock();
  const int slot = pool_.Acquire(Turn::kAhead, kChannelWaitMs, &epoch_, epoch);
  lock.lock();
  if (slot < 0) return;
  const bool urgent = !urgent_.Empty();
  if (shutdown_ || (!urgent && (jobs_.empty() || jobs_.front().task != Task::kRead))) {
    lock.unlock();
    pool_.Release(slot);
    lock.lock();
    return;
  }
  Job job;
  if (urgent) {
    job = Job{Task::kRead, true, urgent_.Pop()};
  } else {
    job = std::move(jobs_.front());
    jobs_.pop_front();
  }
  inFlight_.push_back(job.name);
  lock.unlock();
  // A file a host named itself may lie in any folder, or be a link into
  // one on the network.
  if (!job.urgent || !platform::FileOnNetworkDrive(job.name))
    reader_.ReadFile(pool_.Tool(slot), job.name);
  pool_.Release(slot);
  lock.lock();
  inFlight_.erase(std::find(inFlight_.begin(), inFlight_.end(), job.name));
}

void ReadAhead::Work() {
  std::unique_lock<platform::Mutex> lock(mutex_);
  std::uint64_t idleSince = platform::MonotonicMilliseconds();
  for (;;) {
    if (shutdown_) break;
    if (Queued() != 0) {
      // A listing or a tool's start needs no tool, and comes first.
      if (jobs_.empty() || jobs_.front().task == Task::kRead) RunRead(lock);
      else RunUntooled(lock);
      changed_.NotifyAll();
      idleSince = platform::MonotonicMilliseconds();
      continue;
    }
    const std::uint64_t idle = platform::MonotonicMilliseconds() - idleSince;
    if (idle >= static_cast<std::uint64_t>(kIdleToolMs)) {
      lock.unlock();
      const bool extraRunning = pool_.StopIdleTools(kIdleToolMs);
      lock.lock();
      // The last worker stays while an extra tool runs, to stop it in turn.
      if (shutdown_ || (Queued() == 0 && (!extraRunning || running_ > 1))) break;
      idleSince = platform::MonotonicMilliseconds() - (kIdleToolMs - 1000);
      continue;
    }
    changed_.WaitFor(lock, kIdleToolMs - static_cast<int>(idle));
  }
  --running_;
  changed_.NotifyAll();
}

}  // namespace plugin
