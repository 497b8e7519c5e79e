#pragma once
// One connection to PostgreSQL through libpq, with the few calls the writer needs. Every call
// returns false (or nothing) with the server's or libpq's message in error when it failed; a
// connection that broke says so through Broken().

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pg_conn;

namespace fleetdb {

class Connection {
 public:
  // Connects (libpq's URL or key=value string); nothing, with why, when it cannot.
  static std::unique_ptr<Connection> Open(const std::string& url, std::string& error);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs SQL (one or more statements) that returns no rows.
  bool Exec(const std::string& sql, std::string& error);
  // Runs one statement with text parameters (nullopt: NULL); its rows as texts ("" for NULL).
  std::optional<std::vector<std::vector<std::string>>> Query(const std::string& sql,
                                                             const std::vector<std::optional<std::string>>& params,
                                                             std::string& error);
  // COPY ... FROM STDIN with the given data in COPY's text format.
  bool Copy(const std::string& copySql, const std::string& data, std::string& error);
  // The link to the server is gone: the connection must be opened again.
  bool Broken() const;

 private:
  explicit Connection(pg_conn* conn) : conn_(conn) {}
  std::string Error() const;
  pg_conn* conn_;
};

// A text quoted as a literal of SQL: 'it''s'.
std::string SqlLiteral(const std::string& text);

}  // namespace fleetdb
