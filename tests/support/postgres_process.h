#pragma once
// A real PostgreSQL 15 with PostGIS for the tests: Debian's server binaries, a cluster made by
// initdb in a temporary folder, listening on a free loopback port of its own (and a socket in that
// folder), logins trusted. As root the server runs as the system user postgres, who owns the
// folder. One server serves a whole test binary (PostgresEnvironment): each test makes its own
// database. It can be killed (pg_ctl stop -m immediate, as a crash) and started again.
// fsync is off: a killed server keeps what it committed (the kernel holds its writes); only a
// crash of the machine would lose them, and the tests do not crash the machine.

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/gpsd_process.h"

namespace testsupport {

inline constexpr const char* kPostgresBin = "/usr/lib/postgresql/15/bin/";

class PostgresProcess {
 public:
  // Makes and starts the cluster; Usable() says whether it came up, Why() why not.
  PostgresProcess() {
    if (::access((std::string(kPostgresBin) + "initdb").c_str(), X_OK) != 0) {
      why_ = "PostgreSQL 15 is not installed (" + std::string(kPostgresBin) + ")";
      return;
    }
    if (!std::filesystem::exists("/usr/share/postgresql/15/extension/postgis.control")) {
      why_ = "PostGIS for PostgreSQL 15 is not installed";
      return;
    }
    dir_ = std::filesystem::path(::testing::TempDir()) / ("pg-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    if (::geteuid() == 0) {
      // The server refuses to run as root: it runs as postgres, in a folder postgres owns.
      const passwd* user = ::getpwnam("postgres");
      if (user == nullptr || ::chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0) {
        why_ = "running as root without a postgres system user";
        return;
      }
      as_ = "runuser -u postgres -- ";
    }
    port_ = FreeLoopbackPort();
    if (!Shell(std::string(kPostgresBin) + "initdb -D " + Quoted((dir_ / "data").string()) +
               " -U postgres -A trust -E UTF8 --no-locale -N")) {
      why_ = "initdb failed: " + Log();
      return;
    }
    if (!Start()) why_ = "the server did not start: " + Log();
  }
  ~PostgresProcess() {
    if (started_) Stop(false);
    std::error_code error;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, error);
  }
  PostgresProcess(const PostgresProcess&) = delete;
  PostgresProcess& operator=(const PostgresProcess&) = delete;

  bool Usable() const { return why_.empty(); }
  const std::string& Why() const { return why_; }
  int Port() const { return port_; }

  // Starts the server (again); true at once when it runs.
  bool Start() {
    if (started_) return true;
    started_ = Shell(std::string(kPostgresBin) + "pg_ctl -D " + Quoted((dir_ / "data").string()) + " -l " +
                     Quoted((dir_ / "server.log").string()) + " -w -t 60 -o " +
                     Quoted("-p " + std::to_string(port_) + " -c listen_addresses=127.0.0.1 -k " + dir_.string() +
                            " -c fsync=off -c full_page_writes=off") +
                     " start");
    return started_;
  }
  // immediate: killed at once, as a crash; otherwise a fast, clean shutdown.
  bool Stop(bool immediate) {
    const bool stopped = Shell(std::string(kPostgresBin) + "pg_ctl -D " + Quoted((dir_ / "data").string()) + " -m " +
                               (immediate ? "immediate" : "fast") + " -w stop");
    if (stopped) started_ = false;
    return stopped;
  }

  // A libpq URL of a database of this server.
  std::string Url(const std::string& database) const {
    return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/" + database;
  }
  // The libpq key=value form, as GDAL's PG: names it.
  std::string Conninfo(const std::string& database) const {
    return "host=127.0.0.1 port=" + std::to_string(port_) + " user=postgres dbname=" + database;
  }

  // A new database (dropped first when it exists) with PostGIS already in it: copied from a
  // template made once, since making the extension takes seconds a test need not spend.
  bool MakeDatabase(const std::string& name) {
    if (!templateMade_) {
      templateMade_ =
          Psql("postgres", "CREATE DATABASE with_postgis") && Psql("with_postgis", "CREATE EXTENSION postgis");
    }
    return templateMade_ && Psql("postgres", "DROP DATABASE IF EXISTS " + name) &&
           Psql("postgres", "CREATE DATABASE " + name + " TEMPLATE with_postgis");
  }

  // Runs SQL through psql; its rows, unaligned, one a line, fields separated by '|'.
  std::string Query(const std::string& database, const std::string& sql) const {
    std::string out;
    const std::string command = PsqlCommand(database, sql) + " 2>>" + Quoted((dir_ / "psql.log").string());
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return out;
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get())) out.append(buffer.data(), n);
    return out;
  }
  bool Psql(const std::string& database, const std::string& sql) const {
    return std::system((PsqlCommand(database, sql) + " >>" + Quoted((dir_ / "psql.log").string()) + " 2>&1").c_str()) ==
           0;
  }

  std::string Log() const {
    return ReadText(dir_ / "setup.log") + ReadText(dir_ / "server.log") + ReadText(dir_ / "psql.log");
  }

 private:
  static std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
  }
  static std::string ReadText(const std::filesystem::path& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return {};
    std::string text;
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file)) text.append(buffer.data(), n);
    std::fclose(file);
    return text;
  }
  std::string PsqlCommand(const std::string& database, const std::string& sql) const {
    return std::string(kPostgresBin) + "psql -X -q -At -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " + std::to_string(port_) +
           " -U postgres -d " + Quoted(database) + " -c " + Quoted(sql);
  }
  bool Shell(const std::string& command) const {
    return std::system((as_ + command + " >>" + Quoted((dir_ / "setup.log").string()) + " 2>&1").c_str()) == 0;
  }

  std::filesystem::path dir_;
  std::string as_;  // runs a command as postgres when the tests run as root
  std::string why_;
  int port_ = 0;
  bool started_ = false;
  bool templateMade_ = false;
};

// The one server of a test binary: started before its first test, stopped after its last.
class PostgresEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { server_ = std::make_unique<PostgresProcess>(); }
  void TearDown() override { server_.reset(); }
  static PostgresProcess* Server() { return server_.get(); }

 private:
  static inline std::unique_ptr<PostgresProcess> server_;
};

}  // namespace testsupport

// In a test: the binary's server, or the test skipped with the reason.
#define REQUIRE_POSTGRES(server)                                                     \
  testsupport::PostgresProcess* server = testsupport::PostgresEnvironment::Server(); \
  if (server == nullptr || !server->Usable()) {                                      \
    GTEST_SKIP() << (server != nullptr ? server->Why() : std::string("no server"));  \
  }
