// The checker's parts that decide what it tells a user: the reasons the
// Config.txt reader gives for each line, and the lookups in the tool's tag
// names (known, wildcards, closest names).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "check/tag_names.h"
#include "config/config_loader.h"

namespace {

using config::LineRole;

int Load(config::Configuration& c, const std::string& content, config::LoadReport* report) {
  std::FILE* file = std::tmpfile();
  EXPECT_NE(file, nullptr);
  std::fwrite(content.data(), 1, content.size(), file);
  std::rewind(file);
  const int stored = config::LoadConfigFrom(c, file, report);
  std::fclose(file);
  return stored;
}

TEST(LoadReport, EachLineSaysWhatBecameOfItAndTheTableIsTheSame) {
  const std::string content =
      "4 F\t0\n"
      "exiftool\tcomment\n"
      "titles\n"
      "1\tModel Name\t0\tft_stringw\t0\t1\tModel\n"   // 4: stored, tag cut
      "0\tMake\t0\tft_stringw\t0\t1\tMake\n"          // 5: switched off
      "1 ISO 0 ft_numeric_32 0 -1 ISO\n"              // 6: no tab
      "\n"                                            // 7: blank
      "on\tISO\t0\tft_numeric_32\t0\t-1\tISO\n"       // 8: not "1"
      "1\t\t0\tft_stringw\t0\t1\tNo tag\n"            // 9: empty tag
      "1\tISO\t0\tft_numeric32\t0\t-1\tISO\n"         // 10: unknown type
      "1\tFNumber\t0\tft_numeric_floating\t0\t1\tF\n" // 11: stored
      "1\tLensID\t0\tft_stringw\t0\t1\tLens\n"        // 12: stored (4th)
      "1\tFocalLength\t0\tft_stringw\t0\t1\tFocal\n"; // 13: past the count
  config::Configuration plain, reported;
  config::LoadReport report;
  ASSERT_EQ(Load(plain, content, nullptr), 4);
  ASSERT_EQ(Load(reported, content, &report), 4);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(reported.fields[i].text.RequestTag(), plain.fields[i].text.RequestTag());
    EXPECT_EQ(reported.fields[i].attributes.fieldType, plain.fields[i].attributes.fieldType);
  }

  ASSERT_EQ(report.lines.size(), 13u);
  EXPECT_EQ(report.syntaxLetter, 'F');
  EXPECT_EQ(report.columnSeparator, '\t');
  EXPECT_TRUE(report.headerProblem.empty());
  const auto& l = report.lines;
  for (std::size_t i = 0; i < l.size(); ++i) EXPECT_EQ(l[i].number, static_cast<int>(i + 1));
  EXPECT_EQ(l[1].role, LineRole::kToolLine);
  EXPECT_EQ(l[2].role, LineRole::kTitleLine);
  EXPECT_EQ(l[3].role, LineRole::kStored);
  EXPECT_EQ(l[3].field, 0);
  ASSERT_EQ(l[3].notes.size(), 1u);
  EXPECT_NE(l[3].notes[0].find("\"Model\""), std::string::npos) << l[3].notes[0];
  EXPECT_EQ(l[4].role, LineRole::kSkipped);
  EXPECT_TRUE(l[4].intended);
  EXPECT_NE(l[4].reason.find("switched off"), std::string::npos);
  EXPECT_FALSE(l[5].intended);
  EXPECT_NE(l[5].reason.find("1 of the 7 columns"), std::string::npos) << l[5].reason;
  EXPECT_TRUE(l[6].intended);
  EXPECT_EQ(l[6].reason, "blank");
  EXPECT_FALSE(l[7].intended);
  EXPECT_NE(l[7].reason.find("\"on\""), std::string::npos) << l[7].reason;
  EXPECT_NE(l[8].reason.find("no tag"), std::string::npos) << l[8].reason;
  EXPECT_EQ(l[9].role, LineRole::kStored);
  ASSERT_EQ(l[9].notes.size(), 1u);
  EXPECT_NE(l[9].notes[0].find("ft_numeric32"), std::string::npos);
  EXPECT_TRUE(l[10].notes.empty());
  EXPECT_EQ(l[11].field, 3);
  EXPECT_EQ(l[12].role, LineRole::kNotRead);
  EXPECT_NE(l[12].reason.find("count of 4"), std::string::npos) << l[12].reason;
}

