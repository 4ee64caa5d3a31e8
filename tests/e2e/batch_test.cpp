// A file's fields from one request, and what the module keeps of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "e2e/photos.h"
#include "e2e/processes.h"

namespace {

using namespace e2e;

class ModuleBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    UseRealTool();
    plugin_.WriteConfig(ConfigFor(plugin_.InstallTool()));
    char name[256], units[256];
    ASSERT_EQ(plugin_.Load().GetSupportedField(0, name, units, sizeof name), 11);
    // The host's first tool brings the standby, which is started once only:
    // ended here, it leaves the host's tool alone to watch.
    ASSERT_EQ(Get(M(), PhotoPath("canon.jpg"), 1).Text(), u"Canon EOS 5D Mark IV");
    ASSERT_EQ(ToolsOnceRunning().size(), IdleTools());
    ASSERT_EQ(static_cast<std::size_t>(KillChildProcesses()), IdleTools());
    FolderReadAnew();
  }
  host::Module& M() { return plugin_.module(); }
  // The host reads the folder anew: nothing is kept, and no walk through it
  // goes on, so that the tools run only for the requests of the test.
  void FolderReadAnew() {
    std::u16string folder = PhotoPath("");
    M().SendStateInformationW(1, reinterpret_cast<HostWideChar*>(folder.data()));
  }
  static bool AlwaysAlone(int field) {
    return std::string(kColumns[field].tag).find(':') != std::string::npos;
  }
  PluginDir plugin_;
};

// The first value of a file asks for all of them: with the tool gone
// afterwards, every other field still has its value and no tool is
// started, except for a tag that is always asked alone.
TEST_F(ModuleBatch, OneRequestAnswersAllOfAFilesFields) {
  for (const char* photo : {"canon.jpg", "odd values.jpg", "unknown makernotes.jpg",
                            "random bytes.jpg", "nikon café ünï.jpg"}) {
    SCOPED_TRACE(photo);
    FolderReadAnew();
    ASSERT_EQ(Mismatch(photo, 0, Get(M(), PhotoPath(photo), 0)), "");
    ASSERT_EQ(KillChildProcesses(), 1);
    for (int field = 1; field < static_cast<int>(std::size(kColumns)); ++field) {
      if (AlwaysAlone(field)) continue;
      EXPECT_EQ(Mismatch(photo, field, Get(M(), PhotoPath(photo), field)), "")
          << kColumns[field].tag;
    }
    EXPECT_TRUE(ChildProcesses().empty()) << "a field needed another request";
    const int alone = 17;  // XMP:CreateDate
    ASSERT_TRUE(AlwaysAlone(alone));
    EXPECT_EQ(Mismatch(photo, alone, Get(M(), PhotoPath(photo), alone)), "");
    EXPECT_EQ(ChildProcesses().size(), 1u);
  }
}

// A column shown in another unit: the first file that asks for it has it
// read alone; every later file has it in its batch.
TEST_F(ModuleBatch, AFormAskedForJoinsLaterBatches) {
  const int focal = 18;  // Default|#: unit 1 is the plain number
  EXPECT_EQ(Mismatch("canon.jpg", 0, Get(M(), PhotoPath("canon.jpg"), 0)), "");
  const Value first = Get(M(), PhotoPath("canon.jpg"), focal, 1);
  EXPECT_EQ(first.result, 3);
  EXPECT_DOUBLE_EQ(first.As<double>(), 50.0);
  const std::u16string nikon = PhotoPath("nikon café ünï.jpg");
  FolderReadAnew();
  EXPECT_EQ(Mismatch("nikon café ünï.jpg", 0, Get(M(), nikon, 0)), "");
  ASSERT_EQ(KillChildProcesses(), 1);
  const Value later = Get(M(), nikon, focal, 1);
  EXPECT_EQ(later.result, 3);
  EXPECT_DOUBLE_EQ(later.As<double>(), 105.0);
  EXPECT_TRUE(ChildProcesses().empty()) << "the form was not in the batch";
}

