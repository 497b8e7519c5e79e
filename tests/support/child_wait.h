#pragma once
// Waits a bounded time for a child process to end, for the test helpers that start programs.

#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {

// Waits up to timeout for the child pid to end. On its end pid becomes -1 and status its exit
// status (128 + signal when killed), and usage (when given) its resource use; the result is that
// status, or -1 while it still runs.
inline int WaitChildExit(pid_t& pid, int& status, std::chrono::milliseconds timeout, rusage* usage = nullptr) {
  if (pid <= 0) return status;
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd entry{pidfd, POLLIN, 0};
    ::poll(&entry, 1, static_cast<int>(timeout.count()));
    ::close(pidfd);
  }
  int raw = 0;
  if (::wait4(pid, &raw, pidfd >= 0 ? WNOHANG : 0, usage) != pid) return -1;
  pid = -1;
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return status;
}

}  // namespace testsupport