TEST(LoadReport, HeaderProblemsAndLongLines) {
  config::Configuration c;
  config::LoadReport report;
  EXPECT_EQ(Load(c, "2 X\t0\ntool\nx\n1\tModel\t0\tft_stringw\t0\t1\tModel\n", &report), 0);
  EXPECT_NE(report.headerProblem.find("neither F nor S"), std::string::npos);
  ASSERT_EQ(report.lines.size(), 4u);
  EXPECT_EQ(report.lines[3].role, LineRole::kSkipped);

  EXPECT_EQ(Load(c, "2 F\n1\tModel\t0\tft_stringw\t0\t1\tModel\n", &report), 0);
  EXPECT_NE(report.headerProblem.find("separator"), std::string::npos);
  ASSERT_EQ(report.lines.size(), 2u);
  EXPECT_EQ(report.lines[1].role, LineRole::kNotRead);

  // A tool line past its 259 characters: its rest is read as the ignored
  // line, and the title line as a field line.
  const std::string longTool(300, 'a');
  EXPECT_EQ(Load(c, "2 F\t0\n" + longTool + "\non\ttag\n1\tModel\t0\tft_stringw\t0\t1\tM\n",
                 &report), 1);
  ASSERT_EQ(report.lines.size(), 5u);
  EXPECT_EQ(report.lines[1].number, 2);
  EXPECT_EQ(report.lines[2].number, 2);
  EXPECT_EQ(report.lines[2].role, LineRole::kTitleLine);
  EXPECT_FALSE(report.lines[1].notes.empty());
  EXPECT_EQ(report.lines[3].number, 3);
  EXPECT_EQ(report.lines[3].role, LineRole::kSkipped);
  EXPECT_EQ(report.lines[4].number, 4);
  EXPECT_EQ(report.lines[4].role, LineRole::kStored);
}

TEST(TagNames, KnownNamesWildcardsAndClosestNames) {
  check::TagNames names;
  names.Read(u"Available tags:\r\n  DateTimeOriginal DateTimeDigitized LensID\r\n"
             u"  LensModel Model ISO\r\nCommand-line shortcuts:\r\n  AllDates Common\r\n");
  EXPECT_EQ(names.size(), 8u);
  EXPECT_TRUE(names.Knows("datetimeoriginal"));
  EXPECT_TRUE(names.Knows("AllDates"));
  EXPECT_TRUE(names.Knows("all"));
  EXPECT_TRUE(names.Knows("Lens*"));
  EXPECT_TRUE(names.Knows("Mod?l"));
  EXPECT_FALSE(names.Knows("Lens?"));
  EXPECT_FALSE(names.Knows("Available"));
  EXPECT_FALSE(names.Knows("DateTimeOrginal"));

  EXPECT_EQ(names.Closest("DateTimeOrginal", 5), std::vector<std::string>{"DateTimeOriginal"});
  EXPECT_EQ(names.Closest("MODLE", 5), std::vector<std::string>{"Model"});  // a swap
  EXPECT_EQ(names.Closest("LensIDs", 5), (std::vector<std::string>{"LensID"}));
  EXPECT_TRUE(names.Closest("Xylophone", 5).empty());
  EXPECT_EQ(check::NameDistance("abc", "ABC"), 0u);
  EXPECT_EQ(check::NameDistance("ab", "ba"), 1u);
  EXPECT_EQ(check::NameDistance("", "abc"), 3u);

  check::TagNames groups;
  groups.Read(u"Groups in family 0:\n  EXIF XMP\n");
  groups.Read(u"Groups in family 1:\n  IFD0 XMP-xmp Doc#\n");
  EXPECT_TRUE(groups.KnowsGroup("exif"));
  EXPECT_TRUE(groups.KnowsGroup("1IFD0"));
  EXPECT_TRUE(groups.KnowsGroup("Doc2"));
  EXPECT_FALSE(groups.KnowsGroup("Doc"));
  EXPECT_TRUE(groups.KnowsGroup("XMP-*"));
  EXPECT_TRUE(groups.KnowsGroup("ID-0x010f"));
  EXPECT_FALSE(groups.KnowsGroup("EXFI"));
  EXPECT_EQ(groups.Closest("EXFI", 5), std::vector<std::string>{"EXIF"});

  const check::TagParts parts = check::SplitTag("XMP-xmp:EXIF:DateTimeOrginal#");
  EXPECT_EQ(parts.groups, "XMP-xmp:EXIF:");
  EXPECT_EQ(parts.name, "DateTimeOrginal");
  EXPECT_TRUE(parts.numeric);
}

}  // namespace