// The host's quick pass (delay-if-slow) gets what is already known, and 0
// for anything that needs the tool; the file is read meanwhile, so that a
// later quick pass finds it.
TEST_F(ModuleBatch, DelayIfSlowIsAnsweredFromWhatIsKnownAndStartsTheRead) {
  std::u16string canon = PhotoPath("canon.jpg");
  auto delayed = [&](int field) {
    Value v;
    std::memset(v.bytes, 0x5A, sizeof v.bytes);
    v.result = M().GetValueW(reinterpret_cast<HostWideChar*>(canon.data()), field, 0, v.bytes,
                             sizeof v.bytes, 1);
    return v;
  };
  const Value first = delayed(1);
  EXPECT_EQ(first.result, 0);
  EXPECT_EQ(first.bytes[0], 0x5A);
  Value later = first;
  for (int i = 0; i < 1000 && later.result == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    later = delayed(1);
  }
  EXPECT_EQ(later.Text(), u"Canon EOS 5D Mark IV") << "the quick pass did not start the read";
  ASSERT_EQ(KillChildProcesses(), 1);
  EXPECT_EQ(Get(M(), canon, 1).Text(), u"Canon EOS 5D Mark IV");
  EXPECT_TRUE(ChildProcesses().empty());
  EXPECT_EQ(delayed(1).Text(), u"Canon EOS 5D Mark IV");
  EXPECT_EQ(delayed(7).As<std::int32_t>(), 400);  // read with the first field
  EXPECT_EQ(delayed(2).Text(), u"EF24-70mm f/2.8L II USM");
  EXPECT_EQ(delayed(17).result, 0);  // XMP:CreateDate: asked alone, not yet
  EXPECT_EQ(delayed(5).Text(), u"48.8584 2.2945");  // GPSPosition as a number
}

// A file that changed is read again, also when only its time differs.
TEST_F(ModuleBatch, AChangedFileIsReadAgain) {
  const fs::path photos = EnvPath("VELTAMO_PHOTOS");
  const fs::path a = photos / "same size a.jpg", b = photos / "same size b.jpg";
  ASSERT_EQ(fs::file_size(a), fs::file_size(b));
  const fs::path work = plugin_.dir() / "changing.jpg";
  fs::copy_file(a, work);
  const std::u16string name = Utf16(host::NativePath(work.u8string()));
  EXPECT_EQ(Get(M(), name, 1).Text(), u"Alpha");
  EXPECT_EQ(Get(M(), name, 7).As<std::int32_t>(), 100);
  // The same size; only the modification time tells.
  const auto time = fs::last_write_time(work);
  fs::copy_file(b, work, fs::copy_options::overwrite_existing);
  fs::last_write_time(work, time + std::chrono::seconds(2));
  EXPECT_EQ(Get(M(), name, 1).Text(), u"Bravo");
  EXPECT_EQ(Get(M(), name, 7).As<std::int32_t>(), 200);
  // Another size.
  fs::copy_file(photos / "canon.jpg", work, fs::copy_options::overwrite_existing);
  EXPECT_EQ(Get(M(), name, 1).Text(), u"Canon EOS 5D Mark IV");
  fs::remove(work);
  EXPECT_EQ(Get(M(), name, 1).result, -3);
}

