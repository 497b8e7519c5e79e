#pragma once
// A real broker for the tests: Debian's mosquitto on a loopback port, with a configuration of
// its own in a folder of the test's (its persistence file, its password file, its TLS
// certificates), started in the foreground and stopped with SIGTERM. It can be stopped and
// started again on the same port, keeping what it persisted.

#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

#include "tests/support/child_wait.h"
#include "tests/support/gpsd_process.h"

namespace testsupport {

struct BrokerSetup {
  bool tls = false;
  std::string user;  // with a password: logins are required
  std::string password;
  std::vector<std::pair<std::string, std::string>> moreUsers{};  // further logins and passwords
  std::string acl{};                                             // the access control list, when given
};

// Runs a command through the shell, its output into log; true when it succeeded.
inline bool RunShell(const std::string& command, const std::filesystem::path& log) {
  const std::string line = "(" + command + ") >>'" + log.string() + "' 2>&1";
  return std::system(line.c_str()) == 0;
}

class MosquittoProcess {
 public:
  MosquittoProcess(std::filesystem::path dir, BrokerSetup setup) : dir_(std::move(dir)), setup_(std::move(setup)) {
    std::filesystem::create_directories(dir_);
    port_ = FreeLoopbackPort();
    const std::filesystem::path log = dir_ / "setup.log";
    std::ofstream config(dir_ / "mosquitto.conf");
    // As root, mosquitto would change to its own user, who cannot read the test's folder.
    const passwd* me = ::getpwuid(::getuid());
    config << "user " << (me != nullptr ? me->pw_name : "root") << "\n";
    config << "listener " << port_ << " 127.0.0.1\n";
    config << "persistence true\npersistence_location " << dir_.string() << "/\n";
    config << "max_queued_messages 0\nlog_dest stderr\n";
    if (!setup_.user.empty()) {
      ok_ = RunShell("mosquitto_passwd -b -c '" + (dir_ / "passwords").string() + "' '" + setup_.user + "' '" +
                         setup_.password + "'",
                     log);
      for (const auto& [user, password] : setup_.moreUsers) {
        ok_ = ok_ &&
              RunShell("mosquitto_passwd -b '" + (dir_ / "passwords").string() + "' '" + user + "' '" + password + "'",
                       log);
      }
      config << "allow_anonymous false\npassword_file " << (dir_ / "passwords").string() << "\n";
      if (!setup_.acl.empty()) {
        std::ofstream(dir_ / "acl") << setup_.acl;
        config << "acl_file " << (dir_ / "acl").string() << "\n";
      }
    } else {
      config << "allow_anonymous true\n";
    }
    if (setup_.tls) {
      // A throwaway certificate authority and a certificate for 127.0.0.1 signed by it.
      const std::string d = "'" + dir_.string() + "'";
      ok_ = ok_ && RunShell("cd " + d +
                                " && openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
                                " -subj '/CN=Test CA' -keyout ca.key -out ca.crt"
                                " && openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
                                " -subj '/CN=127.0.0.1' -keyout server.key -out server.csr"
                                " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext"
                                " && openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2"
                                " -extfile san.ext -out server.crt",
                            log);
      config << "cafile " << (dir_ / "ca.crt").string() << "\ncertfile " << (dir_ / "server.crt").string()
             << "\nkeyfile " << (dir_ / "server.key").string() << "\n";
    }
    config.close();
    if (ok_) Start();
  }
  ~MosquittoProcess() { Stop(); }
  MosquittoProcess(const MosquittoProcess&) = delete;
  MosquittoProcess& operator=(const MosquittoProcess&) = delete;

  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  std::string CaFile() const { return (dir_ / "ca.crt").string(); }
  std::string Log() const { return ReadAll(dir_ / "mosquitto.log") + ReadAll(dir_ / "setup.log"); }

  // The URL of the broker for a client, with the login when the broker asks for one.
  std::string Url(const std::string& prefix, bool withPassword = true) const {
    std::string login;
    if (!setup_.user.empty()) login = setup_.user + (withPassword ? ":" + setup_.password : "") + "@";
    return std::string(setup_.tls ? "mqtts://" : "mqtt://") + login + "127.0.0.1:" + std::to_string(port_) + "/" +
           prefix;
  }
  // Options of mosquitto_sub / mosquitto_pub for this broker.
  std::vector<std::string> ClientArgs() const {
    std::vector<std::string> args = {"-h", "127.0.0.1", "-p", std::to_string(port_)};
    if (!setup_.user.empty()) args.insert(args.end(), {"-u", setup_.user, "-P", setup_.password});
    if (setup_.tls) args.insert(args.end(), {"--cafile", CaFile()});
    return args;
  }

  // Starts the broker (again) on its port; false when it did not come up within 5 s.
  bool Start() {
    if (pid_ > 0) return true;
    std::vector<std::string> argv = {MOSQUITTO_PATH, "-c", (dir_ / "mosquitto.conf").string()};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const std::string logPath = (dir_ / "mosquitto.log").string();
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = -1;
    const bool spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0;
    ::posix_spawn_file_actions_destroy(&actions);
    if (!spawned) return false;
    pid_ = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
      if (AcceptsConnections(port_)) return true;
      if (WaitChildExit(pid_, status_, std::chrono::milliseconds(50)) != -1) break;
    }
    Stop();
    return false;
  }

  // SIGTERM (the broker saves its persistence), then waits for the end (bounded).
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (WaitChildExit(pid_, status_, std::chrono::seconds(5)) == -1) {
      ::kill(pid_, SIGKILL);
      WaitChildExit(pid_, status_, std::chrono::seconds(5));
    }
    pid_ = -1;
  }

 private:
  static std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path dir_;
  BrokerSetup setup_;
  bool ok_ = true;
  int port_ = 0;
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace testsupport
