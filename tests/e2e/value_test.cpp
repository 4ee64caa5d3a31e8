// Values through the real module and the real Exiftool, compared with what
// one-shot exiftool printed for the same photo (made by make_photos.sh).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "e2e/photos.h"

namespace {

using namespace e2e;

class ModuleValues : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ExpectedValues().empty()) << "expected.tsv from make_photos.sh";
    plugin_.WriteConfig(ConfigFor(ToolPath()));
    host::Module& m = plugin_.Load();
    ASSERT_EQ(m.GetSupportedField(0, name_, units_, sizeof name_), 11);
  }
  host::Module& M() { return plugin_.module(); }

  PluginDir plugin_;
  char name_[256], units_[256];
};

TEST_F(ModuleValues, EveryValueEqualsOneShotExiftool) {
  int compared = 0;
  for (const char* photo : kPhotos) {
    for (int field = 0; field < static_cast<int>(std::size(kColumns)); ++field) {
      EXPECT_EQ(Mismatch(photo, field, Get(M(), PhotoPath(photo), field)), "");
      ++compared;
    }
  }
  EXPECT_EQ(compared, 3 * static_cast<int>(std::size(kColumns)));
}

TEST_F(ModuleValues, KnownValuesOfTheCanonPhoto) {
  const std::u16string canon = PhotoPath("canon.jpg");
  EXPECT_EQ(Get(M(), canon, 3).Text(), u"Zo\u00eb Bront\u00eb");
  EXPECT_EQ(Get(M(), canon, 7).As<std::int32_t>(), 400);
  EXPECT_DOUBLE_EQ(Get(M(), canon, 11).As<double>(), 0.005);
  EXPECT_EQ(Get(M(), canon, 6).Text(), u"1/200");
  // 2021-06-15 12:30:00 UTC
  EXPECT_EQ(Get(M(), canon, 17).As<std::uint64_t>(), 132682338000000000ull);
  const Value comment = Get(M(), canon, 4);
  EXPECT_GT(comment.Text().size(), 8000u);  // came in several reads
  EXPECT_EQ(comment.Text().substr(comment.Text().size() - 8), u"word1200");
}

TEST_F(ModuleValues, UnitChoiceAndTruncation) {
  const std::u16string canon = PhotoPath("canon.jpg");
  const int focal = 18;  // Default|#
  EXPECT_EQ(Get(M(), canon, focal, 0).Text(), u"50.0 mm");
  const Value number = Get(M(), canon, focal, 1);
  EXPECT_EQ(number.result, 3);
  EXPECT_DOUBLE_EQ(number.As<double>(), 50.0);
  EXPECT_EQ(Get(M(), canon, focal, 9).result, 3);   // past the end: the last entry
  EXPECT_EQ(Get(M(), canon, focal, -1).result, 3);  // negative: empty entry, a number
  const Value cut = Get(M(), canon, 1, 0, 5);
  EXPECT_EQ(cut.result, 11);
  EXPECT_EQ(cut.Text(), u"Cano");
  EXPECT_EQ(Get(M(), canon, 1, 0, 0).Text(), u"");  // no room: nothing written
}

TEST_F(ModuleValues, MissingTagAndRefusedNames) {
  EXPECT_EQ(Get(M(), PhotoPath("nikon café ünï.jpg"), 2).result, -3);  // no LensModel
  // The tool's complaint comes back as the value, as it prints it.
  const Value missingFile = Get(M(), PhotoPath("no such file.jpg"), 0);
  EXPECT_EQ(missingFile.result, 11);
  EXPECT_EQ(missingFile.Text().rfind(u"Error: File not found", 0), 0u);
  std::u16string injected = PhotoPath("canon.jpg") + u"\n-ver";
  EXPECT_EQ(Get(M(), injected, 0).result, -1);
  EXPECT_EQ(Get(M(), u"-ver", 0).result, -1);
  EXPECT_EQ(Get(M(), PhotoPath("canon.jpg"), 99).result, -1);
  EXPECT_EQ(Get(M(), PhotoPath("canon.jpg"), -1).result, -1);
}

TEST_F(ModuleValues, NarrowEntryGivesTheSameValues) {
  std::string narrow = host::NativePath(e2e::Env("VELTAMO_PHOTOS") + "/canon.jpg");
  Value v;
  ASSERT_EQ(M().GetValue(narrow.data(), 1, 0, v.bytes, 256, 0), 11);
  EXPECT_EQ(v.Text(), u"Canon EOS 5D Mark IV");
  ASSERT_EQ(M().GetValue(narrow.data(), 7, 0, v.bytes, 256, 0), 1);
  EXPECT_EQ(v.As<std::int32_t>(), 400);
  EXPECT_EQ(narrow, host::NativePath(e2e::Env("VELTAMO_PHOTOS") + "/canon.jpg"));
}

