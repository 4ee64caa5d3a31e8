#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tool/locate.h"
#include "tool/tool_bridge.h"

namespace {

using Paths = std::vector<std::u16string>;

#ifdef _WIN32
const std::u16string kPlugin = u"C:\\Plugins\\Veltamo\\";
const Paths kPath = {u"C:\\Windows\\", u"D:\\Tools\\"};

TEST(ToolLocation, NeverTheCurrentDirectory) {
  EXPECT_EQ(tool::ToolCandidates(u"exiftool.exe", kPlugin, kPath),
            (Paths{u"C:\\Plugins\\Veltamo\\exiftool.exe", u"C:\\Windows\\exiftool.exe",
                   u"D:\\Tools\\exiftool.exe"}));
  EXPECT_EQ(tool::ToolCandidates(u"tools\\exiftool.exe", kPlugin, {}),
            (Paths{u"C:\\Plugins\\Veltamo\\tools\\exiftool.exe"}));
  // Only ".exe" files: a name without an extension gets one, a name with
  // another is no program.
  EXPECT_EQ(tool::ToolCandidates(u"exiftool", kPlugin, {u"D:\\Tools\\"}),
            (Paths{u"C:\\Plugins\\Veltamo\\exiftool.exe", u"D:\\Tools\\exiftool.exe"}));
  EXPECT_EQ(tool::ToolCandidates(u"D:\\Tools\\ExifTool.EXE", kPlugin, {}),
            (Paths{u"D:\\Tools\\ExifTool.EXE", u"C:\\Plugins\\Veltamo\\ExifTool.EXE"}));
  EXPECT_EQ(tool::ToolCandidates(u"exiftool.pl", kPlugin, kPath), Paths{});
  EXPECT_EQ(tool::ToolCandidates(u"D:\\Tools.d\\exiftool", kPlugin, {}),
            (Paths{u"D:\\Tools.d\\exiftool.exe", u"C:\\Plugins\\Veltamo\\exiftool.exe"}));
}

TEST(ToolLocation, AbsolutePathThenItsFileNameBesideThePlugin) {
  EXPECT_EQ(tool::ToolCandidates(u"E:\\Exif Tool\\exiftool.exe", kPlugin, kPath),
            (Paths{u"E:\\Exif Tool\\exiftool.exe", u"C:\\Plugins\\Veltamo\\exiftool.exe"}));
  EXPECT_EQ(tool::ToolCandidates(u"\"E:\\Exif Tool\\exiftool.exe\" ", kPlugin, kPath),
            (Paths{u"E:\\Exif Tool\\exiftool.exe", u"C:\\Plugins\\Veltamo\\exiftool.exe"}));
  EXPECT_EQ(tool::ToolCandidates(u"E:/tools/exiftool.exe", kPlugin, kPath),
            (Paths{u"E:/tools/exiftool.exe", u"C:\\Plugins\\Veltamo\\exiftool.exe"}));
  EXPECT_EQ(tool::ToolCandidates(u"\\\\server\\share\\exiftool.exe", kPlugin, kPath),
            (Paths{u"\\\\server\\share\\exiftool.exe", u"C:\\Plugins\\Veltamo\\exiftool.exe"}));
}
#else
const std::u16string kPlugin = u"/opt/veltamo/";
const Paths kPath = {u"/usr/local/bin/", u"/usr/bin/"};

TEST(ToolLocation, NeverTheCurrentDirectory) {
  EXPECT_EQ(tool::ToolCandidates(u"exiftool", kPlugin, kPath),
            (Paths{u"/opt/veltamo/exiftool", u"/usr/local/bin/exiftool", u"/usr/bin/exiftool"}));
  EXPECT_EQ(tool::ToolCandidates(u"tools/exiftool", kPlugin, {u"/usr/bin/"}),
            (Paths{u"/opt/veltamo/tools/exiftool", u"/usr/bin/tools/exiftool"}));
  EXPECT_EQ(tool::ToolCandidates(u"./exiftool", u"", {}), Paths{});
}

TEST(ToolLocation, AbsolutePathThenItsFileNameBesideThePlugin) {
  EXPECT_EQ(tool::ToolCandidates(u"/usr/bin/exiftool", kPlugin, kPath),
            (Paths{u"/usr/bin/exiftool", u"/opt/veltamo/exiftool"}));
  EXPECT_EQ(tool::ToolCandidates(u"\"/my tools/exiftool\"", kPlugin, kPath),
            (Paths{u"/my tools/exiftool", u"/opt/veltamo/exiftool"}));
}
#endif

TEST(ToolLocation, AnEmptyLineNamesNothing) {
  EXPECT_EQ(tool::ToolCandidates(u"", kPlugin, kPath), Paths{});
  EXPECT_EQ(tool::ToolCandidates(u"\"\"", kPlugin, kPath), Paths{});
  EXPECT_EQ(tool::ToolCandidates(u"  ", kPlugin, kPath), Paths{});
}

// A program that dies before its first answer is set aside, and the next
// start runs the next one found: here the tool line's full path, then the
// same name beside the plugin. The dying one is a launcher whose program
// is missing (under Wine) or a script that exits (natively).
TEST(ToolLocation, AProgramThatDiesAtOnceGivesWayToTheNext) {
  namespace fs = std::filesystem;
  auto envPath = [](const char* name) {
    std::string path = std::getenv(name) ? std::getenv(name) : "";
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
    return fs::u8path(path);
  };
  const fs::path dir = fs::temp_directory_path() / ("veltamo-locate-" + std::to_string(
                                                          platform::MonotonicMilliseconds()));
  const fs::path plugin = dir / "plugin", broken = dir / "broken";
  fs::create_directories(plugin);
  fs::create_directories(broken);
  const fs::path working = envPath("VELTAMO_TOOL");
  ASSERT_TRUE(fs::exists(working)) << working;
  const fs::path name = working.filename();
  fs::copy_file(working, plugin / name);
#ifdef _WIN32
  fs::copy_file(envPath("VELTAMO_LAUNCHER"), broken / name);
#else
  std::ofstream(broken / name) << "#!/bin/sh\nexit 2\n";
  fs::permissions(broken / name, fs::perms::owner_all, fs::perm_options::add);
#endif
  const std::u16string line = platform::Utf8ToUtf16((broken / name).u8string());
  const std::u16string pluginDirectory =
      platform::Utf8ToUtf16(plugin.u8string()) + platform::kPathSeparator;

  tool::ToolProcess process;
  ASSERT_EQ(tool::StartTool(process, line, pluginDirectory), 0);
  const tool::Exchange dead = tool::ToolRequest(process, "-ver\n");
  EXPECT_EQ(dead.status, tool::ExchangeStatus::kToolGone);
  EXPECT_TRUE(tool::SetAsideIfDeadOnArrival(process, dead));
  for (int start = 0; start < 2; ++start) {
    ASSERT_EQ(tool::StartTool(process, line, pluginDirectory), 0);
    const tool::Exchange answer = tool::ToolRequest(process, "-ver\n");
    EXPECT_EQ(answer.status, tool::ExchangeStatus::kReply) << "start " << start;
    EXPECT_FALSE(tool::SetAsideIfDeadOnArrival(process, answer));
  }
  tool::StopTool(process);
  fs::remove_all(dir);
}

}  // namespace
