#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tool/locate.h"

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

}  // namespace
