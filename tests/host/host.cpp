// A small file-manager stand-in: loads the plugin module, lists its fields
// and shows their values for a folder of photos, as a user would see them.
//
//   veltamo_host MODULE list
//   veltamo_host MODULE table FOLDER
//   veltamo_host MODULE get FILE FIELD [UNIT]
//   veltamo_host MODULE hold FILE FIELD [UNIT]
//       gets the value, says "holding" and waits two minutes with the
//       module loaded (for tests that kill a host)
//   veltamo_host probe FOLDER CONFIG MODULE [TOOL]
//       copies MODULE and CONFIG (and TOOL, if given) into a fresh folder, so
//       that the module reads that Config.txt, and shows FOLDER's table.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/module_loader.h"
#include "host/utf.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::u16string Utf16(const fs::path& path) {
#ifdef _WIN32
  const std::wstring w = path.wstring();
  return std::u16string(w.begin(), w.end());
#else
  return host::ToUtf16(path.u8string());
#endif
}

std::size_t DisplayWidth(const std::string& utf8) {
  return std::count_if(utf8.begin(), utf8.end(),
                       [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
}

std::string Fit(const std::string& utf8, std::size_t width) {
  if (DisplayWidth(utf8) <= width) return utf8 + std::string(width - DisplayWidth(utf8), ' ');
  std::string out;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const bool lead = (static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80;
    if (lead && ++shown > width - 1) break;
    out += utf8[i];
  }
  return out + "~";
}

struct FieldInfo {
  int type;
  std::string name, units;
};

std::vector<FieldInfo> Fields(host::Module& m) {
  std::vector<FieldInfo> fields;
  for (int i = 0;; ++i) {
    char name[256] = {}, units[1024] = {};
    const int type = m.GetSupportedField(i, name, units, sizeof name);
    if (type == 0) break;
    fields.push_back({type, name, units});
  }
  return fields;
}

std::string FileTimeText(std::uint64_t fileTime) {
  if (fileTime == 0) return "(no date)";
  std::int64_t seconds = static_cast<std::int64_t>(fileTime / 10000000u) - 11644473600LL;
  std::int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  const int secondOfDay = static_cast<int>(seconds - days * 86400);
  // Civil date from days since 1970-01-01.
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02d:%02d:%02d UTC",
                static_cast<long long>(year), month, day, secondOfDay / 3600,
                secondOfDay / 60 % 60, secondOfDay % 60);
  return text;
}

std::string Render(int result, const unsigned char* value) {
  char text[64];
  switch (result) {
    case 0: return "(later)";
    case -1: return "(n/a)";
    case -2: return "(filtered)";
    case -3: return "";
    case 1: {
      std::int32_t v;
      std::memcpy(&v, value, sizeof v);
      return std::to_string(v);
    }
    case 2: {
      std::int64_t v;
      std::memcpy(&v, value, sizeof v);
      return std::to_string(v);
    }
    case 3: {
      double v;
      std::memcpy(&v, value, sizeof v);
      std::snprintf(text, sizeof text, "%.6g", v);
      return text;
    }
    case 10: {
      std::uint64_t v;
      std::memcpy(&v, value, sizeof v);
      return FileTimeText(v);
    }
    case 11: return host::ToUtf8(reinterpret_cast<const char16_t*>(value));
    default: std::snprintf(text, sizeof text, "(type %d)", result); return text;
  }
}

std::string Value(host::Module& m, const fs::path& file, int field, int unit) {
  static unsigned char buffer[8192];
  std::memset(buffer, 0, sizeof buffer);
  std::u16string name = Utf16(file);
  const int result = m.GetValueW(reinterpret_cast<HostWideChar*>(name.data()), field, unit,
                                 buffer, sizeof buffer, 0);  // its size in bytes, as hosts give it
  return Render(result, buffer);
}

// The extensions of the detect string: EXT="JPG"|EXT="TIF"...
bool Detected(host::Module& m, const fs::path& file) {
  char detect[512];
  m.GetDetectString(detect, sizeof detect);
  std::string ext = file.extension().u8string();
  if (ext.empty()) return false;
  ext = ext.substr(1);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return std::string(detect).find("EXT=\"" + ext + "\"") != std::string::npos;
}

int List(host::Module& m) {
  const std::vector<FieldInfo> fields = Fields(m);
  std::printf("%zu fields\n", fields.size());
  for (std::size_t i = 0; i < fields.size(); ++i)
    std::printf("%2zu  %-24s type %-3d sort %-2d units \"%s\"\n", i, fields[i].name.c_str(),
                fields[i].type, m.GetDefaultSortOrder(static_cast<int>(i)),
                fields[i].units.c_str());
  return fields.empty() ? 1 : 0;
}

int Table(host::Module& m, const fs::path& given) {
  // The module takes only full names, as a host gives them.
  std::error_code error;
  const fs::path folder = fs::absolute(given, error);
  const std::vector<FieldInfo> fields = Fields(m);
  if (fields.empty()) {
    std::printf("The module offers no fields: is Config.txt beside it?\n");
    return 1;
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.is_regular_file() && Detected(m, entry.path())) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  if (error || files.empty()) {
    std::printf("No photos in %s\n", folder.u8string().c_str());
    return 1;
  }
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> header{"File"};
  for (const FieldInfo& f : fields) header.push_back(f.name);
  rows.push_back(header);
  for (const fs::path& file : files) {
    std::vector<std::string> row{file.filename().u8string()};
    for (std::size_t i = 0; i < fields.size(); ++i)
      row.push_back(Value(m, file, static_cast<int>(i), 0));
    rows.push_back(row);
  }
  // Transposed when wide: one block per file reads better than 15 columns.
  std::size_t nameWidth = 0;
  for (const std::string& h : header) nameWidth = std::max(nameWidth, DisplayWidth(h));
  const std::size_t valueWidth = 30;
  for (std::size_t start = 1; start < rows.size(); start += 3) {
    const std::size_t end = std::min(rows.size(), start + 3);
    for (std::size_t col = 0; col < header.size(); ++col) {
      std::string line = Fit(header[col], nameWidth) + " |";
      for (std::size_t r = start; r < end; ++r) line += " " + Fit(rows[r][col], valueWidth) + " |";
      std::printf("%s\n", line.c_str());
      if (col == 0) {
        std::string rule(nameWidth + 1, '-');
        rule += '+';
        for (std::size_t r = start; r < end; ++r) rule += std::string(valueWidth + 2, '-') + "+";
        std::printf("%s\n", rule.c_str());
      }
    }
    std::printf("\n");
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: veltamo_host MODULE list | table FOLDER | get FILE FIELD [UNIT]\n"
               "       veltamo_host MODULE hold FILE FIELD [UNIT]   (get, then wait)\n"
               "       veltamo_host probe FOLDER CONFIG MODULE [TOOL]\n");
  return 2;
}

int Run(const std::vector<std::string>& args) {
  if (args.size() >= 4 && args[0] == "probe") {
    const fs::path dir = fs::temp_directory_path() / "veltamo-probe";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path module = fs::u8path(args[3]);
    fs::copy_file(fs::u8path(args[2]), dir / "Config.txt");
    fs::copy_file(module, dir / module.filename());
    if (args.size() >= 5) {
      // The tool as it is installed: with the folder of its own runtime
      // (exiftool_files, in the Windows package) when it has one.
      const fs::path tool = fs::u8path(args[4]);
      fs::copy_file(tool, dir / tool.filename());
      const fs::path runtime = tool.parent_path() / "exiftool_files";
      if (fs::is_directory(runtime))
        fs::copy(runtime, dir / "exiftool_files", fs::copy_options::recursive);
    }
    int status;
    {
      host::Module m;
      if (!m.Load((dir / module.filename()).u8string())) {
        std::fprintf(stderr, "cannot load %s\n", args[3].c_str());
        return 1;
      }
      m.SetDefaults();
      status = Table(m, fs::u8path(args[1]));
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return status;
  }
  if (args.size() < 2) return Usage();
  host::Module m;
  if (!m.Load(args[0])) {
    std::fprintf(stderr, "cannot load %s\n", args[0].c_str());
    return 1;
  }
  m.SetDefaults();
  if (args[1] == "list") return List(m);
  if (args[1] == "table" && args.size() == 3) return Table(m, fs::u8path(args[2]));
  if ((args[1] == "get" || args[1] == "hold") && args.size() >= 4) {
    Fields(m);
    std::printf("%s\n", Value(m, fs::absolute(fs::u8path(args[2])), std::stoi(args[3]),
                              args.size() > 4 ? std::stoi(args[4]) : 0)
                            .c_str());
    if (args[1] == "hold") {
      // Stays with the module loaded and its tool running, to be killed.
#ifdef _WIN32
      std::printf("holding, process %lu\n", GetCurrentProcessId());
#else
      std::printf("holding, process %ld\n", static_cast<long>(getpid()));
#endif
      std::fflush(stdout);
      std::this_thread::sleep_for(std::chrono::seconds(120));
    }
    return 0;
  }
  return Usage();
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(host::ToUtf8(std::u16string(argv[i], argv[i] + wcslen(argv[i]))));
  return Run(args);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