// Runs one-shot exiftool with `lines` as its arguments, one a line; true
// when it succeeded.
bool RunTool(const fs::path& folder, const std::vector<std::string>& lines) {
  const fs::path arguments = folder / "arguments.txt";
  {
    std::ofstream out(arguments, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << "\n";
  }
  // Under Wine the bridge takes the Windows names on its standard input.
  const std::string command = "\"\"" + ToolPath() + "\" -q -@ - < \"" +
                              host::NativePath(arguments.u8string()) + "\"\"";
#ifdef _WIN32
  const int status = std::system(command.c_str());
#else
  const int status = std::system(command.substr(1, command.size() - 2).c_str());
#endif
  fs::remove(arguments);
  return status == 0;
}

// Size and modification time are not enough: edits that keep both, and
// files swapped by name, show their new values at once.
TEST_F(ModuleBatch, AChangeThatKeepsSizeAndTimeIsSeen) {
  const fs::path photos = EnvPath("VELTAMO_PHOTOS");
  const fs::path one = plugin_.dir() / "one.jpg", two = plugin_.dir() / "two.jpg";
  fs::copy_file(photos / "same size a.jpg", one);
  fs::copy_file(photos / "same size b.jpg", two);
  // A whole second, which every tool keeps exactly.
  const fs::file_time_type time = std::chrono::floor<std::chrono::seconds>(fs::last_write_time(one));
  fs::last_write_time(one, time);
  fs::last_write_time(two, time);
  ASSERT_EQ(fs::file_size(one), fs::file_size(two));
  const auto name = [](const fs::path& file) {
    return Utf16(host::NativePath(file.u8string()));
  };
  const auto model = [&](const fs::path& file) { return Get(M(), name(file), 1).Text(); };
  ASSERT_EQ(model(one), u"Alpha");
  ASSERT_EQ(model(two), u"Bravo");

  // Swapped by renaming.
  const fs::path swap = plugin_.dir() / "swap.jpg";
  fs::rename(one, swap);
  fs::rename(two, one);
  fs::rename(swap, two);
  EXPECT_EQ(model(one), u"Bravo");
  EXPECT_EQ(model(two), u"Alpha");
  EXPECT_EQ(Get(M(), name(one), 7).As<std::int32_t>(), 200);

  // The tool's edit that keeps the time (a new file in the old one's place).
  ASSERT_TRUE(RunTool(plugin_.dir(), {"-P", "-overwrite_original", "-Model=Delta",
                                      host::NativePath(two.u8string())}));
  ASSERT_EQ(fs::file_size(two), fs::file_size(one));
  ASSERT_EQ(fs::last_write_time(two), time);
  EXPECT_EQ(model(two), u"Delta");

  // An edit in place, its time then set back: only the change time tells.
  ASSERT_TRUE(RunTool(plugin_.dir(), {"-overwrite_original_in_place", "-Model=Hotel",
                                      host::NativePath(two.u8string())}));
  fs::last_write_time(two, time);
  ASSERT_EQ(fs::file_size(two), fs::file_size(one));
  EXPECT_EQ(model(two), u"Hotel");
  EXPECT_EQ(model(one), u"Bravo");
}

// A refresh while a request waits for the tool: that request's answer goes
// to its caller but is not kept, so the next call asks again.
TEST(ModuleCacheRefresh, ANoticeDuringARequestVoidsWhatItRead) {
  PluginDir plugin;
  plugin.WriteConfig("1 F\t0\n" + StandInToolPath("slow_first") +
                     "\nx\n1\tEXIF:Model\t0\tft_stringw\t0\t1\tValue\n");
  host::Module& m = plugin.Load();
  char name[64], units[64];
  ASSERT_EQ(m.GetSupportedField(0, name, units, sizeof name), 11);
  const std::u16string canon = PhotoPath("canon.jpg");
  std::u16string folder = PhotoPath("");
  Value first;
  std::thread request([&] { first = Get(m, canon, 0); });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  m.SendStateInformationW(2, reinterpret_cast<HostWideChar*>(folder.data()));
  request.join();
  EXPECT_EQ(first.Text(), u"reading 1");
  EXPECT_EQ(Get(m, canon, 0).Text(), u"reading 2");
  EXPECT_EQ(Get(m, canon, 0).Text(), u"reading 2") << "a later answer is kept";
  UseRealTool();
}

// A folder read anew, or the user's refresh, forgets what was read.
TEST_F(ModuleBatch, TheHostsRefreshForgetsWhatWasRead) {
  ASSERT_NE(M().SendStateInformationW, nullptr);
  ASSERT_NE(M().SendStateInformation, nullptr);
  const std::u16string canon = PhotoPath("canon.jpg");
  std::u16string folder = PhotoPath("");
  std::string narrowFolder = host::NativePath(Env("VELTAMO_PHOTOS"));
  const std::vector<std::function<void()>> notices = {
      [&] { M().SendStateInformationW(1, reinterpret_cast<HostWideChar*>(folder.data())); },
      [&] { M().SendStateInformationW(2, reinterpret_cast<HostWideChar*>(folder.data())); },
      [&] { M().SendStateInformation(2, narrowFolder.data()); },
  };
  EXPECT_EQ(Get(M(), canon, 1).Text(), u"Canon EOS 5D Mark IV");
  ASSERT_EQ(KillChildProcesses(), 1);
  M().SendStateInformationW(4, reinterpret_cast<HostWideChar*>(folder.data()));  // a hint
  EXPECT_EQ(Get(M(), canon, 7).As<std::int32_t>(), 400);
  EXPECT_TRUE(ChildProcesses().empty()) << "a hint notice is no refresh";
  for (const auto& notice : notices) {
    notice();
    EXPECT_EQ(Get(M(), canon, 7).As<std::int32_t>(), 400);
    EXPECT_EQ(ChildProcesses().size(), 1u) << "the value was not read anew";
    ASSERT_EQ(KillChildProcesses(), 1);
  }
}


// A column whose tag the tool refuses as an option ("-_": "Unknown option",
// and nothing at all on its standard output for the whole request) spoils
// no other column, for any file.
struct RefusedTagRun {
  std::vector<std::string> failures;
  int files = 0;
};

RefusedTagRun ReadWithRefusedTag(const std::string& toolLine, const std::string& word) {
  RefusedTagRun run;
  PluginDir plugin;
  // The refused column last: once every other tag was taken alone, the
  // module knows it without asking it again.
  plugin.WriteConfig("4 F\t0\n" + toolLine + "\nx\n"
                     "1\tModel\t0\tft_stringw\t0\t1\tModel\n"
                     "1\tISO\t0\tft_numeric_32\t0\t1\tISO\n"
                     "1\tFNumber\t0\tft_numeric_floating\t0\t1\tAperture\t#\n"
                     "1\t" + word + "\t0\tft_stringw\t0\t1\tRefused\n");
  host::Module& m = plugin.Load();
  char n[64], u[64];
  if (m.GetSupportedField(0, n, u, 64) != 11) run.failures.push_back("the fields");
  for (const char* photo :
       {"canon.jpg", "nikon café ünï.jpg", "scan 01.tif", "empty.jpg", "odd values.jpg"}) {
    ++run.files;
    // The host reads the folder anew: no walk through it goes on, so that
    // the tool is asked only what the test asks.
    std::u16string folder = PhotoPath("");
    m.SendStateInformationW(1, reinterpret_cast<HostWideChar*>(folder.data()));
    const std::u16string file = PhotoPath(photo);
    auto expected = [&](const char* tag, const char* mode) {
      return ExpectedValues().at({photo, tag, mode});
    };
    auto fail = [&](const std::string& what) { run.failures.push_back(photo + (": " + what)); };
    const Value model = Get(m, file, 0);
    if (expected("Model", "text").empty() ? model.result != -3
                                          : model.Text() != Utf16(expected("Model", "text")))
      fail("Model " + std::to_string(model.result));
    const Value iso = Get(m, file, 1);
    if (expected("ISO", "text").empty()
            ? iso.result != -3
            : iso.result != 1 || iso.As<std::int32_t>() != std::atoi(expected("ISO", "text").c_str()))
      fail("ISO " + std::to_string(iso.result));
    const Value aperture = Get(m, file, 2);
    if (expected("FNumber", "number").empty()
            ? aperture.result != -3
            : aperture.result != 3 ||
                  aperture.As<double>() != std::strtod(expected("FNumber", "number").c_str(), nullptr))
      fail("FNumber " + std::to_string(aperture.result));
    if (Get(m, file, 3).result != -3) fail("the refused column has a value");
  }
  return run;
}

// Each argument line the tool was sent, as a logging stand-in in front of
// the real tool wrote them down.
std::vector<std::string> LoggedLines(const fs::path& log) {
  std::ifstream in(log, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST(ModuleRefusedTag, OtherColumnsKeepTheirValuesAndItIsAskedOnce) {
  ASSERT_FALSE(ExpectedValues().empty()) << "expected.tsv from make_photos.sh";
  // "_" and a lone digit: words that both releases take as unknown options.
  for (const std::string word : {"_", "0"}) {
    SCOPED_TRACE(word);
    UseRealTool();
    const RefusedTagRun real = ReadWithRefusedTag(ToolPath(), word);
    EXPECT_EQ(real.failures, std::vector<std::string>());

    // The same before a stand-in that writes down every line sent to the
    // real tool, in its working directory (natively the tool under test;
    // under Wine the bridge runs it in front of Debian's).
    const fs::path dir =
        fs::temp_directory_path() / ("veltamo-refused-" + std::to_string(ProcessId()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path before = fs::current_path();
    fs::current_path(dir);
#ifndef _WIN32
    setenv("VELTAMO_LOGGED_TOOL", Env("VELTAMO_TOOL").c_str(), 1);
#endif
    const std::string toolLine = StandInToolPath("logs_requests");
    const RefusedTagRun logged = ReadWithRefusedTag(toolLine, word);
    UseRealTool();
    fs::current_path(before);
    EXPECT_EQ(logged.failures, std::vector<std::string>());
    const std::vector<std::string> lines = LoggedLines(dir / "requests.log");
    const auto count = [&lines](const std::string& prefix) {
      return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.compare(0, prefix.size(), prefix) == 0;
      });
    };
    // The first file: its refused batch and each other tag alone; every
    // later file one request, also the one with none of the tags.
    std::string sent;
    for (const std::string& line : lines) sent += line + "\n";
    EXPECT_EQ(count("-execute"), 3 + logged.files) << sent;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "-" + word), 1);
    fs::remove_all(dir);
  }
}

}  // namespace
