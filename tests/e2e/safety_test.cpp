// What a Config.txt and the host's surroundings can make the module do:
// which program it starts, and that a field can only read.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/photos.h"
#include "e2e/processes.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace e2e;

#ifdef _WIN32
const char kBareToolName[] = "exiftool.exe";
const char kPathListSeparator = ';';
#else
const char kBareToolName[] = "exiftool";
const char kPathListSeparator = ':';
#endif

// Sets an environment variable of this process for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    Set(value.c_str());
  }
  ~ScopedEnvironment() { Set(had_ ? old_.c_str() : nullptr); }

 private:
  void Set(const char* value) {
#ifdef _WIN32
    // Both copies: the C runtime's, and the one the module reads.
    _putenv_s(name_, value != nullptr ? value : "");
    SetEnvironmentVariableW(host::Wide(name_).c_str(),
                            value != nullptr ? host::Wide(value).c_str() : nullptr);
#else
    if (value != nullptr) setenv(name_, value, 1);
    else unsetenv(name_);
#endif
  }
  const char* name_;
  bool had_ = false;
  std::string old_;
};

// Makes `directory` the current one for the life of the object.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const fs::path& directory) : old_(fs::current_path()) {
    fs::current_path(directory);
  }
  ~ScopedCurrentDirectory() { fs::current_path(old_); }

 private:
  fs::path old_;
};

void PlaceProgram(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
}

std::string OneField(const std::string& toolLine) {
  return "1 F\t0\n" + toolLine + "\tthe tool\nx\n1\tModel\t0\tft_stringw\t0\t1\tModel\n";
}

// A host's current directory holds a program named as the tool: it never
// runs, whatever the tool line says and whatever PATH holds.
TEST(ToolLocation, AProgramInTheHostsCurrentDirectoryNeverRuns) {
  UseRealTool();
  const fs::path canary = EnvPath("VELTAMO_CANARY");
  const fs::path realTool = EnvPath("VELTAMO_TOOL");
  const std::u16string canon = PhotoPath("canon.jpg");
  const std::u16string model = u"Canon EOS 5D Mark IV";

  PluginDir plugin;
  const fs::path planted = plugin.dir() / "downloads";
  PlaceProgram(canary, planted / kBareToolName);
  PlaceProgram(canary, planted / "tools" / kBareToolName);
  const ScopedCurrentDirectory inDownloads(planted);

  struct Case {
    const char* what;
    std::string toolLine;
    fs::path realToolAt;  // empty: none beside the module
    std::string path;     // PATH while the case runs
  };
  const fs::path elsewhere = plugin.dir() / "elsewhere";
  PlaceTool(realTool, elsewhere / kBareToolName);
  const std::string sep(1, kPathListSeparator);
  const Case cases[] = {
      {"bare name, tool beside the module", kBareToolName, plugin.dir() / kBareToolName,
       host::NativePath(elsewhere.u8string())},
      {"quoted bare name", std::string("\"") + kBareToolName + "\"",
       plugin.dir() / kBareToolName, ""},
      {"relative path", std::string("tools") + static_cast<char>(fs::path::preferred_separator) +
                            kBareToolName,
       plugin.dir() / "tools" / kBareToolName, ""},
      // Empty and relative PATH entries would mean the current directory.
      {"bare name found on PATH", kBareToolName, fs::path(),
       sep + "." + sep + "tools" + sep + elsewhere.u8string() + sep},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScopedEnvironment path("PATH", c.path);
    PluginDir module;
    if (!c.realToolAt.empty()) {
      const fs::path relative = fs::relative(c.realToolAt, plugin.dir());
      PlaceTool(realTool, module.dir() / relative);
    }
    module.WriteConfig(OneField(c.toolLine));
    host::Module& m = module.Load();
    char name[64], units[64];
    ASSERT_EQ(m.GetSupportedField(0, name, units, sizeof name), 11);
    EXPECT_EQ(Get(m, canon, 0).Text(), model);
    module.module().Unload();
    EXPECT_FALSE(fs::exists(planted / "planted-ran")) << "the planted program ran";
  }
}

// Writes a file that looks like the tool by name but cannot be started: a
// Perl script as Perl users keep it, with CR LF line ends, so that its
// interpreter line names no program.
void PlaceUnstartable(const fs::path& to) {
  fs::create_directories(to.parent_path());
  std::ofstream(to, std::ios::binary) << "#!/usr/bin/perl\r\nprint \"not the tool\\n\";\r\n";
  fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
}

// A candidate that cannot start gives way to the next one that can: beside
// the module or earlier on PATH; on Windows a file "exiftool" without an
// extension is no candidate at all.
TEST(ToolLocation, ACandidateThatCannotStartGivesWayToTheNext) {
  UseRealTool();
  const fs::path realTool = EnvPath("VELTAMO_TOOL");
  const std::u16string canon = PhotoPath("canon.jpg");
  struct Case {
    const char* what;
    std::string toolLine;
    std::vector<std::string> unstartable;  // relative to the module's folder
    std::vector<std::string> real;         // the same
    std::vector<std::string> path;         // PATH folders, the same
  };
  const std::string bare = kBareToolName;
  std::vector<Case> cases = {
      {"beside the module, the real tool on PATH", bare, {bare}, {"later/" + bare}, {"later"}},
      {"earlier on PATH", bare, {"earlier/" + bare}, {"later/" + bare}, {"earlier", "later"}},
  };
#ifdef _WIN32
  cases.push_back({"a script without extension beside the module", "exiftool", {"exiftool"},
                   {bare}, {}});
  cases.push_back({"a script without extension earlier on PATH", "exiftool",
                   {"earlier/exiftool"}, {"later/" + bare}, {"earlier", "later"}});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PluginDir module;
    for (const std::string& p : c.unstartable) PlaceUnstartable(module.dir() / fs::u8path(p));
    for (const std::string& p : c.real) PlaceTool(realTool, module.dir() / fs::u8path(p));
    std::string path;
    for (const std::string& p : c.path)
      path += host::NativePath((module.dir() / fs::u8path(p)).u8string()) + kPathListSeparator;
    const ScopedEnvironment scopedPath("PATH", path);
    module.WriteConfig(OneField(c.toolLine));
    host::Module& m = module.Load();
    char name[64], units[64];
    ASSERT_EQ(m.GetSupportedField(0, name, units, sizeof name), 11);
    EXPECT_EQ(Get(m, canon, 0).Text(), u"Canon EOS 5D Mark IV");
    module.module().Unload();
  }
}

