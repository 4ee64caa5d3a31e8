#include "platform/posix/spawn_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

[[noreturn]] void RunChild(const SpawnPlan& plan, pid_t parent) {
  // Killed when the thread that forked us ends, and so when our parent
  // does; a parent that died before this was set is seen at once.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  // The leader of a group of its own, so that whatever it starts is ended
  // with it.
  setpgid(0, 0);
  // Lower only: a process may not raise its priority again.
  if (plan.background) setpriority(PRIO_PROCESS, 0, getpriority(PRIO_PROCESS, 0) + 10);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  if (dup2(plan.input, 0) < 0 || dup2(plan.output, 1) < 0 || dup2(plan.nullDevice, 2) < 0)
    _exit(127);
  // Descriptors the host opened without close-on-exec stay out as well; the
  // exec report pipe closes by itself at the exec.
  const unsigned report = static_cast<unsigned>(plan.execReport);
#ifdef SYS_close_range
  const bool ranged = (report <= 3 || syscall(SYS_close_range, 3u, report - 1, 0u) == 0) &&
                      syscall(SYS_close_range, report + 1, ~0u, 0u) == 0;
#else
  const bool ranged = false;
#endif
  if (!ranged)
    for (unsigned fd = 3; fd < 65536; ++fd)
      if (fd != report) close(static_cast<int>(fd));
  execve(plan.path.c_str(), plan.argv.data(), environ);
  const int error = errno;
  ssize_t ignored = write(plan.execReport, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

// Forks and runs the plan; the pid, or -1 when no program was started.
pid_t ForkAndRun(SpawnPlan& plan) {
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) return -1;
  plan.execReport = report[1];
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) RunChild(plan, parent);
  close(report[1]);
  if (pid < 0) {
    close(report[0]);
    return -1;
  }
  // The report pipe closes at a successful exec; a failed one writes errno.
  int error = 0;
  ssize_t got;
  do {
    got = read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(report[0]);
  if (got > 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return -1;
  }
  return pid;
}

}  // namespace

Launcher::~Launcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

pid_t Launcher::Spawn(SpawnPlan& plan) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_.joinable()) {
    // The thread takes no signals of the host's.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (...) {
      pthread_sigmask(SIG_SETMASK, &old, nullptr);
      return -1;
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
  }
  plan_ = &plan;
  done_ = false;
  wake_.notify_all();
  finished_.wait(lock, [this] { return done_; });
  plan_ = nullptr;
  return result_;
}

void Launcher::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || (plan_ != nullptr && !done_); });
    if (stopping_) return;
    result_ = ForkAndRun(*plan_);
    done_ = true;
    finished_.notify_all();
  }
}

}  // namespace platform
