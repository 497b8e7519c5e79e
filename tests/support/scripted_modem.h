#pragma once
// A scripted modem on a pseudo-terminal for tests: each command line (ended by CR, the
// LF after it dropped) gets the reply the test's script gives. A reply may also hang the line up
// (the master side closes), start an endless stream of bytes that never ends a line, or start a
// slow drip of such bytes.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct ScriptedReply {
  std::string bytes;
  bool hangUp = false;  // close the line after the bytes
  bool babble = false;  // from now on send 'x' without end, whatever comes
  // After the bytes, one 'x' each drip until the next reply (0: none); commands are still read.
  std::chrono::milliseconds drip{0};
};

class ScriptedModem {
 public:
  using Script = std::function<ScriptedReply(const std::string& command)>;

  explicit ScriptedModem(Script script) : script_(std::move(script)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    // The tool under test is forked from this process: it must not inherit the master side, or
    // closing ours would not hang the line up.
    if (master_ >= 0) ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    char name[128] = {};
    if (::ptsname_r(master_, name, sizeof name) != 0) return;
    path_ = name;
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedModem() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) ::close(master_);
  }
  ScriptedModem(const ScriptedModem&) = delete;
  ScriptedModem& operator=(const ScriptedModem&) = delete;

  const std::string& Path() const { return path_; }
  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }
  bool HungUp() const { return hungUp_.load(); }

 private:
  void Send(const std::string& bytes) {
    // Non-blocking: bytes the reader leaves in a full queue are dropped, like a flooded line.
    for (std::size_t sent = 0; sent < bytes.size();) {
      const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

  void Run() {
    std::string pending;
    bool babbling = false;
    std::chrono::milliseconds drip{0};
    auto nextDrip = std::chrono::steady_clock::now();
    while (!stop_.load() && master_ >= 0) {
      if (babbling) Send(std::string(256, 'x'));
      if (drip.count() > 0 && std::chrono::steady_clock::now() >= nextDrip) {
        Send("x");
        nextDrip += drip;
      }
      pollfd entry{master_, POLLIN, 0};
      // Before the slave is opened, and after it is closed, the master reports a hang-up.
      if (::poll(&entry, 1, 5) <= 0 || (entry.revents & POLLIN) == 0) {
        if (entry.revents & POLLHUP) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      char buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c == '\n') continue;
        if (c != '\r') {
          pending += c;
          continue;
        }
        {
          std::lock_guard lock(mutex_);
          commands_.push_back(pending);
        }
        const ScriptedReply reply = script_(pending);
        pending.clear();
        Send(reply.bytes);
        babbling = babbling || reply.babble;
        drip = reply.drip;
        nextDrip = std::chrono::steady_clock::now() + drip;
        if (reply.hangUp) {
          ::close(master_);
          master_ = -1;
          hungUp_.store(true);
          return;
        }
      }
    }
  }

  Script script_;
  int master_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hungUp_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
};

}  // namespace testsupport
