#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "plugin/read_ahead.h"
#include "plugin/tool_pool.h"
#include "plugin/walk.h"

namespace {

namespace fs = std::filesystem;
using plugin::Follow;
using plugin::FolderOrder;
using plugin::MakeFolderOrder;
using plugin::Walk;

std::vector<std::u16string> Numbered(int count) {
  std::vector<std::u16string> names;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "img_%04d.jpg", i);
    names.push_back(std::u16string(name, name + std::char_traits<char>::length(name)));
  }
  return names;
}

std::vector<std::u16string> NamesOf(const FolderOrder& order,
                                    const std::vector<std::uint32_t>& at) {
  std::vector<std::u16string> names;
  for (std::uint32_t i : at) names.push_back(order.names[i]);
  return names;
}

TEST(Walk, OnlyDetectedFilesInNameOrderIgnoringCaseAndInListingOrder) {
  const FolderOrder order = MakeFolderOrder(
      {u"b.JPG", u"notes.txt", u"a.jpg", u"Thumbs.db", u"C.nef", u"d.Jpeg", u"e.jpg.txt"});
  ASSERT_EQ(order.names, (std::vector<std::u16string>{u"b.JPG", u"a.jpg", u"C.nef", u"d.Jpeg"}));
  EXPECT_EQ(NamesOf(order, order.byName),
            (std::vector<std::u16string>{u"a.jpg", u"b.JPG", u"C.nef", u"d.Jpeg"}));
  EXPECT_EQ(order.Find(u"notes.txt"), -1);
  // A system that lists in name order: its walks in name order are listing walks.
  EXPECT_FALSE(order.Listing(plugin::WalkOrder::kName));
  EXPECT_TRUE(MakeFolderOrder(Numbered(3)).Listing(plugin::WalkOrder::kName));

  // In name order: a, b, then C and d are read.
  Walk byName;
  EXPECT_TRUE(Follow(byName, order, 1, 100).next.empty());
  EXPECT_EQ(NamesOf(order, Follow(byName, order, 0, 100).next),
            (std::vector<std::u16string>{u"C.nef"}));
  EXPECT_EQ(NamesOf(order, Follow(byName, order, 2, 100).next),
            (std::vector<std::u16string>{u"d.Jpeg"}));
  // In listing order: b, a, then C and d.
  Walk listed;
  Follow(listed, order, 0, 100);
  Follow(listed, order, 1, 100);
  EXPECT_EQ(listed.order, plugin::WalkOrder::kListing);
  EXPECT_EQ(NamesOf(order, Follow(listed, order, 2, 100).next),
            (std::vector<std::u16string>{u"d.Jpeg"}));
  EXPECT_TRUE(plugin::DetectedFile(u"/p/x.CR3"));
  EXPECT_FALSE(plugin::DetectedFile(u"/p.jpg/readme"));
  EXPECT_FALSE(plugin::DetectedFile(u"/p/jpg"));
}

// A screen of 40 files asked in order opens at most twice as many; a long
// walk reads ahead no further than the window; a jump ends the walk, and
// following again starts small.
TEST(Walk, TheWindowGrowsWithTheWalkAndIsBounded) {
  const FolderOrder order = MakeFolderOrder(Numbered(1000));
  Walk walk;
  std::set<std::uint32_t> opened;
  for (std::uint32_t i = 0; i < 40; ++i) {
    opened.insert(i);
    for (std::uint32_t next : Follow(walk, order, i, 1024).next) {
      EXPECT_GT(next, i);
      EXPECT_TRUE(opened.insert(next).second) << "read twice: " << next;
    }
  }
  EXPECT_LE(opened.size(), 80u);
  EXPECT_GE(opened.size(), 70u) << "hardly any reading ahead";

  Walk capped;
  for (std::uint32_t i = 0; i < 300; ++i)
    for (std::uint32_t next : Follow(capped, order, i, 16).next) EXPECT_LE(next, i + 16);

  const plugin::WalkStep jump = Follow(walk, order, 500, 1024);
  EXPECT_TRUE(jump.restart);
  EXPECT_TRUE(jump.next.empty());
  EXPECT_EQ(Follow(walk, order, 501, 1024).next, (std::vector<std::uint32_t>{502}));
  // A file or two the host leaves out does not end the walk.
  EXPECT_FALSE(Follow(walk, order, 504, 1024).restart);
}