// The bundled tool line names the tool by a bare name: without a tool
// beside the module or on PATH there is nothing to start.
TEST(ToolLocation, NothingFoundIsReportedAndNothingRuns) {
  PluginDir plugin;
  const fs::path planted = plugin.dir() / "downloads";
  PlaceProgram(EnvPath("VELTAMO_CANARY"), planted / kBareToolName);
  const ScopedCurrentDirectory inDownloads(planted);
  const ScopedEnvironment path("PATH", std::string(1, kPathListSeparator));
  plugin.WriteConfig(OneField(kBareToolName));
  host::Module& m = plugin.Load();
  char name[64], units[64];
  ASSERT_EQ(m.GetSupportedField(0, name, units, sizeof name), 11);
  EXPECT_EQ(Get(m, PhotoPath("canon.jpg"), 0).Text(), u"Exiftool.exe is not found!");
  EXPECT_FALSE(fs::exists(planted / "planted-ran"));
}

// Everything about a folder's files that a tool request could change.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    const auto written = entry.last_write_time().time_since_epoch().count();
    files[fs::relative(entry.path(), folder).u8string()] =
        std::to_string(written) + "|" + content.str();
  }
  return files;
}

// Tags copied from a shared Config.txt that would make the tool write,
// copy, rename, delete, restore, or end the request early.
TEST(TagRule, AFieldCanOnlyRead) {
  UseRealTool();
  PluginDir plugin;
  const fs::path photos = plugin.dir() / "photos";
  fs::create_directories(photos);
  for (const char* photo : {"canon.jpg", "nikon café ünï.jpg"}) {
    fs::copy_file(fs::u8path(host::NativePath(Env("VELTAMO_PHOTOS") + "/" + photo)),
                  photos / fs::u8path(photo));
    // Backups as the tool leaves them when it writes.
    std::ofstream(photos / fs::u8path(std::string(photo) + "_original"), std::ios::binary)
        << "an earlier version";
  }
  const std::vector<std::string> hostile = {
      "w",       "o",           "delete_original!", "restore_original", "Model>FileName",
      "execute", "tagsFromFile", "-Model",          "overwrite_original", "W!",
      // options of newer releases and option families: a print-format file
      // named by the next request line, names appended to a file, ...
      "p-",      "printformat-", "efile10",         "file1",            "listgeo",
      "plot",    "diff",         "eh",              "purge3"};
  struct Readable {
    const char* tag;
    const char* type;
    std::string expectedTag;  // the tag whose one-shot value it must equal
  };
  const std::vector<Readable> readable = {
      {"Model", "ft_stringw", "Model"},
      {"EXIF:Make", "ft_stringw", "Make"},
      {"XMP:CreateDate", "ft_datetime", "XMP:CreateDate"},
      {"Composite:GPSPosition", "ft_stringw", "GPSPosition"},
      {"IFD0:Artist", "ft_stringw", "Artist"},
  };
  std::string config = std::to_string(hostile.size() + readable.size()) + " F\t0\n" +
                       ToolPath() + "\nx\n";
  for (const std::string& tag : hostile)
    config += "1\t" + tag + "\t0\tft_stringw\t0\t1\tHostile " + tag + "\n";
  for (const Readable& r : readable)
    config += std::string("1\t") + r.tag + "\t0\t" + r.type + "\t0\t1\t" + r.tag + "\n";
  plugin.WriteConfig(config);
  host::Module& m = plugin.Load();
  char name[256], units[256];
  ASSERT_EQ(m.GetSupportedField(0, name, units, sizeof name), 11);

  const auto before = Snapshot(photos);
  for (const char* photo : {"canon.jpg", "nikon café ünï.jpg"}) {
    const std::u16string file = Utf16(host::NativePath((photos / fs::u8path(photo)).u8string()));
    for (std::size_t i = 0; i < hostile.size(); ++i)
      EXPECT_EQ(Get(m, file, static_cast<int>(i)).result, -1) << hostile[i];
    // Nothing was sent: no tool runs until a readable field asks for one.
    if (photo == std::string("canon.jpg")) {
      EXPECT_TRUE(ChildProcesses().empty());
    }
    for (std::size_t i = 0; i < readable.size(); ++i) {
      const Value v = Get(m, file, static_cast<int>(hostile.size() + i));
      const std::string expected =
          ExpectedValues().at({photo, readable[i].expectedTag, "text"});
      if (std::string(readable[i].type) == "ft_datetime")
        EXPECT_EQ(v.As<std::uint64_t>(), FileTimeOf(expected)) << readable[i].tag;
      else
        EXPECT_EQ(v.Text(), Utf16(expected)) << photo << " " << readable[i].tag;
    }
  }
  m.Unload();
  EXPECT_EQ(Snapshot(photos), before) << "a file was created, renamed, changed or deleted";
}

}  // namespace
