// Reading ahead of a host that walks a folder, through the real module and
// the real tool: what is read ahead, that it is right, when it stops.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "e2e/photos.h"
#include "e2e/processes.h"

namespace e2e {
namespace {

// The photos a walk folder is made of, in turn: real ones, among them files
// the tool warns about or cannot read.
const char* const kSources[] = {"canon.jpg",     "nikon café ünï.jpg", "odd values.jpg",
                                "truncated.jpg", "unknown makernotes.jpg", "random bytes.jpg",
                                "scan 01.tif",   "long model.jpg"};
constexpr int kWalkFiles = 60;
constexpr int kModel = 1;

class ModuleReadAhead : public ::testing::Test {
 protected:
  void SetUp() override {
    UseRealTool();
    plugin_.WriteConfig(ConfigFor(plugin_.InstallTool()));
    walk_ = plugin_.dir() / "walk";
    fs::create_directories(walk_ / "folder.jpg");
    for (int i = 0; i < kWalkFiles; ++i) {
      const std::string source = kSources[i % std::size(kSources)];
      char name[32];
      std::snprintf(name, sizeof name, "p_%02d%s", i,
                    source.substr(source.rfind('.')).c_str());
      fs::copy_file(EnvPath("VELTAMO_PHOTOS") / fs::u8path(source), walk_ / name);
      files_.push_back(name);
      sources_.push_back(source);
    }
    std::ofstream(walk_ / "notes.txt") << "not a photo";
    Load();
  }
  // A host reads the fields first, and that loads the configuration.
  void Load() {
    char name[256], units[256];
    ASSERT_EQ(plugin_.Load().GetSupportedField(0, name, units, sizeof name), 11);
  }
  host::Module& M() { return plugin_.module(); }
  std::u16string File(const fs::path& folder, int i) const {
    return Utf16((folder / files_[i]).u8string());
  }
  // Asks the host's quick pass for the model of file `i`: known already?
  bool Known(const fs::path& folder, int i) {
    Value v;
    std::u16string name = File(folder, i);
    v.result = M().GetValueW(reinterpret_cast<HostWideChar*>(name.data()), kModel, 0, v.bytes,
                             sizeof v.bytes, 1);
    return v.result != 0;
  }
  // Walks files first..last-1 of `folder` as a host filling a column.
  void WalkModels(const fs::path& folder, int first, int last) {
    for (int i = first; i < last; ++i)
      EXPECT_EQ(Mismatch(sources_[i], kModel, Get(M(), File(folder, i), kModel)), "") << i;
  }
  int KnownAmong(const fs::path& folder, int first, int last) {
    int known = 0;
    for (int i = first; i < last; ++i) known += Known(folder, i);
    return known;
  }

