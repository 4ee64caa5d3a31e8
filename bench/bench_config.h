// The benchmark's view of the configuration: the fields of Config.txt as the
// module reads them (with the module's own reader), what the module asks the
// tool for each of them, and the photos whose rows are filled.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tool/requests.h"

namespace bench {

// One field and the request behind its value at unit index 0.
struct FieldInfo {
  std::string name;   // column name
  std::string units;  // "|"-separated entries, as the host is told them
  int type = 11;      // host field type code
  std::string tag;    // what the tool is asked for
  std::u16string unit;  // entry 0 of `units`, as the module picks it
  // Whether the module sends the tool anything at all for this field (not
  // for a "-" column or a tag that is not a plain read).
  bool asked = false;
  tool::TagKey key;   // the tag and its form (readable or plain number)
  // Position of `key` in the batch keys; -1 when a batch cannot answer it.
  int batchIndex = -1;
};

struct BenchConfig {
  std::string text;  // Config.txt as written beside each module copy
  std::vector<FieldInfo> fields;
  // What the batched module asks for in a file's one request, in its order.
  std::vector<tool::TagKey> batchKeys;
};

// Reads Config.txt at `path`, puts `toolPath` on its tool line and works
// out each field's request as the module does.
BenchConfig ReadBenchConfig(const std::string& path, const std::string& toolPath);
// The indices of all of `config`'s fields, in order.
std::vector<int> AllFields(const BenchConfig& config);

// A file as the host names it.
struct Photo {
  std::string path;
  std::u16string wide;
};
std::vector<Photo> ToPhotos(const std::vector<std::string>& paths);

// A plugin folder of the benchmark's own: a copy of the module at
// `modulePath` beside the configuration. Returns the copy's path.
std::string MakePluginDir(const std::string& dir, const std::string& modulePath,
                          const BenchConfig& config);

}  // namespace bench
