#include "one_shot.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <utility>

#include "common.h"
#include "platform/platform.h"
#include "tool/requests.h"

extern char** environ;

namespace bench {

namespace {

std::string Separator(std::size_t k) { return "{veltamo one-shot " + std::to_string(k) + "}"; }

// Runs the tool once over `requests`, each followed by a separator that
// Exiftool prints once the request is done ("-echo3") and "-execute"; the
// replies in order.
std::vector<std::u16string> RunOnce(const std::string& toolPath,
                                    const std::vector<std::string>& requests,
                                    const std::string& base) {
  std::vector<std::u16string> replies;
  if (requests.empty()) return replies;
  std::string args;
  for (std::size_t k = 0; k < requests.size(); ++k)
    args += requests[k] + "-echo3\n" + Separator(k) + "\n-execute\n";
  const std::string argFile = base + ".args", outFile = base + ".out";
  WriteFile(argFile, args);

  const std::vector<std::string> words{toolPath, "-charset", "FileName=UTF8", "-@", argFile};
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (result != 0) Fail("cannot start " + toolPath + ": " + std::strerror(result));
  int status = 0;
  waitpid(pid, &status, 0);

  const std::string out = ReadFile(outFile);
  std::size_t from = 0;
  for (std::size_t k = 0; k < requests.size(); ++k) {
    const std::string line = Separator(k) + "\n";
    std::size_t at = from;
    while ((at = out.find(line, at)) != std::string::npos && at != 0 && out[at - 1] != '\n') ++at;
    if (at == std::string::npos)
      Fail("one-shot " + toolPath + " gave no reply to request " + std::to_string(k + 1) + " of " +
           std::to_string(requests.size()) + " (see " + outFile + ")");
    replies.push_back(platform::Utf8ToUtf16(out.substr(from, at - from)));
    from = at + line.size();
  }
  return replies;
}

}  // namespace

std::vector<Value> OneShotValues(const BenchConfig& config, const std::vector<Photo>& photos,
                                 const std::string& toolPath, const std::string& workDir) {
  const std::size_t fields = config.fields.size();
  std::vector<Reading> readings(photos.size() * fields);

  // First each file's batch, as the module sends it for the first field
  // that a batch answers.
  bool anyBatched = false;
  for (const FieldInfo& field : config.fields) anyBatched = anyBatched || field.batchIndex >= 0;
  std::vector<std::vector<tool::BatchValue>> batches(photos.size());
  if (anyBatched) {
    std::vector<std::string> requests;
    for (const Photo& photo : photos)
      requests.push_back(tool::BuildBatchRequest(config.batchKeys, photo.path));
    const std::vector<std::u16string> replies =
        RunOnce(toolPath, requests, workDir + "/one-shot-batches");
    for (std::size_t i = 0; i < photos.size(); ++i)
      batches[i] = tool::ReadBatchReply(replies[i], config.batchKeys, platform::kToolLineEndLength);
  }

  // Then, once per file and tag form, what a batch did not answer.
  std::vector<std::string> requests;
  std::vector<std::vector<std::size_t>> askedFor;  // the readings each request answers
  for (std::size_t i = 0; i < photos.size(); ++i) {
    std::vector<std::pair<tool::TagKey, std::size_t>> alone;  // key, request index
    for (std::size_t f = 0; f < fields; ++f) {
      const FieldInfo& field = config.fields[f];
      Reading& reading = readings[i * fields + f];
      if (!field.asked) continue;
      reading.asked = true;
      if (field.batchIndex >= 0 && batches[i][field.batchIndex]) {
        reading.text = *batches[i][field.batchIndex];
        continue;
      }
      std::size_t k = requests.size();
      for (const auto& a : alone)
        if (a.first == field.key) k = a.second;
      if (k == requests.size()) {
        alone.emplace_back(field.key, k);
        requests.push_back(tool::BuildTagRequest(field.tag, field.key.numeric, photos[i].path));
        askedFor.emplace_back();
      }
      askedFor[k].push_back(i * fields + f);
    }
  }
  const std::vector<std::u16string> replies =
      RunOnce(toolPath, requests, workDir + "/one-shot-tags");
  for (std::size_t k = 0; k < replies.size(); ++k)
    for (std::size_t at : askedFor[k]) readings[at] = OneTagReading(replies[k]);

  std::vector<Value> values;
  values.reserve(readings.size());
  for (std::size_t i = 0; i < readings.size(); ++i) {
    Reading& reading = readings[i];
    // An empty text is no value, as for a one-tag reply.
    if (reading.text && reading.text->empty()) reading.text.reset();
    values.push_back(Deliver(config.fields[i % fields], reading));
  }
  return values;
}

}  // namespace bench
