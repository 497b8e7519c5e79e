#pragma once
// A pseudo-terminal pair for the serial tests: the test plays the modem on the master side,
// the code under test opens the slave path as its port.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "modem/com_port.h"

namespace modemtest {

class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 &&
        ::ptsname_r(master_, name, sizeof name) == 0) {
      slavePath_ = name;
    }
  }
  ~PtyPair() { CloseMaster(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }

  void Feed(std::string_view bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }

  // What the port side sent, collected until nothing more arrives for quietMs.
  std::string Drain(int quietMs = 50) const {
    std::string out;
    for (;;) {
      pollfd entry{master_, POLLIN, 0};
      if (::poll(&entry, 1, quietMs) <= 0 || (entry.revents & POLLIN) == 0) return out;
      char buffer[256];
      const ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) return out;
      out.append(buffer, static_cast<std::size_t>(n));
    }
  }

  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  std::string slavePath_;
};

// A modem that answers each command line (ended by CR; LF is skipped) with the next reply of its
// script, on its own thread. Records the commands.
class ScriptedPeer {
 public:
  ScriptedPeer(const PtyPair& pty, std::vector<std::string> replies)
      : pty_(pty), replies_(std::move(replies)), thread_([this] { Run(); }) {}
  ~ScriptedPeer() { Stop(); }
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  // Ends the peer; the commands received.
  std::vector<std::string> Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return commands_;
  }

 private:
  void Run() {
    std::string line;
    std::size_t next = 0;
    while (!stop_) {
      pollfd entry{pty_.Master(), POLLIN, 0};
      if (::poll(&entry, 1, 10) <= 0) continue;
      char byte = 0;
      if (::read(pty_.Master(), &byte, 1) != 1) return;
      if (byte == '\n') continue;
      if (byte != '\r') {
        line += byte;
        continue;
      }
      commands_.push_back(line);
      line.clear();
      if (next < replies_.size()) pty_.Feed(replies_[next++]);
    }
  }

  const PtyPair& pty_;
  std::vector<std::string> replies_;
  std::vector<std::string> commands_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Opens the pair's slave as the process-wide port, with a short read time-out, for one test.
class ScopedActivePort {
 public:
  explicit ScopedActivePort(const std::string& path, int timeoutMs = 100, bool trace = false) {
    modem::PortHandle port;
    opened_ = modem::OpenPort(port, path, 115200, timeoutMs, false, trace);
    modem::SetActivePort(port);
  }
  ~ScopedActivePort() {
    modem::ClosePort(modem::ActivePort());
    modem::SetActivePort({});
  }
  bool Opened() const { return opened_; }

 private:
  bool opened_ = false;
};

}  // namespace modemtest
