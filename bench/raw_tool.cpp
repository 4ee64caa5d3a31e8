#include "raw_tool.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "common.h"
#include "platform/platform.h"
#include "tool/requests.h"

extern char** environ;

namespace bench {

namespace {

void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(std::string("write to the raw loop's tool: ") + std::strerror(errno));
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}

// The marker numbers start as high as the module's do (it starts at a
// random number of 10 to 19 digits, mostly 18), so that requests are of a like
// length.
constexpr std::uint64_t kFirstId = 100'000'000'000'000'000ull;

}  // namespace

StayOpenTool::StayOpenTool(const std::string& toolPath) : nextId_(kFirstId) {
  const std::vector<std::string> words{toolPath, "-charset", "FileName=UTF8",
                                       "-stay_open", "true", "-@", "-"};
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);

  int out[2], in[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) Fail("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int result = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(in[0]);
  if (result != 0) Fail("cannot start " + toolPath + ": " + std::strerror(result));
  output_ = out[0];
  input_ = in[1];
}

StayOpenTool::~StayOpenTool() {
  WriteAll(input_, "-stay_open\nFalse\n");
  close(input_);
  char sink[4096];
  while (read(output_, sink, sizeof sink) > 0) {
  }
  close(output_);
  int status = 0;
  waitpid(pid_, &status, 0);
}

std::u16string StayOpenTool::Ask(std::string_view commands) {
  const std::string id = std::to_string(nextId_++);
  request_.assign(commands);
  request_.append("-execute").append(id).push_back('\n');
  WriteAll(input_, request_);

  const std::string marker = "{ready" + id + "}\n";
  received_.clear();
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(output_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("the raw loop's tool ended");
    received_.append(buffer, static_cast<std::size_t>(n));
    const std::size_t at = received_.size() - std::min(received_.size(), marker.size());
    if (received_.size() >= marker.size() && received_.compare(at, marker.size(), marker) == 0 &&
        (at == 0 || received_[at - 1] == '\n')) {
      received_.resize(at);
      return platform::Utf8ToUtf16(received_);
    }
  }
}

std::vector<Reading> AskAsTheModule(StayOpenTool& tool, const BenchConfig& config,
                                    const Photo& photo, const std::vector<int>& fields) {
  std::vector<Reading> readings(fields.size());
  std::optional<std::vector<tool::BatchValue>> batch;
  std::vector<std::pair<tool::TagKey, Reading>> alone;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const FieldInfo& field = config.fields[fields[i]];
    if (!field.asked) continue;
    Reading& reading = readings[i];
    if (field.batchIndex >= 0) {
      if (!batch)
        batch = tool::ReadBatchReply(
            tool.Ask(tool::BuildBatchRequest(config.batchKeys, photo.path)), config.batchKeys,
            platform::kToolLineEndLength);
      if (const tool::BatchValue& known = (*batch)[field.batchIndex]) {
        reading.asked = true;
        if (*known && !(*known)->empty()) reading.text = *known;
        continue;
      }
    }
    const auto seen = std::find_if(alone.begin(), alone.end(),
                                   [&](const auto& a) { return a.first == field.key; });
    if (seen != alone.end()) {
      reading = seen->second;
    } else {
      reading = OneTagReading(
          tool.Ask(tool::BuildTagRequest(field.tag, field.key.numeric, photo.path)));
      alone.emplace_back(field.key, reading);
    }
  }
  return readings;
}

}  // namespace bench
