// Values through the real module and the real Exiftool, compared with what
// one-shot exiftool printed for the same photo (made by make_photos.sh).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "e2e/plugin_dir.h"

namespace {

using e2e::PluginDir;
namespace fs = std::filesystem;

struct Column {
  const char* tag;
  const char* type;
  const char* units;
  int code;  // the field type code
};

// unit index 0 of every column is the one compared.
const Column kColumns[] = {
    {"Make", "ft_stringw", "", 11},
    {"Model", "ft_stringw", "", 11},
    {"LensModel", "ft_stringw", "", 11},
    {"Artist", "ft_stringw", "", 11},
    {"Comment", "ft_stringw", "", 11},
    {"GPSPosition", "ft_stringw", "#", 11},
    {"ExposureTime", "ft_stringw", "Default", 11},
    {"ISO", "ft_numeric_32", "", 1},
    {"ImageWidth", "ft_numeric_64", "#", 2},
    {"ImageHeight", "ft_numeric_32", "#|Default", 1},
    {"FNumber", "ft_numeric_floating", "#", 3},
    {"ExposureTime", "ft_numeric_floating", "#", 3},
    {"FocalLength", "ft_numeric_floating", "", 3},
    {"ExposureCompensation", "ft_numeric_floating", "#", 3},
    {"GPSLatitude", "ft_numeric_floating", "#", 3},
    {"GPSLongitude", "ft_numeric_floating", "#", 3},
    {"DateTimeOriginal", "ft_datetime", "", 10},
    {"XMP:CreateDate", "ft_datetime", "", 10},
    {"FocalLength", "ft_numeric_floating", "Default|#", 11},
};

const char* const kPhotos[] = {"canon.jpg", "nikon café ünï.jpg", "scan 01.tif"};

std::string ConfigFor(const std::string& toolPath, const std::string& header = "0") {
  std::string config = std::to_string(std::size(kColumns)) + " F\t" + header + "\n" +
                       toolPath + "\ttool\ncolumns\n";
  int i = 0;
  for (const Column& c : kColumns) {
    config += std::string("1\t") + c.tag + "\t0\t" + c.type + "\t0\t1\tColumn " +
              std::to_string(i++);
    if (*c.units) config += std::string("\t") + c.units;
    config += "\n";
  }
  return config;
}

std::string ToolPath() { return host::NativePath(e2e::Env("VELTAMO_TOOL")); }

// What one-shot exiftool printed: (photo, tag, "text" or "number") -> value.
using Expected = std::map<std::tuple<std::string, std::string, std::string>, std::string>;

const Expected& ExpectedValues() {
  static const Expected expected = [] {
    Expected table;
    std::ifstream in(fs::u8path(host::NativePath(e2e::Env("VELTAMO_PHOTOS") + "/expected.tsv")));
    std::string line;
    while (std::getline(in, line)) {
      std::string fields[4];
      std::istringstream row(line);
      for (int i = 0; i < 3; ++i) std::getline(row, fields[i], '\t');
      std::getline(row, fields[3]);
      table[{fields[0], fields[1], fields[2]}] = fields[3];
    }
    return table;
  }();
  return expected;
}

std::u16string Utf16(const std::string& utf8) {
  std::u16string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = utf8[i];
    char32_t cp;
    int n;
    if (c < 0x80) cp = c, n = 1;
    else if (c < 0xE0) cp = c & 0x1F, n = 2;
    else if (c < 0xF0) cp = c & 0x0F, n = 3;
    else cp = c & 0x07, n = 4;
    for (int k = 1; k < n; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    i += n;
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::u16string PhotoPath(const std::string& photo) {
  return Utf16(host::NativePath(e2e::Env("VELTAMO_PHOTOS") + "/" + photo));
}

// The file time that a tool date "YYYY:MM:DD hh:mm:ss[zone]" names; the
// tests run with TZ=UTC, so a date without zone is UTC too.
std::uint64_t FileTimeOf(const std::string& date) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, zh = 0, zm = 0;
  char zone = 0;
  if (std::sscanf(date.c_str(), "%d:%d:%d %d:%d:%d%c%d:%d", &y, &mo, &d, &h, &mi, &s, &zone,
                  &zh, &zm) < 6)
    return 0;
  // Days from 1601-01-01 by counting, not by formula.
  std::int64_t days = 0;
  for (int year = 1601; year < y; ++year)
    days += (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 366 : 365;
  const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int m = 1; m < mo; ++m)
    days += monthDays[m - 1] + (m == 2 && y % 4 == 0 && (y % 100 != 0 || y % 400 == 0));
  days += d - 1;
  std::int64_t seconds = days * 86400 + h * 3600 + mi * 60 + s;
  const int offset = (zh * 60 + zm) * 60;
  if (zone == '+') seconds -= offset;
  if (zone == '-') seconds += offset;
  return static_cast<std::uint64_t>(seconds) * 10000000u;
}

struct Value {
  int result;
  unsigned char bytes[65536];
  std::u16string Text() const {
    return std::u16string(reinterpret_cast<const char16_t*>(bytes));
  }
  template <typename T>
  T As() const {
    T v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
  }
};

Value Get(host::Module& m, const std::u16string& file, int field, int unit = 0,
          int maxLength = 32768) {
  static Value v;
  std::memset(v.bytes, 0, sizeof v.bytes);
  std::u16string name = file;
  v.result = m.GetValueW(reinterpret_cast<HostWideChar*>(name.data()), field, unit, v.bytes,
                         maxLength, 0);
  EXPECT_EQ(name, file) << "the host's file name must stay as it was";
  return v;
}

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
      const Column& c = kColumns[field];
      const std::string units = c.units;
      const std::string unit = units.substr(0, units.find('|'));
      const bool numeric = !unit.empty() && unit != "Default";
      const auto it = ExpectedValues().find({photo, c.tag, numeric ? "number" : "text"});
      ASSERT_NE(it, ExpectedValues().end()) << photo << " " << c.tag;
      const std::string& expected = it->second;
      const Value v = Get(M(), PhotoPath(photo), field);
      SCOPED_TRACE(std::string(photo) + " / " + c.tag + " / " + c.type + " [" + unit +
                   "] expected \"" + expected + "\"");
      ++compared;
      if (expected.empty()) {
        EXPECT_EQ(v.result, -3);
        continue;
      }
      ASSERT_EQ(v.result, c.code);
      switch (c.code) {
        case 11: EXPECT_EQ(v.Text(), Utf16(expected)); break;
        case 1: EXPECT_EQ(v.As<std::int32_t>(), std::atoi(expected.c_str())); break;
        case 2: EXPECT_EQ(v.As<std::int64_t>(), std::atoll(expected.c_str())); break;
        case 3: EXPECT_DOUBLE_EQ(v.As<double>(), std::strtod(expected.c_str(), nullptr)); break;
        case 10: EXPECT_EQ(v.As<std::uint64_t>(), FileTimeOf(expected)); break;
      }
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
  EXPECT_EQ(comment.Text().substr(comment.Text().size() - 9), u"word1200");
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
  EXPECT_EQ(Get(M(), PhotoPath("no such file.jpg"), 0).result, -3);
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
  EXPECT_EQ(missing.Text(), u"Exiftool");  // cut to the buffer
  EXPECT_EQ(Get(m, canon, 0).Text(), u"Exiftool.exe is not found!");
  // Put in place beside the module: found by the second attempt.
  fs::copy_file(tool, plugin.dir() / tool.filename());
  fs::permissions(plugin.dir() / tool.filename(), fs::perms::owner_all, fs::perm_options::add);
  EXPECT_EQ(Get(m, canon, 0).Text(), u"Canon EOS 5D Mark IV");
}

}  // namespace
