// Fill time of a file manager's view for the Windows module with Exiftool's
// Windows package beside it, run under Wine: every field of Config.txt for
// every photo, asked file by file and field by field as a host asks
// (ContentGetValueW, unit index 0, a 2049-byte buffer). Each round copies
// the module into a plugin folder of its own with Config.txt, exiftool.exe
// and exiftool_files/ (as a user installs them), loads it, lets the tool
// answer a few names that no round times, then times the view. Medians
// over the rounds.
//
//   veltamo_win_fill MODULE CONFIG TOOL_EXE PHOTOS_DIR WORK_DIR [ROUNDS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "host/module_loader.h"
#include "host/utf.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kHostBufferBytes = 2049;

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "veltamo_win_fill: %s\n", message.c_str());
  std::exit(2);
}

fs::path Arg(const char* text) { return fs::u8path(host::NativePath(text)); }

void HardLinkOrCopy(const fs::path& from, const fs::path& to) {
  std::error_code linked;
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::create_hard_links, linked);
  if (linked) {
    fs::remove_all(to);
    fs::copy(from, to, fs::copy_options::recursive);
  }
}

// The plugin folder of one round; returns the module's path in it.
fs::path MakePluginDir(const fs::path& dir, const fs::path& module, const fs::path& config,
                       const fs::path& tool) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(module, dir / module.filename());
  fs::copy_file(config, dir / "Config.txt");
  fs::copy_file(tool, dir / tool.filename());
  HardLinkOrCopy(tool.parent_path() / "exiftool_files", dir / "exiftool_files");
  return dir / module.filename();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) Fail("usage: MODULE CONFIG TOOL_EXE PHOTOS_DIR WORK_DIR [ROUNDS]");
  const fs::path module = Arg(argv[1]), config = Arg(argv[2]), tool = Arg(argv[3]);
  const fs::path photosDir = Arg(argv[4]), work = Arg(argv[5]);
  const int rounds = argc > 6 ? std::max(1, std::atoi(argv[6])) : 1;

  std::vector<std::u16string> photos, warmUp;
  for (const fs::directory_entry& e : fs::directory_iterator(photosDir))
    if (e.is_regular_file() && e.path().extension() == ".jpg")
      photos.push_back(host::ToUtf16(fs::absolute(e.path()).u8string()));
  std::sort(photos.begin(), photos.end());
  if (photos.size() < 4) Fail("fewer than 4 .jpg photos in " + photosDir.u8string());
  // The tool's first replies are for photos that no round times.
  warmUp.assign(photos.end() - 3, photos.end());
  photos.resize(photos.size() - 3);

  std::vector<double> seconds;
  std::size_t fields = 0, values = 0, empty = 0, failed = 0;
  for (int round = 0; round < rounds; ++round) {
    host::Module m;
    const fs::path copy =
        MakePluginDir(work / ("round-" + std::to_string(round + 1)), module, config, tool);
    if (!m.Load(copy.u8string())) Fail("cannot load " + copy.u8string());
    m.SetDefaults();
    char name[1024], units[1024];
    fields = 0;
    while (m.GetSupportedField(static_cast<int>(fields), name, units, sizeof name) != 0) ++fields;
    if (fields == 0) Fail("no fields in " + config.u8string());
    alignas(8) unsigned char buffer[kHostBufferBytes];
    auto fill = [&](std::u16string photo, bool count) {
      for (std::size_t f = 0; f < fields; ++f) {
        const int code = m.GetValueW(reinterpret_cast<HostWideChar*>(photo.data()),
                                     static_cast<int>(f), 0, buffer, kHostBufferBytes, 0);
        if (!count) continue;
        if (code > 0) ++values;
        else if (code == -3) ++empty;
        else ++failed;
      }
    };
    for (const std::u16string& photo : warmUp) fill(photo, false);
    const Clock::time_point start = Clock::now();
    for (const std::u16string& photo : photos) fill(photo, round == 0);
    seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    m.Unload();
    std::printf("round %d: %.2f s\n", round + 1, seconds.back());
  }
  const double fill = Median(seconds);
  const double asked = static_cast<double>(photos.size() * fields);
  std::printf("%zu photos x %zu fields, %d round(s), median fill %.2f s: %.2f ms a file, "
              "%.1f values/s\n",
              photos.size(), fields, rounds, fill, 1000.0 * fill / photos.size(), asked / fill);
  std::printf("first round: %zu values, %zu empty (tag not in the file), %zu failed\n", values,
              empty, failed);
  return failed == 0 && values > 0 ? 0 : 1;
}
