// The two modules as ways to fill the view: each round a fresh copy of the
// module, loaded from a plugin folder of its own, asked through its exports.
#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "common.h"
#include "module_calls.h"
#include "ways.h"

namespace bench {

void LoadModule(host::Module& module, const std::string& path, const BenchConfig& config) {
  if (!module.Load(path)) {
    const char* why = dlerror();
    Fail("cannot load " + path + (why ? std::string(": ") + why : std::string()));
  }
  module.SetDefaults();
  for (std::size_t i = 0;; ++i) {
    char name[1024] = {0}, units[1024] = {0};
    const int type = module.GetSupportedField(static_cast<int>(i), name, units, sizeof name);
    if (type == 0) {
      if (i != config.fields.size())
        Fail(path + " offers " + std::to_string(i) + " fields, Config.txt has " +
             std::to_string(config.fields.size()));
      return;
    }
    if (i >= config.fields.size() || config.fields[i].name != name ||
        config.fields[i].units != units || config.fields[i].type != type)
      Fail("field " + std::to_string(i) + " of " + path + " (\"" + name +
           "\") is not the one read from Config.txt");
  }
}

int AskModule(host::Module& module, const Photo& photo, int field, unsigned char* buffer,
              int flags) {
  return module.GetValueW(
      reinterpret_cast<HostWideChar*>(const_cast<char16_t*>(photo.wide.c_str())), field, 0,
      buffer, kHostBufferBytes, flags);
}

namespace {

class ModuleWay : public Way {
 public:
  ModuleWay(const std::string& name, const BenchConfig& config, std::string modulePath,
            std::string workDir, bool batching)
      : Way(name),
        config_(config),
        modulePath_(std::move(modulePath)),
        workDir_(std::move(workDir)),
        batching_(batching) {}

  void Start(int round, const std::vector<Photo>& warmUp) override {
    const std::string folder = workDir_ + "/round-" + std::to_string(round + 1) + "/" +
                               (batching_ ? "batched" : "unbatched");
    const std::vector<pid_t> before = ChildPids();
    LoadModule(module_, MakePluginDir(folder, modulePath_, config_), config_);
    for (const Photo& photo : warmUp) FillFile(photo, nullptr, 0);
    toolPid_ = -1;
    for (pid_t pid : ChildPids())
      if (std::find(before.begin(), before.end(), pid) == before.end()) toolPid_ = pid;
    if (toolPid_ < 0) Fail(Name() + ": no tool process started");
    CheckBuild(warmUp.front());
  }

  void FillFile(const Photo& photo, Kept* keep, std::size_t at) override {
    const int fields = static_cast<int>(config_.fields.size());
    if (keep != nullptr && keep->values.size() < at + fields) keep->values.resize(at + fields);
    for (int f = 0; f < fields; ++f) {
      const int code = AskModule(module_, photo, f, buffer_);
      if (keep != nullptr) keep->values[at + f] = FromBuffer(code, buffer_);
    }
  }

  void Stop() override {
    module_.Unload();
    toolPid_ = -1;
  }

  pid_t ToolPid() const override { return toolPid_; }

 private:
  // The module must be the build it is taken for: a file it has just
  // answered is answered again at once (delay-if-slow) only by the module
  // that keeps values.
  void CheckBuild(const Photo& answered) {
    for (int f = 0; f < static_cast<int>(config_.fields.size()); ++f) {
      if (!config_.fields[f].asked) continue;
      const int code = AskModule(module_, answered, f, buffer_, 1);
      const bool kept = code != 0;
      if (kept != batching_)
        Fail(Name() + " (" + modulePath_ + ") " +
             (kept ? "keeps values: it is not the build without batching"
                   : "keeps nothing: it is not the build with batching"));
      return;
    }
  }

  const BenchConfig& config_;
  const std::string modulePath_, workDir_;
  const bool batching_;
  host::Module module_;
  pid_t toolPid_ = -1;
  alignas(8) unsigned char buffer_[kHostBufferBytes];
};

}  // namespace

std::unique_ptr<Way> MakeModuleWay(const std::string& name, const BenchConfig& config,
                                   const std::string& modulePath, const std::string& workDir,
                                   bool batching) {
  return std::make_unique<ModuleWay>(name, config, modulePath, workDir, batching);
}

}  // namespace bench
