#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/tag_rule.h"

namespace {

TEST(TagRule, TagRequestsWithAndWithoutGroupsAreRead) {
  for (const char* tag :
       {"Model", "model", "DateTimeOriginal", "ISO#", "EXIF:Make", "XMP-dc:Subject",
        "Composite:GPSPosition", "1:Model", "IFD0:EXIF:Make", "MWG:Keywords", "*",
        "GPS*", "Lens?", "All", "EXIF:all", "FileName", "Directory", "Warning", "Error",
        "ExposureTime#", "Sub-Sec_Time", "Execute1a", "Overwrite", "File:FileName",
        "FileSize", "File:all", "Diffuse", "Plot1a", "Purge:x"}) {
    EXPECT_TRUE(config::IsTagRequest(tag)) << tag;
  }
}

TEST(TagRule, OptionsWritesCopiesAndRedirectionsAreRefused) {
  for (const char* tag :
       {// the forms a shared Config.txt could carry
        "w", "o", "delete_original!", "restore_original", "Model>FileName", "execute",
        "tagsFromFile", "TAGSFROMFILE", "execute12", "W", "O", "out",
        // options in other spellings and with their suffixes
        "s3", "S", "short2", "g1:2", "G", "groupHeadings1", "if", "if2", "ext", "Ext",
        "fast2", "F-12", "fixbase3", "echo4", "efile1", "progress", "progress:title",
        "v5", "verbose", "stay_open", "common_args", "config", "api", "@", "p", "d",
        "overwrite_original", "overwrite_original_in_place", "delete_original",
        "addTagsFromFile", "charset", "ver", "listx", "listg1", "args", "json", "csv",
        "htmldump12", "php", "zip", "ee2", "extractEmbedded3", "use", "userparam",
        "srcfile", "password", "require", "geotag", "globalTimeShift", "wm", "textout",
        "tagout", "tagoutext", "wext",
        // words of newer releases, and option families with a number or a
        // trailing "-"
        "p-", "printformat-", "PrintFormat-#", "efile10", "efile99", "file1", "File2",
        "listgeo", "plot", "diff", "eh", "purge", "purge3", "wext1", "unknown2",
        "s-3", "csvdelim4", "xpath", "Model-",
        // anything but a plain tag request
        "", "-Model", "--Model", "Model=Canon", "Model<=file", "-@", "Model!", "Model+",
        "Model Name", "Model\t", ":Model", "EXIF:", "EXIF::Make", "Model#x", "Model##",
        "Mo\xc3\xa9l", "Model\nexecute", "Model;rm", "a/b", "Model?:x", "x$y", "${Model}"}) {
    EXPECT_FALSE(config::IsTagRequest(tag)) << "\"" << tag << "\"";
  }
}

#ifndef _WIN32
// The words an Exiftool script's own argument reader takes as options, as
// tests/unit/exiftool_options.pl reads them from it.
std::vector<std::string> OptionWords(const std::string& script) {
  std::vector<std::string> words;
  const std::string command =
      std::string("perl '") + VELTAMO_OPTIONS_SCRIPT + "' '" + script + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return words;
  std::string line;
  for (int c; (c = std::fgetc(pipe)) != EOF;) {
    if (c != '\n') {
      line.push_back(static_cast<char>(c));
    } else {
      words.push_back(line);
      line.clear();
    }
  }
  if (pclose(pipe) != 0) words.clear();
  return words;
}

// Every option of every Exiftool script listed in VELTAMO_EXIFTOOL_SCRIPTS
// (':'-separated; the installed /usr/bin/exiftool when unset), in the case
// it is written and in upper case.
TEST(TagRule, NoOptionOfTheToolsArgumentReaderPasses) {
  const char* listed = std::getenv("VELTAMO_EXIFTOOL_SCRIPTS");
  const std::string list = listed != nullptr && *listed != '\0' ? listed : "/usr/bin/exiftool";
  std::size_t begin = 0;
  while (begin <= list.size()) {
    std::size_t end = list.find(':', begin);
    if (end == std::string::npos) end = list.size();
    const std::string script = list.substr(begin, end - begin);
    begin = end + 1;
    if (script.empty()) continue;
    const std::vector<std::string> words = OptionWords(script);
    // Far fewer than the hundreds such a script has means it was not read.
    ASSERT_GE(words.size(), 300u) << script;
    for (const std::string& word : words) {
      std::string upper = word;
      for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      EXPECT_FALSE(config::IsTagRequest(word)) << script << ": " << word;
      EXPECT_FALSE(config::IsTagRequest(upper)) << script << ": " << upper;
    }
  }
}
#endif

}  // namespace
