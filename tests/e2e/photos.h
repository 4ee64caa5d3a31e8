// The test photos, the columns asked for them, and what one-shot exiftool
// printed for each (expected.tsv, made by make_photos.sh).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "e2e/plugin_dir.h"
#include "host/utf.h"

namespace e2e {

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
    {"ImageDescription", "ft_stringw", "", 11},
    {"Software", "ft_stringw", "", 11},
    {"Copyright", "ft_stringw", "", 11},
    {"DateTimeOriginal", "ft_datetime", "#", 10},
};

const char* const kPhotos[] = {
    "canon.jpg",      "nikon café ünï.jpg",     "scan 01.tif",
    "odd values.jpg", "long model.jpg",         "unknown makernotes.jpg",
    "truncated.jpg",  "random bytes.jpg",       "empty.jpg"};

inline std::string ConfigFor(const std::string& toolPath, const std::string& header = "0") {
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

inline std::string ToolPath() { return host::NativePath(e2e::Env("VELTAMO_TOOL")); }

// What one-shot exiftool printed: (photo, tag, "text" or "number") -> value.
using Expected = std::map<std::tuple<std::string, std::string, std::string>, std::string>;

inline const Expected& ExpectedValues() {
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

inline std::u16string Utf16(const std::string& utf8) { return host::ToUtf16(utf8); }

inline std::u16string PhotoPath(const std::string& photo) {
  return Utf16(host::NativePath(e2e::Env("VELTAMO_PHOTOS") + "/" + photo));
}

// The file time that a tool date "YYYY:MM:DD hh:mm:ss[zone]" names; the
// tests run with TZ=UTC, so a date without zone is UTC too.
inline std::uint64_t FileTimeOf(const std::string& date) {
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
  unsigned char bytes[32768 * 2 + 2];
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

// `maxLength` is the buffer's size in bytes, as real hosts give it.
inline Value Get(host::Module& m, const std::u16string& file, int field, int unit = 0,
                 int maxLength = sizeof(Value::bytes)) {
  Value v;
  std::memset(v.bytes, 0, sizeof v.bytes);
  std::u16string name = file;
  v.result = m.GetValueW(reinterpret_cast<HostWideChar*>(name.data()), field, unit, v.bytes,
                         maxLength, 0);
  EXPECT_EQ(name, file) << "the host's file name must stay as it was";
  return v;
}


// The value the module must give for column `field` of `photo` in the form
// of unit `unitIndex`, read from expected.tsv by the column's type; empty
// when it matches.
inline std::string Mismatch(const std::string& photo, int field, const Value& v,
                            int unitIndex = 0) {
  const Column& c = kColumns[field];
  std::string units = c.units;
  for (int i = 0; i < unitIndex && units.find('|') != std::string::npos; ++i)
    units = units.substr(units.find('|') + 1);
  const std::string unit = units.substr(0, units.find('|'));
  const bool numeric = !unit.empty() && unit != "Default";
  const auto it = ExpectedValues().find({photo, c.tag, numeric ? "number" : "text"});
  if (it == ExpectedValues().end()) return "no expected value";
  const std::string& expected = it->second;
  const std::string what = photo + " / " + c.tag + " / " + c.type + " [" + unit +
                           "]: expected \"" + expected + "\", result " +
                           std::to_string(v.result);
  if (expected.empty()) return v.result == -3 ? "" : what;
  // A number field's "Default" unit gives the tool's text; any other unit
  // the number.
  const std::string type = c.type;
  int code = c.code;
  if (type.rfind("ft_numeric", 0) == 0)
    code = unit == "Default" ? 11 : type == "ft_numeric_32" ? 1 : type == "ft_numeric_64" ? 2 : 3;
  if (v.result != code) return what;
  const std::string given = code == 11 ? ", given \"" + host::ToUtf8(v.Text()) + "\"" : "";
  bool same = false;
  switch (code) {
    case 11: same = v.Text() == Utf16(expected); break;
    case 1: same = v.As<std::int32_t>() == std::atoi(expected.c_str()); break;
    case 2: same = v.As<std::int64_t>() == std::atoll(expected.c_str()); break;
    case 3: same = v.As<double>() == std::strtod(expected.c_str(), nullptr); break;
    case 10: same = v.As<std::uint64_t>() == FileTimeOf(expected); break;
  }
  return same ? "" : what + given;
}

}  // namespace e2e
