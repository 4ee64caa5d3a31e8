#include "bench_config.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "common.h"
#include "config/config_loader.h"
#include "config/tag_rule.h"
#include "convert/units.h"
#include "host/utf.h"
#include "plugin/batch_keys.h"

namespace bench {

BenchConfig ReadBenchConfig(const std::string& path, const std::string& toolPath) {
  BenchConfig bench;
  // The tool line (the second) names the tool to measure; the rest of the
  // file stays as it is.
  const std::string original = ReadFile(path);
  const std::size_t first = original.find('\n');
  if (first == std::string::npos) Fail(path + ": too short for a Config.txt");
  const std::size_t second = original.find('\n', first + 1);
  const std::string toolLine =
      original.substr(first + 1, second == std::string::npos ? std::string::npos
                                                             : second - first - 1);
  const std::size_t tab = toolLine.find('\t');
  bench.text = original.substr(0, first + 1) + toolPath +
               (tab == std::string::npos ? std::string() : toolLine.substr(tab)) +
               (second == std::string::npos ? std::string("\n") : original.substr(second));

  config::Configuration configuration;
  std::FILE* file = fmemopen(const_cast<char*>(bench.text.data()), bench.text.size(), "rb");
  if (file == nullptr) Fail("fmemopen");
  config::LoadConfigFrom(configuration, file);
  std::fclose(file);
  if (configuration.fields.empty()) Fail(path + ": no fields");

  // The view asks every field at unit index 0, so the module's batch holds
  // those forms and no others.
  bench.batchKeys = plugin::BatchKeys(configuration.fields, {});
  for (const config::Field& field : configuration.fields) {
    FieldInfo info;
    info.name = field.text.displayName;
    info.units = field.text.units;
    info.type = field.attributes.fieldType;
    info.tag = field.text.RequestTag();
    info.unit = convert::PickUnit(field.text.units, 0);
    info.asked = info.name != "-" && config::IsTagRequest(info.tag);
    info.key = plugin::KeyFor(field, 0);
    const auto at = std::find(bench.batchKeys.begin(), bench.batchKeys.end(), info.key);
    if (info.asked && at != bench.batchKeys.end())
      info.batchIndex = static_cast<int>(at - bench.batchKeys.begin());
    bench.fields.push_back(info);
  }
  return bench;
}

std::vector<Photo> ToPhotos(const std::vector<std::string>& paths) {
  std::vector<Photo> photos;
  photos.reserve(paths.size());
  for (const std::string& path : paths) photos.push_back({path, host::ToUtf16(path)});
  return photos;
}

std::string MakePluginDir(const std::string& dir, const std::string& modulePath,
                          const BenchConfig& config) {
  for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    mkdir(dir.substr(0, slash).c_str(), 0755);
    if (slash == std::string::npos) break;
  }
  const std::string module = ReadFile(modulePath);
  const std::string copy = dir + "/" + modulePath.substr(modulePath.rfind('/') + 1);
  WriteFile(copy, module);
  chmod(copy.c_str(), 0755);
  WriteFile(dir + "/Config.txt", config.text);
  return copy;
}

std::vector<int> AllFields(const BenchConfig& config) {
  std::vector<int> all;
  for (std::size_t f = 0; f < config.fields.size(); ++f) all.push_back(static_cast<int>(f));
  return all;
}

}  // namespace bench
