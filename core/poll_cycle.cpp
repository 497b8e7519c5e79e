#include "core/poll_cycle.h"

#include <mutex>
#include <string>

#include "modem/com_port.h"
#include "modem/modem.h"
#include "parser/measurement_fields.h"
#include "parser/report_parser.h"

namespace core {

bool ResetModem() {
  std::lock_guard lock(modem::CommandLock());
  return modem::InitModem();
}

bool QueryIdentity() {
  struct Query {
    const char* command;
    int fieldCode;
  };
  static constexpr Query kQueries[] = {{"AT+CGMR", parser::fcFirmware},
                                       {"AT+CGSN", parser::fcImei},
                                       {"AT+CGMI", parser::fcManufacturer},
                                       {"AT+CGMM", parser::fcModel}};
  for (const Query& query : kQueries) {
    std::lock_guard lock(modem::CommandLock());
    if (!modem::QueryField(query.command, "", query.fieldCode)) return false;
  }
  return true;
}

bool PollServingCell() {
  std::lock_guard lock(modem::CommandLock());
  const auto port = modem::ActivePort();
  std::string a;
  std::string b;
  if (!modem::SendLine(port, "AT^MONI")) return false;
  if (!modem::WaitForToken(port, "Serving Cell", -1, a)) return false;
  // With CR LF line ends: the title's empty remainder, the header, its remainder, the values.
  if (!modem::ReadReply(a) || !modem::ReadReply(b) || !modem::ReadReply(a) || !modem::ReadReply(a)) return false;
  if (!parser::ParseReportLines(b, a, 0)) return false;
  return modem::ExpectToken(port, "OK", -1);
}

bool PollNeighbourCells() {
  std::lock_guard lock(modem::CommandLock());
  const auto port = modem::ActivePort();
  std::string a;
  std::string b;
  std::string r;
  if (!modem::SendLine(port, "AT^MONP")) return false;
  if (!modem::WaitForToken(port, "chann", -1, b)) return false;
  if (!modem::ReadReply(a)) return false;
  // Always six rows: a shorter report lets the surplus reads take what follows and time out.
  for (int cell = 1; cell <= 6; ++cell) {
    modem::ReadReply(a);
    modem::ReadReply(r);
    parser::ParseReportLines(b, a, cell);
  }
  modem::ExpectToken(port, "OK", -1);
  return true;
}

}  // namespace core
