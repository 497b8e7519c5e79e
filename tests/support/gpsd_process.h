#pragma once
// A real gpsd for the tests: Debian's gpsd on a free loopback port, reading NMEA that a feeder
// thread writes into a pseudo-terminal. The feeder replays a recorded drive one second per fix,
// stamped with the time of writing, and remembers what it wrote and when.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

#include "tests/support/child_wait.h"

namespace testsupport {

// One second of a drive: its sentences, and the position its RMC sentence gives.
struct NmeaGroup {
  std::vector<std::string> sentences;  // without '$', '*', checksum and line end
  bool hasFix = false;
  double latitude = 0;
  double longitude = 0;
};

inline std::string NmeaChecksum(const std::string& body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  char text[3];
  std::snprintf(text, sizeof text, "%02X", sum);
  return text;
}

inline std::vector<std::string> SplitNmea(const std::string& body) {
  std::vector<std::string> fields;
  std::stringstream in(body);
  for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
  if (!body.empty() && body.back() == ',') fields.emplace_back();
  return fields;
}

inline std::string JoinNmea(const std::vector<std::string>& fields) {
  std::string body;
  for (std::size_t i = 0; i < fields.size(); ++i) body += (i ? "," : "") + fields[i];
  return body;
}

// "5545.4536" and "N" to degrees.
inline double NmeaDegrees(const std::string& value, const std::string& hemisphere, int degreeDigits) {
  const double degrees = std::stod(value.substr(0, static_cast<std::size_t>(degreeDigits)));
  const double minutes = std::stod(value.substr(static_cast<std::size_t>(degreeDigits)));
  const double v = degrees + minutes / 60.0;
  return hemisphere == "S" || hemisphere == "W" ? -v : v;
}

// The groups of an NMEA file, one per RMC sentence. Sentences whose checksum does not match
// are counted in badChecksums and left out.
inline std::vector<NmeaGroup> ReadNmeaDrive(const std::string& path, int* badChecksums = nullptr) {
  std::vector<NmeaGroup> groups;
  std::ifstream in(path, std::ios::binary);
  int bad = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t star = line.rfind('*');
    if (line.empty() || line[0] != '$' || star == std::string::npos) continue;
    const std::string body = line.substr(1, star - 1);
    if (line.substr(star + 1) != NmeaChecksum(body)) {
      ++bad;
      continue;
    }
    const auto fields = SplitNmea(body);
    if (fields[0].ends_with("RMC")) {
      NmeaGroup group;
      group.hasFix = fields.size() > 6 && fields[2] == "A";
      if (group.hasFix) {
        group.latitude = NmeaDegrees(fields[3], fields[4], 2);
        group.longitude = NmeaDegrees(fields[5], fields[6], 3);
      }
      groups.push_back(group);
    }
    if (!groups.empty()) groups.back().sentences.push_back(body);
  }
  if (badChecksums) *badChecksums = bad;
  return groups;
}

// What the feeder wrote: a group, stamped with the whole UTC second of its writing.
struct FedGroup {
  std::chrono::system_clock::time_point written;
  std::chrono::system_clock::time_point fixTime;  // the stamp in its sentences
  NmeaGroup group;
};

