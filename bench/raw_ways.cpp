// The raw loops: what the module's exchanges cost without the module.
#include <algorithm>
#include <utility>

#include "raw_tool.h"
#include "tool/requests.h"
#include "ways.h"

namespace bench {

namespace {

class RawWay : public Way {
 public:
  RawWay(std::string name, const BenchConfig& config, std::string toolPath)
      : Way(std::move(name)), config_(config), toolPath_(std::move(toolPath)) {}

  void Start(int, const std::vector<Photo>& warmUp) override {
    tool_ = std::make_unique<StayOpenTool>(toolPath_);
    for (const Photo& photo : warmUp) FillFile(photo, nullptr, 0);
  }
  void Stop() override { tool_.reset(); }
  pid_t ToolPid() const override { return tool_ ? tool_->Pid() : -1; }

 protected:
  Reading* Slot(Kept* keep, std::size_t at) {
    if (keep == nullptr) return nullptr;
    if (keep->readings.size() < at + config_.fields.size())
      keep->readings.resize(at + config_.fields.size());
    return &keep->readings[at];
  }

  const BenchConfig& config_;
  const std::string toolPath_;
  std::unique_ptr<StayOpenTool> tool_;
};

// One request per value, as the module sends it without batching.
class RawOneTagWay : public RawWay {
 public:
  using RawWay::RawWay;

  void FillFile(const Photo& photo, Kept* keep, std::size_t at) override {
    Reading* out = Slot(keep, at);
    for (std::size_t f = 0; f < config_.fields.size(); ++f) {
      const FieldInfo& field = config_.fields[f];
      if (!field.asked) continue;
      Reading reading = OneTagReading(
          tool_->Ask(tool::BuildTagRequest(field.tag, field.key.numeric, photo.path)));
      if (out != nullptr) out[f] = std::move(reading);
    }
  }
};

// One batch request per file, as the batched module sends it at the file's
// first field that a batch answers; a field the batch leaves open, or that
// no batch answers, is asked alone once per file.
class RawAllTagsWay : public RawWay {
 public:
  RawAllTagsWay(std::string name, const BenchConfig& config, std::string toolPath)
      : RawWay(std::move(name), config, std::move(toolPath)), all_(AllFields(config)) {}

  void FillFile(const Photo& photo, Kept* keep, std::size_t at) override {
    std::vector<Reading> readings = AskAsTheModule(*tool_, config_, photo, all_);
    if (Reading* out = Slot(keep, at)) std::move(readings.begin(), readings.end(), out);
  }

 private:
  const std::vector<int> all_;
};

}  // namespace

std::unique_ptr<Way> MakeRawOneTagWay(const BenchConfig& config, const std::string& toolPath) {
  return std::make_unique<RawOneTagWay>("raw one-tag loop", config, toolPath);
}

std::unique_ptr<Way> MakeRawAllTagsWay(const BenchConfig& config, const std::string& toolPath) {
  return std::make_unique<RawAllTagsWay>("raw all-tags loop", config, toolPath);
}

}  // namespace bench
