// A plugin directory of a test's own: a copy of the module beside a
// Config.txt that the test writes, loaded as a host loads it.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "host/module_loader.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace e2e {

namespace fs = std::filesystem;

inline std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Environment paths come from the POSIX side; see host::NativePath.
inline fs::path EnvPath(const char* name) { return fs::u8path(host::NativePath(Env(name))); }

// Puts the program `from` at `to` as a user installs it: with the folder of
// support files it runs from, when it has one beside it (exiftool_files/ of
// the Windows package, lib/ of the Perl distribution). The folder is
// hard-linked where the file system allows it, copied otherwise.
inline void PlaceTool(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_all, fs::perm_options::add);
  for (const char* support : {"exiftool_files", "lib"}) {
    const fs::path folder = from.parent_path() / support;
    if (!fs::is_directory(folder)) continue;
    const fs::path target = to.parent_path() / support;
    if (fs::exists(target)) continue;
    std::error_code linked;
    fs::copy(folder, target, fs::copy_options::recursive | fs::copy_options::create_hard_links,
             linked);
    if (linked) {
      fs::remove_all(target);
      fs::copy(folder, target, fs::copy_options::recursive);
    }
  }
}

inline unsigned long ProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}

class PluginDir {
 public:
  PluginDir() {
    static std::atomic<int> counter{0};
    // Named by the process and its start too: two test programs that run
    // side by side (one against each tool) would otherwise make the same
    // folders in turn, and Wine gives a later run the same process ids, so
    // that it met folders an earlier run could not remove (under Wine a
    // file cannot be removed while another link to it is in use).
    static const std::string run = std::to_string(
        std::chrono::system_clock::now().time_since_epoch().count() % 1000000007);
    dir_ = fs::temp_directory_path() / ("veltamo-test-" + std::to_string(ProcessId()) + "-" +
                                        run + "-" + std::to_string(counter++));
    std::error_code stale;
    fs::remove_all(dir_, stale);
    fs::create_directories(dir_);
    const fs::path module = EnvPath("VELTAMO_MODULE");
    modulePath_ = dir_ / module.filename();
    fs::copy_file(module, modulePath_);
  }
  ~PluginDir() {
    module_.Unload();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  const fs::path& dir() const { return dir_; }

  void WriteConfig(const std::string& content) const {
    std::ofstream out(dir_ / "Config.txt", std::ios::binary | std::ios::trunc);
    out << content;
  }

  // The tool under test (VELTAMO_TOOL) installed beside the module; returns
  // the tool line that names it by its bare name, as the bundled Config.txt
  // does.
  std::string InstallTool() const {
    const fs::path tool = EnvPath("VELTAMO_TOOL");
    PlaceTool(tool, dir_ / tool.filename());
    return tool.filename().u8string();
  }

  host::Module& Load() {
    // gtest reports an exception as the test's failure.
    if (!module_.Load(modulePath_.u8string()))
      throw std::runtime_error("cannot load " + modulePath_.u8string());
    module_.SetDefaults();
    return module_;
  }
  host::Module& module() { return module_; }

 private:
  fs::path dir_;
  fs::path modulePath_;
  host::Module module_;
};

}  // namespace e2e
