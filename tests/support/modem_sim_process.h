#pragma once
// Starts gsm_modem_sim as a child process for a test, reads the device path it prints and stops
// it again. Needs the compile definition GSM_MODEM_SIM_PATH (the simulator's executable).

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

#include "tests/support/child_wait.h"

namespace testsupport {

class ModemSimProcess {
 public:
  // args: the simulator's options, e.g. {"--seed", "7", "--neighbours", "3"}.
  explicit ModemSimProcess(const std::vector<std::string>& args = {}) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<std::string> argv{GSM_MODEM_SIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (auto& arg : argv) argp.push_back(arg.data());
    argp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (::posix_spawn(&pid_, argp[0], &actions, nullptr, argp.data(), environ) != 0) pid_ = -1;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (pid_ > 0) devicePath_ = readFirstLine(out[0], std::chrono::seconds(5));
    ::close(out[0]);
  }

  ~ModemSimProcess() { Stop(); }
  ModemSimProcess(const ModemSimProcess&) = delete;
  ModemSimProcess& operator=(const ModemSimProcess&) = delete;

  // True when the simulator runs and printed its device path.
  bool Started() const { return pid_ > 0 && !devicePath_.empty(); }
  const std::string& DevicePath() const { return devicePath_; }
  pid_t Pid() const { return pid_; }

  // SIGTERM, then waits for the end (bounded). The exit status, or -1 when not running.
  int Stop() {
    if (pid_ <= 0) return exitStatus_;
    ::kill(pid_, SIGTERM);
    if (WaitExit(std::chrono::seconds(5)) == -1) {
      ::kill(pid_, SIGKILL);
      WaitExit(std::chrono::seconds(5));
    }
    return exitStatus_;
  }

  // Waits up to timeout for the simulator to end by itself (--hangup-after). The exit status,
  // or -1 while it still runs.
  int WaitExit(std::chrono::milliseconds timeout) { return WaitChildExit(pid_, exitStatus_, timeout); }

 private:
  static std::string readFirstLine(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    for (;;) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return {};
      pollfd entry{fd, POLLIN, 0};
      if (::poll(&entry, 1, static_cast<int>(left)) <= 0) continue;
      char byte = 0;
      if (::read(fd, &byte, 1) != 1) return {};
      if (byte == '\n') return line;
      line += byte;
    }
  }

  pid_t pid_ = -1;
  int exitStatus_ = -1;
  std::string devicePath_;
};

}  // namespace testsupport
