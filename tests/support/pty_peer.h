#pragma once
// A scripted modem on a pseudo-terminal: the test gives the answer to each command line, the
// peer records the commands it received. An empty answer says nothing (a silent modem).

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class PtyPeer {
 public:
  using Responder = std::function<std::string(const std::string& command)>;

  explicit PtyPeer(Responder responder) : responder_(std::move(responder)) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) return;
    path_ = name;
    // Keep a slave descriptor open so the master never sees a hang-up between connections.
    holdSlave_ = open(name, O_RDWR | O_NOCTTY);
    reader_ = std::thread([this] { Run(); });
  }
  ~PtyPeer() {
    stop_.store(true);
    if (reader_.joinable()) reader_.join();
    if (holdSlave_ >= 0) close(holdSlave_);
    if (master_ >= 0) close(master_);
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  const std::string& Path() const { return path_; }

  std::vector<std::string> Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
  }

 private:
  void Run() {
    std::string pending;
    while (!stop_.load()) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
      char buffer[256];
      const ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) continue;
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
        const std::string answer = responder_(pending);
        if (!answer.empty()) [[maybe_unused]]
          const ssize_t written = write(master_, answer.data(), answer.size());
        pending.clear();
      }
    }
  }

  Responder responder_;
  int master_ = -1;
  int holdSlave_ = -1;
  std::string path_;
  std::thread reader_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
};

}  // namespace testsupport
