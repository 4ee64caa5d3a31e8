#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/config_loader.h"
#include "config/path_filter.h"

namespace {

using config::Configuration;

// Loads `content` as a Config.txt through a real file.
int Load(Configuration& configuration, const std::string& content) {
  const auto path = std::filesystem::temp_directory_path() / "veltamo_config_test.txt";
  {
    std::ofstream out(path, std::ios::binary);
    out << content;
  }
  std::FILE* file = std::fopen(path.string().c_str(), "rb");
  EXPECT_NE(file, nullptr);
  const int stored = config::LoadConfigFrom(configuration, file);
  std::fclose(file);
  std::filesystem::remove(path);
  return stored;
}

const std::string kFullHeader = "3 F\t0 C:\\Photos;D:\\Raw\n";
const std::string kPreamble = "C:\\Program Files\\ExifTool\\exiftool.exe\tcomment\nignored\n";

TEST(ConfigHeader, FullSyntaxWithTabSeparatorAndPrefixList) {
  Configuration c;
  EXPECT_EQ(Load(c, kFullHeader + kPreamble + "1\tModel\t0\tft_string\t0\t1\tCamera\n"), 1);
  EXPECT_EQ(c.syntaxLetter, 'F');
  EXPECT_EQ(c.filter.invertFlag, 0);
  ASSERT_EQ(c.filter.prefixes.size(), 2u);
  EXPECT_EQ(c.filter.prefixes[0], u"C:\\PHOTOS");
  EXPECT_EQ(c.filter.prefixes[1], u"D:\\RAW");
  EXPECT_EQ(c.toolPath, u"C:\\Program Files\\ExifTool\\exiftool.exe");
}

TEST(ConfigHeader, RejectedHeadersStoreNothing) {
  Configuration c;
  // The separator position holds the newline: no fields, filter not built.
  EXPECT_EQ(Load(c, "3 F\n" + kPreamble + "1\tModel\t0\tft_string\t0\t1\tCamera\n"), 0);
  EXPECT_TRUE(c.filter.prefixes.empty());
  // No count at all.
  EXPECT_EQ(Load(c, "F\t0\n" + kPreamble + "1\tModel\t0\tft_string\t0\t1\tCamera\n"), 0);
  // A count of 0 builds the filter but stores nothing.
  EXPECT_EQ(Load(c, "0 F\t1 X:\\\n" + kPreamble + "1\tModel\t0\tft_string\t0\t1\tCamera\n"), 0);
  ASSERT_EQ(c.filter.prefixes.size(), 1u);
  EXPECT_EQ(c.filter.invertFlag, 1);
  // An unknown syntax letter reads the file but stores nothing.
  EXPECT_EQ(Load(c, "3 Q\t0\n" + kPreamble + "1\tModel\t0\tft_string\t0\t1\tCamera\n"), 0);
  // A file that ends before the first field line.
  EXPECT_EQ(Load(c, "3 F\t0\nexiftool\n"), 0);
  EXPECT_EQ(Load(c, ""), 0);
}

TEST(ConfigHeader, DeclaredCountLimitsStoredFields) {
  Configuration c;
  std::string lines;
  for (int i = 0; i < 5; ++i) lines += "1\tTag" + std::to_string(i) + "\t0\tft_string\t0\t1\tN\n";
  EXPECT_EQ(Load(c, "2 F\t0\n" + kPreamble + lines), 2);
  EXPECT_EQ(*c.fields[1].text.tagName, "Tag1");

  std::string many;
  for (int i = 0; i < 2100; ++i) many += "8 F" + std::to_string(i) + "\n";
  EXPECT_EQ(Load(c, "99999 S\t0\n" + kPreamble + many), config::kMaxFields);
  EXPECT_EQ(c.fields.back().text.displayName, "F1999");
}

TEST(ConfigFullLine, ColumnsBecomeTheField) {
  Configuration c;
  ASSERT_EQ(Load(c, kFullHeader + kPreamble +
                        "1\tExposureTime=x\t7\tFT_STRING\t9\t-1\tShutter speed\tDefault|#\n"
                        "1\tLens<more\t0\tft_datetime\t0\t0\tLens name\ta\tb\n"
                        "1\tISO\t0\t ft_string\tabc\t2\tISO\n"),
            3);
  const config::Field& f = c.fields[0];
  EXPECT_EQ(*f.text.tagName, "ExposureTime");
  EXPECT_EQ(f.text.displayName, "Shutter speed");
  EXPECT_EQ(f.text.units, "Default|#");
  EXPECT_EQ(f.attributes.fieldType, config::kString);
  EXPECT_EQ(f.attributes.column2Value, 7);
  EXPECT_EQ(f.attributes.column4Value, 9);
  EXPECT_EQ(f.attributes.sortOrder, -1);
  EXPECT_EQ(*c.fields[1].text.tagName, "Lens");
  EXPECT_EQ(c.fields[1].text.units, "a\tb");  // separators after column 6 stay
  EXPECT_EQ(c.fields[1].attributes.fieldType, config::kDateTime);
  EXPECT_EQ(c.fields[2].attributes.fieldType, config::kWideString);  // " ft_string"
  EXPECT_EQ(c.fields[2].attributes.column4Value, 0);
  EXPECT_TRUE(c.fields[2].text.units.empty());
}

TEST(ConfigFullLine, IncompleteOrDisabledLinesAreSkipped) {
  Configuration c;
  ASSERT_EQ(Load(c, kFullHeader + kPreamble +
                        "0\tA\t0\tft_string\t0\t1\tDisabled\n"
                        "1\tB\t0\tft_string\t0\t1\n"  // six columns
                        "1\t=C\t0\tft_string\t0\t1\tEmpty tag\n"
                        "\n"
                        "1yes\tD\t0\tft_string\t0\t1\tStored\n"),
            1);
  EXPECT_EQ(*c.fields[0].text.tagName, "D");
  EXPECT_EQ(c.fields[0].text.displayName, "Stored");
}

TEST(ConfigFullLine, EveryTypeNameHasItsCode) {
  const std::pair<const char*, int> names[] = {
      {"ft_nomorefields", 0}, {"ft_numeric_32", 1}, {"FT_Numeric_64", 2},
      {"ft_numeric_floating", 3}, {"ft_date", 4}, {"ft_time", 5}, {"ft_boolean", 6},
      {"ft_multiplechoice", 7}, {"ft_string", 8}, {"ft_fulltext", 9},
      {"ft_datetime", 10}, {"ft_comparecontent", 100}, {"ft_stringw", 11},
      {"", 11}, {"ft_string ", 11}};
  for (const auto& [name, code] : names) EXPECT_EQ(config::FieldTypeFromName(name), code) << name;
}

TEST(ConfigSimpleLine, NumberSeparatorAndName) {
  Configuration c;
  ASSERT_EQ(Load(c, "4 S\t0\n" + kPreamble + "8 Model=ignored\n3Aperture\n-5;Lens<x\nnothing\n"), 4);
  EXPECT_FALSE(c.fields[0].text.tagName.has_value());
  EXPECT_EQ(c.fields[0].text.displayName, "Model");
  EXPECT_EQ(c.fields[0].text.RequestTag(), "Model");
  EXPECT_EQ(c.fields[0].attributes.fieldType, 8);
  EXPECT_EQ(c.fields[0].attributes.sortOrder, 1);
  EXPECT_TRUE(c.fields[0].text.units.empty());
  EXPECT_EQ(c.fields[1].text.displayName, "perture");  // the "A" was the separator
  EXPECT_EQ(c.fields[2].attributes.fieldType, -5);
  EXPECT_EQ(c.fields[2].text.displayName, "Lens");
  EXPECT_EQ(c.fields[3].attributes.fieldType, 11);  // no number: stored with defaults
  EXPECT_EQ(c.fields[3].text.displayName, "");
}

TEST(ConfigTextMode, LineEndsControlByteAndLongLines) {
  Configuration lf, crlf;
  const std::string body = "1\tModel\t0\tft_string\t0\t1\tCamera\tDefault|#\n"
                           "1\tMake\t0\tft_string\t0\t1\tMaker\n";
  std::string windows = kFullHeader + kPreamble + body;
  for (std::size_t i = 0; (i = windows.find('\n', i)) != std::string::npos; i += 2)
    windows.insert(i, "\r");
  ASSERT_EQ(Load(lf, kFullHeader + kPreamble + body), 2);
  ASSERT_EQ(Load(crlf, windows), 2);
  EXPECT_EQ(crlf.fields[0].text.units, "Default|#");
  EXPECT_EQ(crlf.toolPath, lf.toolPath);

  Configuration c;
  EXPECT_EQ(Load(c, kFullHeader + kPreamble + "1\tA\t0\tft_string\t0\t1\tOne\x1a\n"
                        "1\tB\t0\tft_string\t0\t1\tTwo\n"),
            1);
  EXPECT_EQ(c.fields[0].text.displayName, "One");
  // A lone carriage return is text.
  ASSERT_EQ(Load(c, kFullHeader + kPreamble + "1\tA\t0\tft_string\t0\t1\tOne\tu\r\n\r"), 1);
  EXPECT_EQ(c.fields[0].text.units, "u");
  // A line longer than a read goes on as the next line.
  const std::string longName(3000, 'n');
  ASSERT_EQ(Load(c, "5 S\t0\n" + kPreamble + "8 " + longName + "\n"), 2);
  EXPECT_EQ(c.fields[0].text.displayName.size(), 2045u);
}

// Notepad starts a UTF-8 file with a byte-order mark; only a whole mark at
// the very start is skipped.
TEST(ConfigTextMode, ByteOrderMarkAtTheStartIsSkipped) {
  const std::string body = kFullHeader + kPreamble + "1\tModel\t0\tft_string\t0\t1\tCamera\n";
  Configuration c;
  ASSERT_EQ(Load(c, "\xEF\xBB\xBF" + body), 1);
  EXPECT_EQ(c.syntaxLetter, 'F');
  EXPECT_EQ(c.fields[0].text.displayName, "Camera");
  EXPECT_EQ(Load(c, "\xEF\xBB" + body), 0);
  EXPECT_EQ(Load(c, "\xEF\xBB\xBF\xEF\xBB\xBF" + body), 0);
  // A header cut short right after the mark stores nothing and reads nothing
  // past the end.
  EXPECT_EQ(Load(c, "\xEF\xBB\xBF"), 0);
  EXPECT_EQ(Load(c, "\xEF"), 0);
}

TEST(ConfigToolPath, CutAtTabKeepingSpaces) {
  Configuration c;
  ASSERT_EQ(Load(c, "1 S\t0\nD:\\My Tools\\exiftool.exe\tthe tool\tmore\nx\n8 A\n"), 1);
  EXPECT_EQ(c.toolPath, u"D:\\My Tools\\exiftool.exe");
  ASSERT_EQ(Load(c, "1 S\t0\n/usr/bin/exiftool\nx\n8 A\n"), 1);
  EXPECT_EQ(c.toolPath, u"/usr/bin/exiftool");
}

TEST(ConfigLoad, MissingFileOrDirectory) {
  Configuration c;
  EXPECT_EQ(config::LoadConfig(c, u""), 0);
  EXPECT_EQ(config::LoadConfig(c, u"/nonexistent-veltamo-dir/"), 0);
}

// ----------------------------------------------------------------- filter

bool Allowed(const std::string& list, int invert, std::u16string name) {
  config::PathFilter filter;
  config::BuildPathFilter(filter, list);
  filter.invertFlag = invert;
  return config::PathAllowed(filter, name);
}

TEST(PathFilter, PrefixesCaseAndInversion) {
  EXPECT_TRUE(Allowed("", 0, u"c:\\x.jpg"));
  EXPECT_FALSE(Allowed("", 1, u"c:\\x.jpg"));
  EXPECT_TRUE(Allowed("c:\\photos;D:\\raw", 0, u"C:\\Photos\\a.jpg"));
  EXPECT_TRUE(Allowed("c:\\photos;D:\\raw", 0, u"d:\\RAW\\b.nef"));
  EXPECT_FALSE(Allowed("c:\\photos;D:\\raw", 0, u"e:\\photos\\a.jpg"));
  EXPECT_FALSE(Allowed("c:\\photos;D:\\raw", 1, u"c:\\photos\\a.jpg"));
  EXPECT_TRUE(Allowed("c:\\photos;D:\\raw", 1, u"e:\\a.jpg"));
  EXPECT_TRUE(Allowed("c:\\photos", 0, u"c:\\photos-old\\a.jpg"));  // plain prefix test
  EXPECT_FALSE(Allowed("c:\\photos\\deep", 0, u"c:\\photos"));
  EXPECT_TRUE(Allowed(";c:\\x", 0, u"z:\\anything"));
  EXPECT_TRUE(Allowed("c:\\x;", 0, u"z:\\anything"));
}

TEST(PathFilter, BytesAboveAsciiAreNotFolded) {
  EXPECT_TRUE(Allowed("c:\\\xe9t\xe9", 0, u"C:\\\u00e9T\u00e9\\a.jpg"));
  EXPECT_FALSE(Allowed("c:\\\xe9t\xe9", 0, u"C:\\\u00c9T\u00c9\\a.jpg"));
}

TEST(PathFilter, KeepsTheFirstHundredEntries) {
  std::string list;
  for (int i = 0; i < 150; ++i) list += (i ? ";p" : "p") + std::to_string(i) + "\\";
  config::PathFilter filter;
  config::BuildPathFilter(filter, list);
  ASSERT_EQ(filter.prefixes.size(), config::kMaxPathPrefixes);
  EXPECT_EQ(filter.prefixes[99], u"P99\\");
  EXPECT_TRUE(config::PathAllowed(filter, u"p99\\x"));
  EXPECT_FALSE(config::PathAllowed(filter, u"p120\\x"));
}

}  // namespace
