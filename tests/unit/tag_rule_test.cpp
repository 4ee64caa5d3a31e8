#include <gtest/gtest.h>

#include "config/tag_rule.h"

namespace {

TEST(TagRule, TagRequestsWithAndWithoutGroupsAreRead) {
  for (const char* tag :
       {"Model", "model", "DateTimeOriginal", "ISO#", "EXIF:Make", "XMP-dc:Subject",
        "Composite:GPSPosition", "1:Model", "IFD0:EXIF:Make", "MWG:Keywords", "*",
        "GPS*", "Lens?", "All", "EXIF:all", "FileName", "Directory", "Warning", "Error",
        "ExposureTime#", "Sub-Sec_Time", "Execute1a", "Overwrite", "wext1"}) {
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
        // anything but a plain tag request
        "", "-Model", "--Model", "Model=Canon", "Model<=file", "-@", "Model!", "Model+",
        "Model Name", "Model\t", ":Model", "EXIF:", "EXIF::Make", "Model#x", "Model##",
        "Mo\xc3\xa9l", "Model\nexecute", "Model;rm", "a/b", "Model?:x", "x$y", "${Model}"}) {
    EXPECT_FALSE(config::IsTagRequest(tag)) << "\"" << tag << "\"";
  }
}

}  // namespace