TEST(ModuleValueRules, FieldTypeAgainstUnitEntry) {
  PluginDir plugin;
  plugin.WriteConfig("6 F\t0\n" + ToolPath() +
                     "\nx\n"
                     "1\tModel\t0\tft_string\t0\t1\tString\t|Default|#|DEFAULT\n"
                     "1\tDateTimeOriginal\t0\tft_datetime\t0\t1\tDate\t|Default|#|utc\n"
                     "1\tISO\t0\tft_numeric_32\t0\t1\tISO\t|Default|#|mm\n"
                     "1\tModel\t0\tft_date\t0\t1\t-\n"
                     "1\tModel\t0\tft_stringw\t0\t1\t--\n"
                     "1\tModel\t0\tft_stringw\t0\t1\tWide\t|Default|#|x\n");
  host::Module& m = plugin.Load();
  char n[64], u[64];
  ASSERT_EQ(m.GetSupportedField(0, n, u, 64), 8);
  const std::u16string canon = PhotoPath("canon.jpg");
  const int string = 0, date = 1, iso = 2, separator = 3, dashes = 4, wide = 5;
  EXPECT_EQ(Get(m, canon, string, 0).result, -1);
  EXPECT_EQ(Get(m, canon, string, 1).result, 11);
  EXPECT_EQ(Get(m, canon, string, 2).result, 0);
  EXPECT_EQ(Get(m, canon, string, 3).Text(), u"Canon EOS 5D Mark IV");
  EXPECT_EQ(Get(m, canon, date, 0).result, 10);
  EXPECT_EQ(Get(m, canon, date, 1).Text(), u"2021:06:15 14:30:00");
  EXPECT_EQ(Get(m, canon, date, 2).result, 0);
  EXPECT_EQ(Get(m, canon, date, 3).result, 10);
  EXPECT_EQ(Get(m, canon, iso, 0).result, 1);
  EXPECT_EQ(Get(m, canon, iso, 1).Text(), u"400");
  EXPECT_EQ(Get(m, canon, iso, 2).result, 1);
  EXPECT_EQ(Get(m, canon, iso, 3).result, -1);
  EXPECT_EQ(Get(m, canon, separator, 0).result, -1);
  EXPECT_EQ(Get(m, canon, dashes, 0).result, 11);
  for (int unit = 0; unit < 4; ++unit) EXPECT_EQ(Get(m, canon, wide, unit).result, 11);
}

TEST(ModuleValueRules, PathFilterRefusesBeforeAskingTheTool) {
  PluginDir plugin;
  const std::string photos = host::NativePath(e2e::Env("VELTAMO_PHOTOS"));
  // A tool path that cannot start: a refused file never gets as far as it.
  plugin.WriteConfig("1 F\t0 " + photos + "\n/nonexistent/exiftool\nx\n"
                     "1\tModel\t0\tft_stringw\t0\t1\tModel\n");
  host::Module& m = plugin.Load();
  char n[64], u[64];
  ASSERT_EQ(m.GetSupportedField(0, n, u, 64), 11);
  EXPECT_EQ(Get(m, u"/elsewhere/canon.jpg", 0).result, -2);
  EXPECT_EQ(Get(m, PhotoPath("canon.jpg"), 0).Text(), u"Exiftool.exe is not found!");
}

TEST(ModuleValueRules, MissingToolIsReportedUntilPutInPlace) {
  PluginDir plugin;
  const fs::path tool = e2e::EnvPath("VELTAMO_TOOL");
  plugin.WriteConfig("1 F\t0\n" + host::NativePath("/nonexistent/") + tool.filename().u8string() +
                     "\nx\n1\tModel\t0\tft_stringw\t0\t1\tModel\n");
  host::Module& m = plugin.Load();
  char n[64], u[64];
  ASSERT_EQ(m.GetSupportedField(0, n, u, 64), 11);
  const std::u16string canon = PhotoPath("canon.jpg");
  const Value missing = Get(m, canon, 0, 0, 8);
  EXPECT_EQ(missing.result, 11);
  EXPECT_EQ(missing.Text(), u"Exiftoo");  // cut to the buffer
  EXPECT_EQ(Get(m, canon, 0).Text(), u"Exiftool.exe is not found!");
  // Put in place beside the module: found by the second attempt.
  fs::copy_file(tool, plugin.dir() / tool.filename());
  fs::permissions(plugin.dir() / tool.filename(), fs::perms::owner_all, fs::perm_options::add);
  EXPECT_EQ(Get(m, canon, 0).Text(), u"Canon EOS 5D Mark IV");
}

}  // namespace