// Host turns go before read-ahead turns; a read-ahead turn gives up when it
// is called off, every wait when the pool closes.
TEST(ToolPool, HostTurnsGoFirstAndWaitsEnd) {
  plugin::ToolPool pool;
  pool.SetLimit(1);
  const int held = pool.Acquire(plugin::Turn::kHost, 1000);
  ASSERT_EQ(held, 0);
  std::atomic<std::uint64_t> epoch{0};
  std::mutex orderMutex;
  std::vector<char> order;
  std::thread ahead([&] {
    const int slot = pool.Acquire(plugin::Turn::kAhead, 10000, &epoch, 0);
    {
      std::lock_guard<std::mutex> lock(orderMutex);
      order.push_back('a');
    }
    if (slot >= 0) pool.Release(slot);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::thread host([&] {
    const int slot = pool.Acquire(plugin::Turn::kHost, 10000);
    {
      std::lock_guard<std::mutex> lock(orderMutex);
      order.push_back('h');
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (slot >= 0) pool.Release(slot);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  pool.Release(held);
  host.join();
  ahead.join();
  EXPECT_EQ(order, (std::vector<char>{'h', 'a'}));

  const int again = pool.Acquire(plugin::Turn::kHost, 1000);
  ASSERT_EQ(again, 0);
  std::atomic<int> calledOff{0}, closed{0};
  std::thread offCall([&] { calledOff = pool.Acquire(plugin::Turn::kAhead, 10000, &epoch, 0); });
  std::thread closing([&] { closed = pool.Acquire(plugin::Turn::kHost, 10000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto start = std::chrono::steady_clock::now();
  ++epoch;
  pool.Wake();
  offCall.join();
  // Shutting down waits for the turn still held, but not the waiting ones.
  std::thread shutdown([&] { pool.Shutdown(false); });
  closing.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(calledOff, -1);
  EXPECT_EQ(closed, -1);
  pool.Release(again);
  shutdown.join();
}

// A host turn waits behind reading ahead for a moment at most: then it
// takes the reserve slot above the limit, and with none free, the slot of a
// read-ahead exchange that is given up (its tool cancelled and ended), at a
// cost counted. A host's stop ends its wait for a tool.
TEST(ToolPool, AHostTurnNeverWaitsLongBehindReadingAhead) {
  plugin::ToolPool pool;
  pool.SetLimit(1);
  std::atomic<std::uint64_t> epoch{0};
  const int ahead = pool.Acquire(plugin::Turn::kAhead, 1000, &epoch, 0);
  ASSERT_EQ(ahead, 0);
  const auto start = std::chrono::steady_clock::now();
  const int reserve = pool.Acquire(plugin::Turn::kHost, 10000);
  EXPECT_EQ(reserve, 1);
  // The read-ahead holder lets its slot go once its exchange is cut off.
  std::thread holder([&] {
    for (int i = 0; i < 10000 && !pool.Tool(ahead).child.Cancelled(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    pool.Release(ahead);
  });
  const int givenUp = pool.Acquire(plugin::Turn::kHost, 10000);
  holder.join();
  EXPECT_EQ(givenUp, 0);
  EXPECT_EQ(pool.AheadGivenUp(), 1u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

  // Every slot serves the host now: a third waits, until it is stopped.
  std::atomic<bool> stop{false};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    pool.Wake();
  });
  const auto waited = std::chrono::steady_clock::now();
  EXPECT_EQ(pool.Acquire(plugin::Turn::kHost, 10000, nullptr, 0, &stop), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - waited, std::chrono::seconds(5));
  stopper.join();
  EXPECT_EQ(pool.AheadGivenUp(), 1u);
  pool.Release(reserve);
  pool.Release(givenUp);
  pool.Shutdown(false);
}

// Reads what it is given slowly, and keeps the names.
class SlowReader : public plugin::AheadReader {
 public:
  void ReadFile(tool::ToolProcess&, const std::u16string& name) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard<std::mutex> lock(mutex_);
    read_.push_back(name);
  }
  void StartTool(tool::ToolProcess&) override { ++starts; }
  std::vector<std::u16string> Read() {
    std::lock_guard<std::mutex> lock(mutex_);
    return read_;
  }
  bool WasRead(const std::u16string& name) {
    const std::vector<std::u16string> now = Read();
    return std::find(now.begin(), now.end(), name) != now.end();
  }
  std::atomic<int> starts{0};

 private:
  std::mutex mutex_;
  std::vector<std::u16string> read_;
};

// The workers read the files ahead of a walk in a real folder, each once;
// a file being read is waited for; a stop leaves the rest unread; the end
// joins the workers.
TEST(ReadAhead, WorkersReadAheadOfAWalkUntilStopped) {
  const fs::path dir = fs::temp_directory_path() / ("veltamo-ahead-" + std::to_string(
                                                         platform::MonotonicMilliseconds()));
  fs::create_directories(dir / "sub.jpg");
  std::vector<std::u16string> files;
  for (const std::u16string& name : Numbered(60)) {
    std::FILE* f = std::fopen((dir / fs::path(name)).string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  const std::u16string folder = platform::Utf8ToUtf16((dir.string() + "/"));
  SlowReader reader;
  plugin::ToolPool pool;
  pool.SetLimit(2);
  {
    plugin::ReadAhead ahead(reader, pool, 1024);
    ahead.SetWorkers(2);
    for (const std::u16string& name : Numbered(10)) {
      ahead.Asked(folder + name);
      ahead.WaitUntilRead(folder + name);
    }
    // Ten files followed: at least eight ahead of them are read, however
    // busy the machine.
    const auto began = std::chrono::steady_clock::now();
    while (reader.Read().size() < 8 &&
           std::chrono::steady_clock::now() - began < std::chrono::seconds(10))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<std::u16string> read = reader.Read();
    const std::set<std::u16string> distinct(read.begin(), read.end());
    EXPECT_EQ(distinct.size(), read.size()) << "a file was read twice";
    EXPECT_GE(read.size(), 8u);
    EXPECT_LE(read.size(), 19u);  // up to img_0019: as many ahead as followed
    for (const std::u16string& name : read) EXPECT_GT(name, folder + u"img_0001.jpg");
    EXPECT_EQ(distinct.count(folder + u"sub.jpg"), 0u);

    // The workers, idle now, take up the walk as it goes on.
    const std::vector<std::u16string> names = Numbered(60);
    for (int i = 10; i < 14; ++i) ahead.Asked(folder + names[i]);
    const auto start = std::chrono::steady_clock::now();
    auto readPast = [&](const std::u16string& name) {
      const std::vector<std::u16string> now = reader.Read();
      return std::any_of(now.begin(), now.end(), [&](const auto& n) { return n > folder + name; });
    };
    while (!readPast(names[20]) &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(readPast(names[20])) << "the idle workers did not take up the walk";

    // A long walk, then a stop at once: what was queued is not read.
    for (int i = 14; i < 40; ++i) ahead.Asked(folder + names[i]);
    ahead.Stop();
    const std::size_t atStop = reader.Read().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(reader.Read().size(), atStop + 2) << "reading went on after the stop";
  }
  fs::remove_all(dir);
}

// A search walks a tree depth-first, each folder's names (files that are no
// photo and sub-folders among them) in listing order before its sub-folders.
// The first photo of every folder after the first is read before the host
// gets there, on the extra tool started early in the first folder, once.
TEST(ReadAhead, ASearchIsReadAheadFolderAfterFolder) {
  const fs::path root = fs::temp_directory_path() / ("veltamo-tree-" + std::to_string(
                                                         platform::MonotonicMilliseconds()));
  for (const char* folder : {"a/deep", "b"}) fs::create_directories(root / folder);
  for (const char* folder : {"", "a", "a/deep", "b"}) {
    for (const std::u16string& name : Numbered(6)) std::ofstream(root / folder / fs::path(name));
    std::ofstream(root / folder / "notes.txt") << "no photo";
  }
  // The names the host asks for, folder by folder.
  std::vector<std::vector<fs::path>> folders;
  std::function<void(const fs::path&)> walk = [&](const fs::path& folder) {
    folders.emplace_back();
    std::vector<fs::path> below;
    for (const auto& entry : fs::directory_iterator(folder)) {
      folders.back().push_back(entry.path());
      if (entry.is_directory()) below.push_back(entry.path());
    }
    for (const fs::path& sub : below) walk(sub);
  };
  walk(root);
  ASSERT_EQ(folders.size(), 4u);
  SlowReader reader;
  plugin::ToolPool pool;
  pool.SetLimit(2);
  {
    plugin::ReadAhead ahead(reader, pool, 1024);
    ahead.SetWorkers(2);
    // From the third photo on, each is read before the host asks for it.
    int photos = 0;
    for (std::size_t f = 0; f < folders.size(); ++f) {
      for (const fs::path& path : folders[f]) {
        const std::u16string name = platform::Utf8ToUtf16(path.u8string());
        if (plugin::DetectedFile(name) && ++photos > 2) {
          for (int i = 0; i < 1000 && !reader.WasRead(name); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          ASSERT_TRUE(reader.WasRead(name)) << "not read ahead: " << path;
          if (f > 0) {
            EXPECT_EQ(reader.starts, 1) << "no extra tool before " << path;
          }
        }
        ahead.Asked(name);
      }
    }
    EXPECT_EQ(reader.starts, 1);
    const std::vector<std::u16string> read = reader.Read();
    EXPECT_EQ(std::set<std::u16string>(read.begin(), read.end()).size(), read.size());
  }
  fs::remove_all(root);
}

// A multi-rename: the 20 rows of its preview asked again at each key, then
// the whole list in name order. The extra tool runs from the preview on,
// and the pass is read ahead past what the preview read.
TEST(ReadAhead, ARenamePassIsReadAheadWithToolsStartedByThePreview) {
  const fs::path dir = fs::temp_directory_path() / ("veltamo-rename-" + std::to_string(
                                                         platform::MonotonicMilliseconds()));
  fs::create_directories(dir);
  const std::vector<std::u16string> names = Numbered(100);
  for (const std::u16string& name : names) std::ofstream(dir / fs::path(name));
  const std::u16string folder = platform::Utf8ToUtf16(dir.string() + "/");
  SlowReader reader;
  plugin::ToolPool pool;
  pool.SetLimit(2);
  {
    plugin::ReadAhead ahead(reader, pool, 1024);
    ahead.SetWorkers(2);
    for (int key = 0; key < 3; ++key)
      for (int i = 0; i < 20; ++i) ahead.Asked(folder + names[i]);
    for (int i = 0; i < 100 && reader.starts == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(reader.starts, 1) << "the preview started no extra tool";
    for (int i = 0; i < 100; ++i) {
      if (i >= 45) {
        for (int n = 0; n < 1000 && !reader.WasRead(folder + names[i]); ++n)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_TRUE(reader.WasRead(folder + names[i])) << "not read ahead: " << i;
      }
      ahead.Asked(folder + names[i]);
    }
    EXPECT_EQ(reader.starts, 1);
  }
  fs::remove_all(dir);
}

// The host's first tool brings the standby: once, only where more than one
// tool may run, and a stop right after does not call its start off.
TEST(ReadAhead, TheStandbyStartsOnceBesideTheHostsFirstTool) {
  for (int limit : {1, 2}) {
    SlowReader reader;
    plugin::ToolPool pool;
    pool.SetLimit(limit);
    plugin::ReadAhead ahead(reader, pool, 1024);
    ahead.SetWorkers(limit);
    ahead.StartStandby();
    ahead.Stop();
    ahead.StartStandby();
    const int expected = limit - 1;
    for (int i = 0; i < 500 && reader.starts < expected; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(reader.starts, expected) << "at most " << limit << " tool(s)";
  }
}

// A user scrolling through a long folder: 20,000 delay-if-slow calls. The
// last screen's files are read soon after, and only a few screens' worth
// of the files scrolled past; a walk in another folder drops the rest.
TEST(ReadAhead, DelayIfSlowCallsKeepTheLatestScreensOnly) {
  const fs::path dir = fs::temp_directory_path() / ("veltamo-urgent-" + std::to_string(
                                                          platform::MonotonicMilliseconds()));
  fs::create_directories(dir / "other");
  const std::u16string folder = platform::Utf8ToUtf16(dir.string() + "/");
  const std::vector<std::u16string> names = Numbered(20000);
  SlowReader reader;
  plugin::ToolPool pool;
  pool.SetLimit(2);
  {
    plugin::ReadAhead ahead(reader, pool, 1024);
    ahead.SetWorkers(2);
    for (const std::u16string& name : names) ahead.Urgent(folder + name);
    const std::size_t atLastCall = reader.Read().size();
    const auto start = std::chrono::steady_clock::now();
    auto lastScreenRead = [&] {
      const std::vector<std::u16string> read = reader.Read();
      const std::set<std::u16string> distinct(read.begin(), read.end());
      for (std::size_t i = names.size() - 40; i < names.size(); ++i)
        if (distinct.count(folder + names[i]) == 0) return false;
      return true;
    };
    while (!lastScreenRead() && std::chrono::steady_clock::now() - start < std::chrono::seconds(15))
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(lastScreenRead());
    // Then the reading ends: soon with the bound, not within the wait without.
    std::size_t before = 0, now = reader.Read().size();
    do {
      before = now;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      now = reader.Read().size();
    } while (now != before && std::chrono::steady_clock::now() - start < std::chrono::seconds(15));
    const std::vector<std::u16string> read = reader.Read();
    EXPECT_LE(read.size() - atLastCall, plugin::kMaxUrgent + 2) << "read long after the calls";

    // Another folder's walk keeps none of the files named before.
    for (std::size_t i = 0; i < 100; ++i) ahead.Urgent(folder + names[i]);
    ahead.Asked(platform::Utf8ToUtf16((dir / "other" / "a.jpg").string()));
    const std::size_t atWalk = reader.Read().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(reader.Read().size(), atWalk + 2) << "stale reads went on in another walk";
  }
  fs::remove_all(dir);
}

}  // namespace
