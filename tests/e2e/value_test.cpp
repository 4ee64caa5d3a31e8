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
    plugin_.WriteConfig(ConfigFor(plugin_.InstallTool()));
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
  EXPECT_EQ(compared, static_cast<int>(std::size(kPhotos) * std::size(kColumns)));
}

// Files that make the tool warn ("[minor] Unrecognized MakerNotes", "JPEG
// format error") or fail ("File format error", "File is empty"): what it
// says on its standard error is never a value. A tag the file lacks has no
// value, also for number and date columns; a value it prints is delivered
// as printed, warning or not.
TEST_F(ModuleValues, WarningsAndErrorsAreNeverAValue) {
  const int lens = 2, iso = 7, date = 16;
  for (const char* photo : {"unknown makernotes.jpg", "random bytes.jpg", "empty.jpg"}) {
    EXPECT_EQ(Get(M(), PhotoPath(photo), lens).result, -3) << photo;
    EXPECT_EQ(Get(M(), PhotoPath(photo), date).result, -3) << photo;
  }
  EXPECT_EQ(Get(M(), PhotoPath("random bytes.jpg"), iso).result, -3);
  EXPECT_EQ(Get(M(), PhotoPath("unknown makernotes.jpg"), 1).Text(), u"Prototype");
  EXPECT_EQ(Get(M(), PhotoPath("unknown makernotes.jpg"), iso).As<std::int32_t>(), 800);
  EXPECT_EQ(Get(M(), PhotoPath("truncated.jpg"), 1).Text(), u"Canon EOS 5D Mark IV");
  EXPECT_EQ(Get(M(), PhotoPath("truncated.jpg"), date).As<std::uint64_t>(),
            FileTimeOf("2021:06:15 14:30:00"));
  EXPECT_EQ(Get(M(), PhotoPath("no such file.jpg"), 0).result, -3);
}

// A value that reads like the tool's ready marker, then many requests in a
// row: every value stays with its own file and field.
TEST_F(ModuleValues, AFilesContentNeverShiftsTheChannel) {
  const int description = 19, artist = 3;
  EXPECT_EQ(Get(M(), PhotoPath("odd values.jpg"), description).Text(), u"{ready}");
  EXPECT_EQ(Get(M(), PhotoPath("odd values.jpg"), artist).Text(), u"-Model=forged.{ready}");
  const char* const photos[] = {"odd values.jpg", "canon.jpg", "odd values.jpg",
                                "nikon café ünï.jpg", "unknown makernotes.jpg"};
  const int fields[] = {description, 1, 7, artist, 16, 0, 2};
  int compared = 0;
  for (int i = 0; i < 200; ++i) {
    const char* photo = photos[i % std::size(photos)];
    const int field = fields[i % std::size(fields)];
    EXPECT_EQ(Mismatch(photo, field, Get(M(), PhotoPath(photo), field)), "") << "request " << i;
    ++compared;
  }
  EXPECT_EQ(compared, 200);
}