class NmeaFeeder {
 public:
  NmeaFeeder() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
      return;
    }
    devicePath_ = name;
    // Held open, raw, so the terminal neither echoes nor hangs up while gpsd opens and closes it.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slave_ >= 0 && ::tcgetattr(slave_, &settings) == 0) {
      ::cfmakeraw(&settings);
      ::tcsetattr(slave_, TCSANOW, &settings);
    }
  }
  ~NmeaFeeder() {
    Stop();
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  NmeaFeeder(const NmeaFeeder&) = delete;
  NmeaFeeder& operator=(const NmeaFeeder&) = delete;

  bool Opened() const { return slave_ >= 0; }
  const std::string& DevicePath() const { return devicePath_; }

  // Writes groups one per period on a thread of its own, each stamped with the current UTC time.
  void Start(std::vector<NmeaGroup> groups, std::chrono::milliseconds period) {
    Stop();
    stop_.store(false);
    thread_ = std::thread([this, groups = std::move(groups), period] {
      auto next = std::chrono::steady_clock::now();
      for (const NmeaGroup& group : groups) {
        if (stop_.load()) return;
        WriteGroup(group);
        next += period;
        while (!stop_.load() && std::chrono::steady_clock::now() < next) {
          Drain();
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      }
      done_.store(true);
    });
  }
  // Waits (bounded) until every group is written.
  bool WaitDone(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done_.load() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done_.load();
  }
  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  std::vector<FedGroup> Fed() const {
    std::lock_guard lock(mutex_);
    return fed_;
  }

 private:
  void WriteGroup(const NmeaGroup& group) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char time[16];
    char date[8];
    std::strftime(time, sizeof time, "%H%M%S.00", &utc);
    std::strftime(date, sizeof date, "%d%m%y", &utc);
    std::string bytes;
    for (const std::string& body : group.sentences) {
      auto fields = SplitNmea(body);
      if (fields[0].ends_with("RMC") || fields[0].ends_with("GGA")) fields[1] = time;
      if (fields[0].ends_with("RMC") && fields.size() > 9) fields[9] = date;
      const std::string stamped = JoinNmea(fields);
      bytes += "$" + stamped + "*" + NmeaChecksum(stamped) + "\r\n";
    }
    {
      std::lock_guard lock(mutex_);
      fed_.push_back({now, std::chrono::system_clock::from_time_t(seconds), group});
    }
    for (std::size_t done = 0; done < bytes.size();) {
      const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return;
      done += static_cast<std::size_t>(n);
    }
  }
  // Whatever gpsd writes to the device is read and dropped, so it never blocks.
  void Drain() const {
    pollfd entry{master_, POLLIN, 0};
    while (::poll(&entry, 1, 0) > 0 && (entry.revents & POLLIN)) {
      char buffer[512];
      if (::read(master_, buffer, sizeof buffer) <= 0) return;
    }
  }

  int master_ = -1;
  int slave_ = -1;
  std::string devicePath_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  mutable std::mutex mutex_;
  std::vector<FedGroup> fed_;
};

// A loopback port nobody listens on now.
inline int FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

inline bool AcceptsConnections(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// gpsd in the foreground on a loopback port, reading one device.
class GpsdProcess {
 public:
  explicit GpsdProcess(const std::string& device) {
    const char* candidates[] = {"/usr/sbin/gpsd", "/usr/bin/gpsd", "/usr/local/sbin/gpsd"};
    std::string program;
    for (const char* path : candidates) {
      if (::access(path, X_OK) == 0) program = path;
    }
    if (program.empty()) return;
    for (int attempt = 0; attempt < 3 && pid_ <= 0; ++attempt) Launch(program, device);
  }
  ~GpsdProcess() { Stop(); }
  GpsdProcess(const GpsdProcess&) = delete;
  GpsdProcess& operator=(const GpsdProcess&) = delete;

  bool Started() const { return pid_ > 0; }
  int Port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

  // SIGTERM, then waits for the end (bounded).
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (WaitChildExit(pid_, status_, std::chrono::seconds(5)) == -1) {
      ::kill(pid_, SIGKILL);
      WaitChildExit(pid_, status_, std::chrono::seconds(5));
    }
    ::unlink(controlSocket_.c_str());
  }

 private:
  void Launch(const std::string& program, const std::string& device) {
    port_ = FreeLoopbackPort();
    if (port_ == 0) return;
    controlSocket_ = "/tmp/gsmmon-gpsd-" + std::to_string(::getpid()) + "-" + std::to_string(port_) + ".sock";
    // -N foreground, -n poll the device at once, -b never write to it, -S its port, -F its
    // control socket (not the system's).
    std::vector<std::string> argv = {program, "-N",           "-n",  "-b", "-S", std::to_string(port_),
                                     "-F",    controlSocket_, device};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const bool spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0;
    ::posix_spawn_file_actions_destroy(&actions);
    if (!spawned) return;
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      if (AcceptsConnections(port_)) return;
      if (WaitChildExit(pid_, status_, std::chrono::milliseconds(50)) != -1) break;  // it gave up
    }
    Stop();
    pid_ = -1;
  }

  pid_t pid_ = -1;
  int status_ = -1;
  int port_ = 0;
  std::string controlSocket_;
};

}  // namespace testsupport
