#pragma once
// A program run as a child process for a test: standard output and error go to files (in a
// folder and under a tag the test chooses, or in the test's temporary folder), every wait is
// bounded, and the child is killed if the test ends first. A fault test can also start it with
// closed standard descriptors, its output to a given file or to a pipe nobody reads, in another
// folder, or with a file-size limit (RLIMIT_FSIZE, SIGXFSZ ignored) that makes a full disk;
// standard output then goes to /dev/null, which no size limit stops.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_wait.h"

extern char** environ;

namespace testsupport {

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// How a child starts, beyond its arguments.
struct ChildSetup {
  std::optional<rlim_t> fileSizeLimit;  // a full disk; standard output then goes to /dev/null
  std::string stdoutPath;               // standard output to this file instead of the tag's ("/dev/full")
  bool closeStdin = false;              // started with these descriptors closed, as `<&-`, `>&-`, `2>&-` do
  bool closeStdout = false;
  bool closeStderr = false;
  bool stdoutToGoneReader = false;       // standard output a pipe whose reader has closed it
  std::string workingDir;                // empty: the test's
  std::vector<std::string> environment;  // extra NAME=value entries on top of the test's own
};

inline ChildSetup WithSizeLimit(std::optional<rlim_t> fileSizeLimit) {
  ChildSetup setup;
  setup.fileSizeLimit = fileSizeLimit;
  return setup;
}

class ChildProcess {
 public:
  // Output into the test's temporary folder; env: extra NAME=value entries.
  explicit ChildProcess(std::vector<std::string> argv, std::vector<std::string> env = {})
      : ChildProcess(std::move(argv), ::testing::TempDir(), NextTag(), WithEnvironment(std::move(env))) {}

  ChildProcess(std::vector<std::string> argv, const std::filesystem::path& outputDir, const std::string& tag,
               std::optional<rlim_t> fileSizeLimit = std::nullopt)
      : ChildProcess(std::move(argv), outputDir, tag, WithSizeLimit(fileSizeLimit)) {}

  ChildProcess(std::vector<std::string> argv, const std::filesystem::path& outputDir, const std::string& tag,
               const ChildSetup& setup)
      : stdoutPath_(!setup.stdoutPath.empty() ? std::filesystem::path(setup.stdoutPath)
                    : setup.fileSizeLimit     ? std::filesystem::path("/dev/null")
                                              : outputDir / (tag + ".out")),
        stderrPath_(outputDir / (tag + ".err")) {
    std::vector<char*> args;
    for (auto& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    std::vector<std::string> environment = setup.environment;
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    for (char** entry = environ; *entry != nullptr; ++entry) envp.push_back(*entry);
    envp.push_back(nullptr);
    int out = ::open(stdoutPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (setup.stdoutToGoneReader) {
      int ends[2];
      if (::pipe2(ends, O_CLOEXEC) == 0) {
        ::close(ends[0]);
        ::close(out);
        out = ends[1];
      }
    }
    const int err = ::open(stderrPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const char* workingDir = setup.workingDir.empty() ? nullptr : setup.workingDir.c_str();
    pid_ = ::fork();
    if (pid_ == 0) {
      // Only async-signal-safe calls between fork and exec: the test may run threads.
      ::dup2(in, STDIN_FILENO);
      ::dup2(out, STDOUT_FILENO);
      ::dup2(err, STDERR_FILENO);
      if (setup.closeStdin) ::close(STDIN_FILENO);
      if (setup.closeStdout) ::close(STDOUT_FILENO);
      if (setup.closeStderr) ::close(STDERR_FILENO);
      if (workingDir != nullptr && ::chdir(workingDir) != 0) ::_exit(126);
      if (setup.fileSizeLimit) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{*setup.fileSizeLimit, *setup.fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      ::execve(args[0], args.data(), envp.data());
      ::_exit(127);
    }
    ::close(in);
    ::close(out);
    ::close(err);
  }
  ~ChildProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      WaitExit(std::chrono::seconds(5));
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }
  std::string Stdout() const { return ReadWholeFile(stdoutPath_); }
  std::string Stderr() const { return ReadWholeFile(stderrPath_); }

  void Signal(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
  }

  // Waits up to timeout for the end; the exit status (128 + signal after a signal), or nullopt
  // while it still runs.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0 || status_) return status_;
    int status = -1;
    if (WaitChildExit(pid_, status, timeout, &usage_) == -1) return std::nullopt;
    status_ = status;
    return status_;
  }
  // The same, -1 while it still runs.
  int Wait(std::chrono::milliseconds timeout) { return WaitExit(timeout).value_or(-1); }

  // The most resident memory the child had, in kB; known once it has ended.
  long MaxResidentKb() const { return usage_.ru_maxrss; }

 private:
  static std::string NextTag() {
    static int serial = 0;
    return "child-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
  }
  static ChildSetup WithEnvironment(std::vector<std::string> env) {
    ChildSetup setup;
    setup.environment = std::move(env);
    return setup;
  }

  std::filesystem::path stdoutPath_;
  std::filesystem::path stderrPath_;
  pid_t pid_ = -1;
  std::optional<int> status_;
  rusage usage_{};
};

}  // namespace testsupport