// Real hosts give the size of their value buffer in bytes (one passes a
// 2049-byte buffer): a long text fills it and not one byte more.
TEST_F(ModuleValues, TextFitsTheHostsBufferInBytes) {
  struct Guarded {
    unsigned char buffer[2049];
    unsigned char guard[64];
  } host;
  std::memset(&host, 0xA5, sizeof host);
  std::u16string name = PhotoPath("long model.jpg");
  ASSERT_EQ(M().GetValueW(reinterpret_cast<HostWideChar*>(name.data()), 1, 0, host.buffer,
                          sizeof host.buffer, 0),
            11);
  std::u16string shown(1024, u'\0');
  std::memcpy(shown.data(), host.buffer, 2048);
  const std::string expected = ExpectedValues().at({"long model.jpg", "Model", "text"});
  ASSERT_EQ(expected.size(), 1800u);
  EXPECT_EQ(shown, Utf16(expected.substr(0, 1023)) + u'\0');
  EXPECT_EQ(host.buffer[2048], 0xA5);
  for (unsigned char byte : host.guard) EXPECT_EQ(byte, 0xA5);

  // A character of two code units that does not fit whole is left out whole.
  const std::u16string emoji = PhotoPath("emoji model.jpg");
  const std::u16string model = std::u16string(1022, u'A') + u"\U0001F4F7";
  EXPECT_EQ(Get(M(), emoji, 1, 0, 2048).Text(), model.substr(0, 1022));
  EXPECT_EQ(Get(M(), emoji, 1, 0, 2050).Text(), model);

  EXPECT_EQ(Get(M(), PhotoPath("canon.jpg"), 1, 0, 11).Text(), u"Cano");
  EXPECT_EQ(Get(M(), PhotoPath("canon.jpg"), 1, 0, 10).Text(), u"Cano");
  for (int tooSmall : {1, 0}) {
    unsigned char untouched[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    std::u16string canon = PhotoPath("canon.jpg");
    EXPECT_EQ(M().GetValueW(reinterpret_cast<HostWideChar*>(canon.data()), 1, 0, untouched,
                            tooSmall, 0),
              11);
    EXPECT_EQ(untouched[0], 0xA5);
  }
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
  const Value date = Get(M(), canon, 22);              // a date-time field with "#"
  EXPECT_EQ(date.result, 10);
  EXPECT_EQ(date.As<std::uint64_t>(), FileTimeOf("2021:06:15 14:30:00"));
}

TEST_F(ModuleValues, MissingTagAndRefusedNames) {
  EXPECT_EQ(Get(M(), PhotoPath("nikon café ünï.jpg"), 2).result, -3);  // no LensModel
  // Names the tool would not take as exactly that one file.
  EXPECT_EQ(Get(M(), PhotoPath("canon.jpg") + u"\n-ver", 0).result, -1);
  for (const char16_t* relative : {u"-ver", u" -ver", u"#x", u"canon.jpg"})
    EXPECT_EQ(Get(M(), relative, 0).result, -1) << "relative name";
  EXPECT_EQ(Get(M(), PhotoPath("canon") + u"\xD800.jpg", 0).result, -1);  // lone surrogate
  EXPECT_EQ(Get(M(), PhotoPath(""), 0).result, -1);  // the folder itself
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

// The narrow entry's name is text in the system's code page: it reaches the
// tool as that text, or not at all.
TEST_F(ModuleValues, NarrowNamesAreReadInTheSystemCodePage) {
  const std::string folder = host::NativePath(e2e::Env("VELTAMO_PHOTOS"));
  Value v;
#ifdef _WIN32
  if (GetACP() == 1252) {
    // 0x80 is the euro sign there, not U+0080.
    const fs::path euro = fs::u8path(folder) / fs::u8path("euro \xe2\x82\xac.jpg");
    fs::copy_file(fs::u8path(folder) / "canon.jpg", euro, fs::copy_options::overwrite_existing);
    std::string narrow = folder + "\\euro \x80.jpg";
    EXPECT_EQ(M().GetValue(narrow.data(), 1, 0, v.bytes, 256, 0), 11);
    EXPECT_EQ(v.Text(), u"Canon EOS 5D Mark IV");
    fs::remove(euro);
  } else if (GetACP() == CP_UTF8) {
    std::string unconvertible = folder + "\\caf\xe9.jpg";
    EXPECT_EQ(M().GetValue(unconvertible.data(), 1, 0, v.bytes, 256, 0), -1);
  } else {
    GTEST_SKIP() << "code page " << GetACP() << " has no case here";
  }
#else
  // UTF-8: a Latin-1 byte alone names no file; it would reach the tool as
  // U+FFFD, the name of another file.
  std::string unconvertible = folder + "/caf\xe9.jpg";
  EXPECT_EQ(M().GetValue(unconvertible.data(), 1, 0, v.bytes, 256, 0), -1);
  std::string accented = folder + "/nikon caf\xc3\xa9 \xc3\xbcn\xc3\xaf.jpg";
  EXPECT_EQ(M().GetValue(accented.data(), 1, 0, v.bytes, 256, 0), 11);
  EXPECT_EQ(v.Text(), u"NIKON D850");
#endif
}

TEST(ModuleValueRules, FieldTypeAgainstUnitEntry) {
  PluginDir plugin;
  plugin.WriteConfig("7 F\t0\n" + ToolPath() +
                     "\nx\n"
                     "1\tModel\t0\tft_string\t0\t1\tString\t|Default|#|DEFAULT\n"
                     "1\tDateTimeOriginal\t0\tft_datetime\t0\t1\tDate\t|Default|#|utc\n"
                     "1\tISO\t0\tft_numeric_32\t0\t1\tISO\t|Default|#|mm\n"
                     "1\tModel\t0\tft_date\t0\t1\t-\n"
                     "1\tModel\t0\tft_stringw\t0\t1\t--\n"
                     "1\tModel\t0\tft_stringw\t0\t1\tWide\t|Default|#|x\n"
                     "1\tArtist\t0\tft_string\t0\t1\tArtist\n");
  host::Module& m = plugin.Load();
  char n[64], u[64];
  ASSERT_EQ(m.GetSupportedField(0, n, u, 64), 8);
  const std::u16string canon = PhotoPath("canon.jpg");
  const int string = 0, date = 1, iso = 2, separator = 3, dashes = 4, wide = 5, artist = 6;
  // Narrow text: wide text to the wide entry point, text in the system's
  // code page to the narrow one, whatever the unit entry.
  auto narrow = [&](const std::string& photo, int field, int unit) {
    std::string name = host::NativePath(e2e::Env("VELTAMO_PHOTOS") + "/" + photo);
    Value v;
    std::memset(v.bytes, 0, sizeof v.bytes);
    v.result = m.GetValue(name.data(), field, unit, v.bytes, 256, 0);
    return v;
  };
  for (int unit = 0; unit < 4; ++unit) {
    const Value w = Get(m, canon, string, unit);
    EXPECT_EQ(w.result, 11);
    EXPECT_EQ(w.Text(), u"Canon EOS 5D Mark IV");
    const Value n8 = narrow("canon.jpg", string, unit);
    EXPECT_EQ(n8.result, 8);
    EXPECT_STREQ(reinterpret_cast<const char*>(n8.bytes), "Canon EOS 5D Mark IV");
  }
  EXPECT_EQ(Get(m, PhotoPath("nikon café ünï.jpg"), artist).Text(), u"Ærøskøbing Ümlaut");
#ifdef _WIN32
  if (GetACP() == 1252) {
    const Value n8 = narrow("nikon caf\xe9 \xfcn\xef.jpg", artist, 0);
    EXPECT_EQ(n8.result, 8);
    EXPECT_STREQ(reinterpret_cast<const char*>(n8.bytes), "\xc6r\xf8sk\xf8" "bing \xdcmlaut");
  }
#else
  const Value n8 = narrow("nikon caf\xc3\xa9 \xc3\xbcn\xc3\xaf.jpg", artist, 0);
  EXPECT_EQ(n8.result, 8);
  EXPECT_STREQ(reinterpret_cast<const char*>(n8.bytes),
               "\xc3\x86r\xc3\xb8sk\xc3\xb8" "bing \xc3\x9cmlaut");
#endif
  EXPECT_EQ(Get(m, canon, date, 0).result, 10);
  EXPECT_EQ(Get(m, canon, date, 1).Text(), u"2021:06:15 14:30:00");
  EXPECT_EQ(Get(m, canon, date, 2).result, 10);  // "#": the date as "-n" prints it
  EXPECT_EQ(Get(m, canon, date, 3).result, 10);
  EXPECT_EQ(Get(m, canon, iso, 0).result, 1);
  EXPECT_EQ(Get(m, canon, iso, 1).Text(), u"400");
  EXPECT_EQ(Get(m, canon, iso, 2).result, 1);
  EXPECT_EQ(Get(m, canon, iso, 3).result, -1);
  EXPECT_EQ(Get(m, canon, separator, 0).result, -1);
  EXPECT_EQ(Get(m, canon, dashes, 0).result, 11);
  for (int unit = 0; unit < 4; ++unit) EXPECT_EQ(Get(m, canon, wide, unit).result, 11);
}

// A camera with an unset clock writes a zero date or a blank-filled one:
// such a date column is empty (not a date of 1601), as is a number column
// whose text holds no number; every other column has its value.
TEST(ModuleValueRules, UnreadableDateOrNumberIsEmpty) {
  const std::string photo = "unset clock.jpg";
  ASSERT_EQ(ExpectedValues().at({photo, "DateTimeOriginal", "text"}), "0000:00:00 00:00:00");
  ASSERT_EQ(ExpectedValues().at({photo, "CreateDate", "number"}).substr(0, 5), "    :");
  PluginDir plugin;
  plugin.WriteConfig("6 F\t0\n" + ToolPath() +
                     "\nx\n"
                     "1\tDateTimeOriginal\t0\tft_datetime\t0\t1\tTaken\t|#\n"
                     "1\tCreateDate\t0\tft_datetime\t0\t1\tCreated\n"
                     "1\tModel\t0\tft_numeric_32\t0\t1\tModel as number\n"
                     "1\tModel\t0\tft_stringw\t0\t1\tModel\n"
                     "1\tISO\t0\tft_numeric_32\t0\t1\tISO\n"
                     "1\tFNumber\t0\tft_numeric_floating\t0\t1\tAperture\t#\n");
  host::Module& m = plugin.Load();
  char n[64], u[64];
  ASSERT_EQ(m.GetSupportedField(0, n, u, 64), 10);
  const std::u16string file = PhotoPath(photo);
  EXPECT_EQ(Get(m, file, 0, 0).result, -3);
  EXPECT_EQ(Get(m, file, 0, 1).result, -3);
  EXPECT_EQ(Get(m, file, 1).result, -3);
  EXPECT_EQ(Get(m, file, 2).result, -3);
  const Value model = Get(m, file, 3);
  EXPECT_EQ(model.result, 11);
  EXPECT_EQ(model.Text(), Utf16(ExpectedValues().at({photo, "Model", "text"})));
  const Value iso = Get(m, file, 4);
  EXPECT_EQ(iso.result, 1);
  EXPECT_EQ(iso.As<std::int32_t>(), 100);
  const Value aperture = Get(m, file, 5);
  EXPECT_EQ(aperture.result, 3);
  EXPECT_EQ(aperture.As<double>(), 2.8);
  // A valid date in the same column still reads.
  EXPECT_EQ(Get(m, PhotoPath("canon.jpg"), 0).result, 10);
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
  // The host's quick pass gets 0 for anything not read before.
  std::u16string elsewhere = u"/elsewhere/canon.jpg";
  char16_t untouched[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(m.GetValueW(reinterpret_cast<HostWideChar*>(elsewhere.data()), 0, 0, untouched,
                        sizeof untouched, 1),
            0);
  EXPECT_EQ(untouched[0], u'x');
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
  const Value missing = Get(m, canon, 0, 0, 16);
  EXPECT_EQ(missing.result, 11);
  EXPECT_EQ(missing.Text(), u"Exiftoo");  // cut to the buffer's 16 bytes
  EXPECT_EQ(Get(m, canon, 0).Text(), u"Exiftool.exe is not found!");
  EXPECT_EQ(Get(m, canon, 0, 0, 8).Text(), u"Exi");  // 8 bytes: three units and a zero
  // Put in place beside the module: found by the second attempt.
  PlaceTool(tool, plugin.dir() / tool.filename());
  EXPECT_EQ(Get(m, canon, 0).Text(), u"Canon EOS 5D Mark IV");
}

}  // namespace