  PluginDir plugin_;
  fs::path walk_;
  std::vector<std::string> files_, sources_;
};

// A host filling a column in name order has the files after the screen
// read ahead, every field right; no further than it followed.
TEST_F(ModuleReadAhead, AWalkIsReadAheadAndEveryValueIsRight) {
  WalkModels(walk_, 0, 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_GE(KnownAmong(walk_, 20, 36), 14) << "nothing much was read ahead";
  for (int i = 20; i < 36; ++i) {
    if (!Known(walk_, i)) continue;
    for (int field = 0; field < static_cast<int>(std::size(kColumns)); ++field) {
      Value v;
      std::u16string name = File(walk_, i);
      v.result = M().GetValueW(reinterpret_cast<HostWideChar*>(name.data()), field, 0, v.bytes,
                               sizeof v.bytes, 1);
      if (v.result == 0) continue;  // a form the batch does not hold
      EXPECT_EQ(Mismatch(sources_[i], field, v), "") << files_[i];
    }
  }
  EXPECT_EQ(KnownAmong(walk_, 45, kWalkFiles), 0) << "read further than the host followed";
}

// The host's own listing order is followed as well.
TEST_F(ModuleReadAhead, TheListingOrderIsFollowedToo) {
  std::vector<int> listed;
  for (const auto& entry : fs::directory_iterator(walk_)) {
    const auto at = std::find(files_.begin(), files_.end(), entry.path().filename().u8string());
    if (at != files_.end()) listed.push_back(static_cast<int>(at - files_.begin()));
  }
  ASSERT_EQ(listed.size(), files_.size());
  for (int n = 0; n < 12; ++n)
    EXPECT_EQ(Mismatch(sources_[listed[n]], kModel, Get(M(), File(walk_, listed[n]), kModel)),
              "");
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  int known = 0;
  for (int n = 12; n < 20; ++n) known += Known(walk_, listed[n]);
  EXPECT_GE(known, 6);
}

// Reading ahead stops when the host turns to another folder, when it says
// it reads the folder anew, and when it stops a read of one of the folder's
// files; otherwise (a stop for a file elsewhere too) it goes on.
TEST_F(ModuleReadAhead, StopsOnAnotherFolderANoticeAndTheHostsStop) {
  std::u16string folder = Utf16(walk_.u8string());
  HostWideChar* const folderName = reinterpret_cast<HostWideChar*>(folder.data());
  std::u16string elsewhere = PhotoPath("empty.jpg");
  const std::vector<std::pair<const char*, std::function<void()>>> stops = {
      {"nothing", [] {}},
      {"a stop for another folder's file",
       [&] { M().StopGetValueW(reinterpret_cast<HostWideChar*>(elsewhere.data())); }},
      {"another folder", [&] { Get(M(), elsewhere, kModel); }},
      {"a notice", [&] { M().SendStateInformationW(1, folderName); }},
      {"the host's stop", [&] {
         // For a file of the folder, as hosts stop as the user leaves it.
         std::u16string last = File(walk_, 9);
         M().StopGetValueW(reinterpret_cast<HostWideChar*>(last.data()));
       }},
  };
  for (const auto& [what, stop] : stops) {
    SCOPED_TRACE(what);
    M().Unload();
    Load();
    // The screen's rows known first (the quick pass reads just those), so
    // that the walk over them queues files 10 to 18 at once, faster than the
    // tools read them, and the stop finds them still queued.
    for (int n = 0; n < 500 && KnownAmong(walk_, 0, 10) < 10; ++n)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    WalkModels(walk_, 0, 10);
    stop();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    // Up to file 18 was to be read, in order, when the walk reached file 9.
    const int known = KnownAmong(walk_, 15, 19);
    const std::string name = what;
    EXPECT_EQ(known, name == "nothing" || name.find("folder's") != std::string::npos ? 4 : 0);
  }
}

// On a network drive nothing is read ahead, nor through links into one;
// the values are those the tool gives there.
TEST_F(ModuleReadAhead, NothingIsReadAheadOnANetworkDrive) {
#ifdef _WIN32
  // \\veltamo\c: a share of the Wine prefix's drive C (scripts/wine-prefix.sh).
  const std::string local = walk_.u8string();
  if (local.size() < 3 || (local[0] != 'C' && local[0] != 'c') || local[1] != ':')
    GTEST_SKIP() << "the test folder is not on drive C: " << local;
  const fs::path remote = fs::u8path("\\\\veltamo\\c\\" + local.substr(3));
  ASSERT_TRUE(fs::exists(remote / files_[0])) << "no share \\\\veltamo\\c";
#else
  // A FUSE mount of the folder (bindfs), as sshfs and the like are.
  const fs::path remote = plugin_.dir() / "mounted";
  fs::create_directories(remote);
  const std::string mount = "bindfs '" + walk_.string() + "' '" + remote.string() + "'";
  if (std::system(mount.c_str()) != 0) GTEST_SKIP() << "no FUSE mount here: " << mount;
  struct Unmount {
    fs::path at;
    ~Unmount() { (void)std::system(("fusermount -u '" + at.string() + "'").c_str()); }
  } unmount{remote};
#endif
  // Neither a walk nor the host's quick pass (which queues what it asks)
  // reads a file there.
  auto nothingReadIn = [&](const fs::path& folder) {
    WalkModels(folder, 0, 20);
    for (int pass = 0; pass < 2; ++pass) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      EXPECT_EQ(KnownAmong(folder, 20, 30), 0) << folder << ", pass " << pass;
    }
  };
  nothingReadIn(remote);
  // A local folder of links to the files there: the files are read where
  // they really are.
  const fs::path links = plugin_.dir() / "links";
  fs::create_directories(links);
  std::error_code made;
  for (const std::string& file : files_) fs::create_symlink(remote / file, links / file, made);
  if (made) {
    // Wine makes no links to a share.
    std::printf("links into the share: %s; not tested\n", made.message().c_str());
    return;
  }
  nothingReadIn(links);
}

// A search walks a tree of folders depth-first, asking each folder's names
// (sub-folders and a text file among them) in listing order before going
// into its sub-folders. Each next folder's first photo is read before the
// host gets there.
TEST_F(ModuleReadAhead, ASearchIsReadAheadIntoTheNextFolder) {
  for (const char* folder : {"a/deep", "b"}) fs::create_directories(walk_ / "tree" / folder);
  int copied = 0;
  for (const char* folder : {"", "a", "a/deep", "b"}) {
    for (int i = 0; i < 8; ++i, ++copied)
      fs::copy_file(walk_ / files_[copied], walk_ / "tree" / folder / files_[copied]);
    std::ofstream(walk_ / "tree" / folder / "notes.txt") << "no photo";
  }
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
  walk(walk_ / "tree");
  ASSERT_EQ(folders.size(), 4u);
  for (std::size_t f = 0; f < folders.size(); ++f) {
    bool first = true;
    for (const fs::path& path : folders[f]) {
      const auto at = std::find(files_.begin(), files_.end(), path.filename().u8string());
      if (at == files_.end()) {
        const int result = Get(M(), Utf16(path.u8string()), kModel).result;
        if (fs::is_directory(path)) {
          EXPECT_EQ(result, -1) << path;
        }
        continue;
      }
      const int i = static_cast<int>(at - files_.begin());
      if (first && f > 0) {
        // The quick pass queues what it does not know: asked once.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_TRUE(Known(path.parent_path(), i)) << "not read ahead: " << path;
      }
      first = false;
      EXPECT_EQ(Mismatch(sources_[i], kModel, Get(M(), File(path.parent_path(), i), kModel)),
                "");
    }
  }
}

// The host's first value brings the standby; a screen of photos after it,
// every field, finds it ready. The tools started beside the host's run at a
// lower priority than it, so their start and reads take only the time the
// host and its tool leave.
TEST_F(ModuleReadAhead, ExtraToolsRunBelowTheHostsPriority) {
  if (ToolsAtMost() < 2) GTEST_SKIP() << "one core: no extra tool";
  EXPECT_EQ(Mismatch(sources_[0], kModel, Get(M(), File(walk_, 0), kModel)), "");
  const std::vector<long> idle = ToolsOnceRunning();
  ASSERT_EQ(idle.size(), 2u);
  for (int i = 0; i < 40; ++i)
    for (int field = 0; field < static_cast<int>(std::size(kColumns)); ++field)
      Get(M(), File(walk_, i), field);
  const std::vector<long> tools = ToolsOnceRunning(static_cast<std::size_t>(ToolsAtMost()));
  ASSERT_EQ(static_cast<int>(tools.size()), ToolsAtMost());
  for (long pid : idle)
    EXPECT_NE(std::find(tools.begin(), tools.end(), pid), tools.end()) << "a tool was replaced";
  int lower = 0;
  for (long pid : tools) {
#ifdef _WIN32
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                 static_cast<DWORD>(pid));
    ASSERT_NE(process, nullptr);
    const DWORD priority = GetPriorityClass(process);
    CloseHandle(process);
    EXPECT_TRUE(priority == NORMAL_PRIORITY_CLASS || priority == BELOW_NORMAL_PRIORITY_CLASS);
    lower += priority == BELOW_NORMAL_PRIORITY_CLASS;
#else
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(pid));
    ASSERT_EQ(errno, 0);
    lower += nice > getpriority(PRIO_PROCESS, 0);
#endif
  }
  EXPECT_EQ(lower, ToolsAtMost() - 1) << "the host's tool alone runs at its priority";
}

