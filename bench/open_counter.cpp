#include "open_counter.h"

#include <errno.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>

#include "common.h"

namespace bench {

OpenCounter::OpenCounter(const std::vector<std::string>& dirs) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) Fail(std::string("inotify_init1: ") + std::strerror(errno));
  for (const std::string& dir : dirs)
    if (inotify_add_watch(fd_, dir.c_str(), IN_OPEN | IN_ONLYDIR) < 0)
      Fail("cannot watch " + dir + ": " + std::strerror(errno));
  // A thread of its own reads the events while they come, so that the
  // kernel's queue cannot overflow however many opens a run makes.
  thread_ = std::thread([this] { Watch(); });
}

OpenCounter::~OpenCounter() {
  stop_ = true;
  thread_.join();
  close(fd_);
}

void OpenCounter::Watch() {
  while (!stop_) Drain(50);
}

void OpenCounter::Drain(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  alignas(inotify_event) char buffer[64 * 1024];
  for (;;) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) return;  // EAGAIN: nothing more queued
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->mask & IN_Q_OVERFLOW) overflowed_ = true;
      if ((event->mask & IN_OPEN) && !(event->mask & IN_ISDIR) && event->len > 0)
        names_.insert(std::to_string(event->wd) + ":" + event->name);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

std::size_t OpenCounter::Distinct() {
  // Events of opens that have happened are queued by now; read them here
  // rather than wait for the thread's next turn.
  Drain(0);
  std::lock_guard<std::mutex> lock(mutex_);
  if (overflowed_) Fail("the open counter's event queue overflowed: the count would be short");
  return names_.size();
}

}  // namespace bench
