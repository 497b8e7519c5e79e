#include "fleetdb/connection.h"

#include <libpq-fe.h>

namespace fleetdb {
namespace {

struct ResultGuard {
  PGresult* result;
  ~ResultGuard() { PQclear(result); }
};

// The server's or libpq's message on one line.
std::string Trimmed(const std::string& text) {
  std::string line;
  for (const char c : text) {
    if (c == '\n' || c == '\t' || c == '\r') {
      if (!line.empty() && line.back() != ' ') line += ' ';
    } else {
      line += c;
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

std::unique_ptr<Connection> Connection::Open(const std::string& url, std::string& error) {
  // A server that does not answer is given up after a few seconds, unless the URL says otherwise.
  const char* keys[] = {"connect_timeout", "dbname", nullptr};
  const char* values[] = {"5", url.c_str(), nullptr};
  PGconn* conn = PQconnectdbParams(keys, values, 1);
  if (conn == nullptr) {
    error = "libpq could not allocate a connection";
    return nullptr;
  }
  if (PQstatus(conn) != CONNECTION_OK) {
    error = Trimmed(PQerrorMessage(conn));
    PQfinish(conn);
    return nullptr;
  }
  // Notices (an extension that exists already) are none of the operator's business.
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  return std::unique_ptr<Connection>(new Connection(conn));
}

Connection::~Connection() { PQfinish(conn_); }

std::string Connection::Error() const { return Trimmed(PQerrorMessage(conn_)); }

bool Connection::Broken() const { return PQstatus(conn_) != CONNECTION_OK; }

bool Connection::Exec(const std::string& sql, std::string& error) {
  ResultGuard result{PQexec(conn_, sql.c_str())};
  const ExecStatusType status = PQresultStatus(result.result);
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
  error = Error();
  return false;
}

std::optional<std::vector<std::vector<std::string>>> Connection::Query(
    const std::string& sql, const std::vector<std::optional<std::string>>& params, std::string& error) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& param : params) values.push_back(param ? param->c_str() : nullptr);
  ResultGuard result{
      PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(), nullptr, nullptr, 0)};
  const ExecStatusType status = PQresultStatus(result.result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    error = Error();
    return std::nullopt;
  }
  std::vector<std::vector<std::string>> rows;
  const int rowCount = PQntuples(result.result);
  const int columnCount = PQnfields(result.result);
  for (int r = 0; r < rowCount; ++r) {
    std::vector<std::string>& row = rows.emplace_back();
    for (int c = 0; c < columnCount; ++c) row.emplace_back(PQgetvalue(result.result, r, c));
  }
  return rows;
}

bool Connection::Copy(const std::string& copySql, const std::string& data, std::string& error) {
  {
    ResultGuard started{PQexec(conn_, copySql.c_str())};
    if (PQresultStatus(started.result) != PGRES_COPY_IN) {
      error = Error();
      return false;
    }
  }
  const bool sent = data.empty() || PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) == 1;
  if (PQputCopyEnd(conn_, sent ? nullptr : "not sent") != 1) {
    error = Error();
    return false;
  }
  bool ok = sent;
  while (PGresult* result = PQgetResult(conn_)) {
    if (PQresultStatus(result) != PGRES_COMMAND_OK) ok = false;
    PQclear(result);
  }
  if (!ok) error = Error();
  return ok;
}

std::string SqlLiteral(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + "'";
}

}  // namespace fleetdb