// Eight host threads walk the folder from places of their own, each asking
// its own fields and forms, some with the quick pass first, while another
// thread sends notices and stops. Every value given is the tool's; a stop
// may end a call with none, but most calls get theirs.
TEST_F(ModuleReadAhead, EightHostThreadsWithNoticesAndStops) {
  constexpr int kThreads = 8, kSteps = 24;
  const int fields = static_cast<int>(std::size(kColumns));
  std::atomic<bool> done{false};
  std::atomic<int> answered{0}, ended{0};
  std::vector<std::string> wrong(kThreads);
  std::vector<std::thread> hosts;
  for (int t = 0; t < kThreads; ++t) {
    hosts.emplace_back([&, t] {
      for (int step = 0; step < kSteps; ++step) {
        const int i = (t * 7 + step) % kWalkFiles;
        const int field = (t * 3 + step) % fields;
        // ImageHeight: "#|Default"; FocalLength: "Default|#".
        const int unit = field == 9 || field == 18 ? step % 2 : 0;
        std::u16string name = File(walk_, i);
        if (t % 2 == 0) {
          Value quick;
          quick.result = M().GetValueW(reinterpret_cast<HostWideChar*>(name.data()), field, unit,
                                       quick.bytes, sizeof quick.bytes, 1);
          if (quick.result != 0 && wrong[t].empty())
            wrong[t] = Mismatch(sources_[i], field, quick, unit);
        }
        const Value v = Get(M(), name, field, unit);
        const std::string mismatch = Mismatch(sources_[i], field, v, unit);
        if (mismatch.empty()) ++answered;
        else if (v.result == -3) ++ended;
        else if (wrong[t].empty()) wrong[t] = mismatch;
      }
    });
  }
  std::u16string folder = Utf16(walk_.u8string());
  std::thread notices([&] {
    for (int n = 0; !done; ++n) {
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
      if (n % 3 == 2) M().StopGetValueW(reinterpret_cast<HostWideChar*>(folder.data()));
      else M().SendStateInformationW(n % 3 + 1, reinterpret_cast<HostWideChar*>(folder.data()));
    }
  });
  for (std::thread& host : hosts) host.join();
  done = true;
  notices.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], "") << "thread " << t;
  EXPECT_GT(answered, kThreads * kSteps / 2) << ended << " ended by a stop";
  std::printf("%d host threads: %d values right, %d ended by a stop\n", kThreads,
              answered.load(), ended.load());
}

}  // namespace
}  // namespace e2e
