#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "e2e/plugin_dir.h"

namespace {

using e2e::PluginDir;

const std::string kConfig =
    "4 F\t0\n"
    "exiftool\n"
    "columns\n"
    "1\tModel\t0\tft_stringw\t0\t1\tCamera model\n"
    "1\tISO\t0\tft_numeric_32\t0\t-1\tISO speed\tDefault|#\n"
    "1\tDateTimeOriginal\t0\tft_datetime\t0\t2\tDate taken\n"
    "1\tStop\t0\tft_nomorefields\t0\t1\tHidden\n";

struct Enumerated {
  int type;
  std::string name, units;
};

Enumerated Field(host::Module& m, int index, int maxLength = 256) {
  char name[256], units[256];
  std::memset(name, '?', sizeof name);
  std::memset(units, '?', sizeof units);
  const int type = m.GetSupportedField(index, name, units, maxLength);
  return {type, std::string(name, strnlen(name, sizeof name)),
          std::string(units, strnlen(units, sizeof units))};
}

TEST(ModuleDetect, DetectStringIsTruncatedSafely) {
  PluginDir plugin;
  host::Module& m = plugin.Load();
  // The buffer hosts pass for it.
  char buffer[2048];
  EXPECT_EQ(m.GetDetectString(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer,
               "EXT=\"JPG\"|EXT=\"JPEG\"|EXT=\"JPGE\"|EXT=\"TIF\"|EXT=\"TIFF\"|EXT=\"NEF\""
               "|EXT=\"CR2\"|EXT=\"CR3\"|EXT=\"ARW\"|EXT=\"DNG\"|EXT=\"ORF\"|EXT=\"RW2\""
               "|EXT=\"PEF\"|EXT=\"RAF\"|EXT=\"HEIC\"|EXT=\"PNG\"");
  EXPECT_EQ(m.GetDetectString(buffer, 10), 0);
  EXPECT_STREQ(buffer, "EXT=\"JPG\"");
  buffer[0] = 'x';
  EXPECT_EQ(m.GetDetectString(buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(m.GetDetectString(nullptr, 64), 0);
}

TEST(ModuleEnumeration, ListsFieldsTypesUnitsAndSortOrder) {
  PluginDir plugin;
  plugin.WriteConfig(kConfig);
  host::Module& m = plugin.Load();
  const Enumerated model = Field(m, 0);
  EXPECT_EQ(model.type, 11);
  EXPECT_EQ(model.name, "Camera model");
  EXPECT_EQ(model.units, "");
  const Enumerated iso = Field(m, 1);
  EXPECT_EQ(iso.type, 1);
  EXPECT_EQ(iso.units, "Default|#");
  EXPECT_EQ(Field(m, 2).type, 10);
  EXPECT_EQ(Field(m, 3).type, 0);  // ft_nomorefields ends the host's list

  // Out of range: 0, buffers untouched.
  const Enumerated past = Field(m, 4);
  EXPECT_EQ(past.type, 0);
  EXPECT_EQ(past.name.substr(0, 3), "???");
  EXPECT_EQ(Field(m, -1).type, 0);

  EXPECT_EQ(m.GetDefaultSortOrder(0), 1);
  EXPECT_EQ(m.GetDefaultSortOrder(1), -1);
  EXPECT_EQ(m.GetDefaultSortOrder(2), 1);
  EXPECT_EQ(m.GetDefaultSortOrder(99), 1);
  EXPECT_EQ(m.GetDefaultSortOrder(-5), 1);
}

// A Config.txt as Notepad saves it: UTF-8 with a byte-order mark. Windows
// hosts read names and units in the ANSI code page (1252 under Wine here);
// text that is not UTF-8 passes as it stands.
TEST(ModuleEnumeration, Utf8NamesAfterAByteOrderMark) {
  PluginDir plugin;
  plugin.WriteConfig(
      "\xEF\xBB\xBF"
      "3 F\t0\nexiftool\ncolumns\n"
      "1\tFNumber\t0\tft_stringw\t0\t1\t\xC3\x96" "ffnung\tBlende \xC2\xBD|f\n"
      "1\tModel\t0\tft_stringw\t0\t1\tKamera \xE7\x9B\xB8\n"
      "1\tISO\t0\tft_stringw\t0\t1\t\xD6" "ffnung\n");
  host::Module& m = plugin.Load();
  const Enumerated aperture = Field(m, 0), model = Field(m, 1), latin = Field(m, 2);
  ASSERT_EQ(aperture.type, 11);
  EXPECT_EQ(Field(m, 3).type, 0);
#ifdef _WIN32
  EXPECT_EQ(aperture.name, "\xD6" "ffnung");
  EXPECT_EQ(aperture.units, "Blende \xBD|f");
  EXPECT_EQ(model.name, "Kamera ?");
#else
  EXPECT_EQ(aperture.name, "\xC3\x96" "ffnung");
  EXPECT_EQ(aperture.units, "Blende \xC2\xBD|f");
  EXPECT_EQ(model.name, "Kamera \xE7\x9B\xB8");
#endif
  EXPECT_EQ(latin.name, "\xD6" "ffnung");
}

TEST(ModuleEnumeration, SmallAndMissingBuffers) {
  PluginDir plugin;
  plugin.WriteConfig(kConfig);
  host::Module& m = plugin.Load();
  const Enumerated cut = Field(m, 1, 5);
  EXPECT_EQ(cut.type, 1);
  EXPECT_EQ(cut.name, "ISO ");
  EXPECT_EQ(cut.units, "Defa");
  EXPECT_EQ(m.GetSupportedField(1, nullptr, nullptr, 64), 1);
  char name[4] = "abc";
  EXPECT_EQ(m.GetSupportedField(0, name, nullptr, 0), 11);
  EXPECT_STREQ(name, "abc");
}

TEST(ModuleEnumeration, LoadsLazilyAndRetriesUntilAFieldIsStored) {
  PluginDir plugin;
  host::Module& m = plugin.Load();
  EXPECT_EQ(Field(m, 0).type, 0);  // no Config.txt yet
  char buffer[64];
  EXPECT_EQ(m.GetValueW(const_cast<HostWideChar*>(reinterpret_cast<const HostWideChar*>(u"C:\\a.jpg")),
                        0, 0, buffer, 32, 0),
            -1);
  plugin.WriteConfig("2 F\t0\nexiftool\nx\n0\tModel\t0\tft_string\t0\t1\tOff\n");
  EXPECT_EQ(Field(m, 0).type, 0);  // read again, still nothing stored
  plugin.WriteConfig(kConfig);
  EXPECT_EQ(Field(m, -1).type, 0);  // this call loads
  plugin.WriteConfig("1 S\t0\nexiftool\nx\n8 Other\n");
  EXPECT_EQ(Field(m, 0).name, "Camera model");  // never read again
  EXPECT_EQ(Field(m, 2).type, 10);
}

TEST(ModuleEnumeration, BundledDefaultConfiguration) {
  PluginDir plugin;
  std::ifstream in(e2e::EnvPath("VELTAMO_SOURCE") / "dist" / "Config.txt", std::ios::binary);
  ASSERT_TRUE(in) << "bundled Config.txt";
  plugin.WriteConfig(std::string(std::istreambuf_iterator<char>(in), {}));
  host::Module& m = plugin.Load();
  int count = 0;
  while (Field(m, count).type != 0) ++count;
  EXPECT_GE(count, 10);
  EXPECT_EQ(Field(m, 0).name, "Camera make");
}

TEST(ModuleValue, NothingBeforeEnumerationAndDelayedCallsTouchNothing) {
  PluginDir plugin;
  plugin.WriteConfig(kConfig);
  host::Module& m = plugin.Load();
  char16_t name[] = u"C:\\a.jpg";
  auto* hostName = reinterpret_cast<HostWideChar*>(name);
  char narrow[] = "C:\\a.jpg";
  unsigned char buffer[16];
  std::memset(buffer, 0xAB, sizeof buffer);
  EXPECT_EQ(m.GetValueW(hostName, 0, 0, buffer, 8, 0), -1);  // nothing loaded yet
  EXPECT_EQ(m.GetValue(narrow, 0, 0, buffer, 8, 0), -1);
  EXPECT_EQ(m.GetValueW(hostName, 0, 0, buffer, 8, 1), 0);
  EXPECT_EQ(m.GetValue(narrow, 0, 0, buffer, 8, 3), 0);
  EXPECT_EQ(buffer[0], 0xAB);
  EXPECT_EQ(std::u16string(name), u"C:\\a.jpg");
}

}  // namespace

#ifdef _WIN32
namespace {

TEST(ModuleResources, VersionInfoAndManifest) {
  const std::wstring path = e2e::EnvPath("VELTAMO_MODULE").wstring();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length));
  EXPECT_EQ(info->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(info->dwFileVersionLS, 0x00000004u);
  EXPECT_EQ(info->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(info->dwProductVersionLS, 0x00000004u);
  EXPECT_EQ(info->dwFileType, static_cast<DWORD>(VFT_DLL));

  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
  const std::string xml(text, SizeofResource(module, manifest));
  EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(xml.find("<dpiAware"), std::string::npos);
  FreeLibrary(module);
}

}  // namespace
#endif
