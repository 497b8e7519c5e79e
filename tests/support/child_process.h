#pragma once
// Runs a program as a child process for a test: its output goes to files, the test can signal
// it and wait for it (bounded).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

#include "tests/support/child_wait.h"

namespace testsupport {

class ChildProcess {
 public:
  // env: extra "NAME=value" entries on top of the test's own environment.
  ChildProcess(std::vector<std::string> argv, std::vector<std::string> env = {}) {
    static int serial = 0;
    const std::string stem =
        ::testing::TempDir() + "/child-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    stdoutPath_ = stem + ".out";
    stderrPath_ = stem + ".err";
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> envStrings = std::move(env);
    std::vector<char*> envp;
    for (auto& e : envStrings) envp.push_back(e.data());
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ChildProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait(std::chrono::seconds(5));
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  // The exit status (128 + signal when killed), or -1 while it still runs after timeout.
  int Wait(std::chrono::milliseconds timeout) { return WaitChildExit(pid_, status_, timeout); }

  std::string Stdout() const { return ReadFile(stdoutPath_); }
  std::string Stderr() const { return ReadFile(stderrPath_); }

 private:
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  pid_t pid_ = -1;
  int status_ = -1;
  std::string stdoutPath_;
  std::string stderrPath_;
};

}  // namespace testsupport
