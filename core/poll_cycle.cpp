#include "core/poll_cycle.h"

#include <mutex>
#include <string>

#include "dialects/dialect.h"
#include "modem/com_port.h"
#include "modem/modem.h"
#include "parser/measurement_fields.h"
#include "parser/report_parser.h"

namespace core {
namespace {

// The final result of an answer, as a modem writes it on a line of its own.
bool IsFinalResult(const std::string& line) { return line == "OK" || line == "ERROR"; }

// modem::WaitForToken(port, "Serving Cell", anywhere, line), read for read, noting a refusal
// among the lines it passes over.
bool WaitForServingTitle(const modem::PortHandle& port, std::string& line, bool* refused) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    const modem::TransferStatus status = modem::ReadLine(port, line);
    if (status == modem::TransferStatus::failed) return false;
    if (status != modem::TransferStatus::done) continue;
    if (modem::TokenMatches(line, "Serving Cell", modem::MatchMode::anywhere)) return true;
    if (refused != nullptr && dialects::IsRefusal(line)) *refused = true;
  }
  return false;
}

}  // namespace

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

bool PollServingCell(bool* refused) {
  std::lock_guard lock(modem::CommandLock());
  const auto port = modem::ActivePort();
  std::string a;
  std::string b;
  if (!modem::SendLine(port, "AT^MONI")) return false;
  if (!WaitForServingTitle(port, a, refused)) return false;
  // With CR LF line ends: the title's empty remainder, the header, its remainder, the values.
  if (!modem::ReadReply(a) || !modem::ReadReply(b) || !modem::ReadReply(a) || !modem::ReadReply(a)) return false;
  if (!parser::ParseReportLines(b, a, 0)) return false;
  return modem::ExpectToken(port, "OK", modem::MatchMode::anywhere);
}

bool PollNeighbourCells() {
  std::lock_guard lock(modem::CommandLock());
  const auto port = modem::ActivePort();
  std::string a;
  std::string b;
  std::string r;
  if (!modem::SendLine(port, "AT^MONP")) return false;
  if (!modem::WaitForToken(port, "chann", modem::MatchMode::anywhere, b)) return false;
  if (!modem::ReadReply(a)) return false;
  // Up to six rows. A modem lists only the neighbours it hears, so the rows end at the answer's
  // final result; read there, it needs no wait of its own. The cells without a row are swept
  // to "(n/a)" at the end of the cycle.
  bool finalRead = false;
  for (int cell = 1; cell < parser::kCellCount && !finalRead; ++cell) {
    modem::ReadReply(a);
    finalRead = IsFinalResult(a);
    if (finalRead) break;
    modem::ReadReply(r);
    parser::ParseReportLines(b, a, cell);
    finalRead = IsFinalResult(r);
  }
  if (!finalRead) {
    // A refusal after the rows ends the answer as an "OK" does.
    int which = -1;
    modem::WaitForAnyToken(port, {"OK", "ERROR"}, modem::MatchMode::anywhere, r, which);
  }
  return true;
}

}  // namespace core
