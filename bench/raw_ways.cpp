// The raw loops: what the module's exchanges cost without the module.
#include <algorithm>
#include <optional>
#include <utility>

#include "platform/platform.h"
#include "plugin/delivery.h"
#include "raw_tool.h"
#include "tool/requests.h"
#include "ways.h"

namespace bench {

namespace {

// What the module makes of a one-tag reply: its line end dropped, an empty
// reply no value.
std::optional<std::u16string> OneTagValue(std::u16string reply) {
  plugin::TrimReplyLineEnd(reply);
  if (reply.empty()) return std::nullopt;
  return reply;
}

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
      std::optional<std::u16string> value = OneTagValue(
          tool_->Ask(tool::BuildTagRequest(field.tag, field.key.numeric, photo.path)));
      if (out != nullptr) out[f] = {true, std::move(value)};
    }
  }
};

// One batch request per file, as the batched module sends it at the file's
// first field that a batch answers; a field the batch leaves open, or that
// no batch answers, is asked alone once per file.
class RawAllTagsWay : public RawWay {
 public:
  using RawWay::RawWay;

  void FillFile(const Photo& photo, Kept* keep, std::size_t at) override {
    Reading* out = Slot(keep, at);
    bool batched = false;
    std::vector<tool::BatchValue> batch;
    alone_.clear();
    for (std::size_t f = 0; f < config_.fields.size(); ++f) {
      const FieldInfo& field = config_.fields[f];
      if (!field.asked) continue;
      std::optional<std::u16string> value;
      bool answered = false;
      if (field.batchIndex >= 0) {
        if (!batched) {
          batch = tool::ReadBatchReply(
              tool_->Ask(tool::BuildBatchRequest(config_.batchKeys, photo.path)),
              config_.batchKeys, platform::kToolLineEndLength);
          batched = true;
        }
        if (const tool::BatchValue& known = batch[field.batchIndex]) {
          value = *known;
          answered = true;
        }
      }
      if (!answered) {
        const auto seen = std::find_if(alone_.begin(), alone_.end(),
                                       [&](const auto& a) { return a.first == field.key; });
        if (seen != alone_.end()) {
          value = seen->second;
        } else {
          value = OneTagValue(
              tool_->Ask(tool::BuildTagRequest(field.tag, field.key.numeric, photo.path)));
          alone_.emplace_back(field.key, value);
        }
      }
      // An empty text is no value, as for a one-tag reply.
      if (value && value->empty()) value.reset();
      if (out != nullptr) out[f] = {true, std::move(value)};
    }
  }

 private:
  std::vector<std::pair<tool::TagKey, std::optional<std::u16string>>> alone_;
};

}  // namespace

std::unique_ptr<Way> MakeRawOneTagWay(const BenchConfig& config, const std::string& toolPath) {
  return std::make_unique<RawOneTagWay>("raw one-tag loop", config, toolPath);
}

std::unique_ptr<Way> MakeRawAllTagsWay(const BenchConfig& config, const std::string& toolPath) {
  return std::make_unique<RawAllTagsWay>("raw all-tags loop", config, toolPath);
}

}  // namespace bench
