#include "modem/modem.h"

#include <array>
#include <chrono>
#include <thread>

#include "modem/com_port.h"
#include "modem/link_state.h"
#include "parser/measurement_fields.h"
#include "parser/report_parser.h"

namespace modem {

namespace {

// The modem needs this pause between an answer and the next command.
constexpr std::chrono::milliseconds kCommandPause{50};

bool IsHeaderLine(const std::string& line, std::string& state) {
  if (line.find(',') == std::string::npos) return false;
  state = line;
  return true;
}

const std::array<TCmdDesc, 10> kCommandTable = {{
    {"ATZ", std::monostate{}},
    {"ATE", std::monostate{}},
    {"ATD", &CallHandler},
    {"ATH", &CallHandler},
    {"AT^MONI", &CellReportHandler},
    {"AT+CGSN", parser::fcImei},
    {"AT+CGMI", parser::fcManufacturer},
    {"AT+CGMM", parser::fcModel},
    {"AT+CGMR", parser::fcFirmware},
    {"AT+CIMI", parser::fcImsi},
}};

void Pause() { std::this_thread::sleep_for(kCommandPause); }

}  // namespace

std::span<const TCmdDesc> CommandTable() { return kCommandTable; }

bool CallHandler(const std::string&, int lineIndex, std::string&) { return lineIndex == 1; }

bool CellReportHandler(const std::string& line, int lineIndex, std::string& state) {
  switch (lineIndex) {
    case 0:
      return line.starts_with("Serving Cell");
    case 1:
    case 4:
      return IsHeaderLine(line, state);
    case 2:
      return parser::ParseReportLines(state, line, 0);
    case 3:
      return line == "Neighbour Cells";
    default:
      // Rows 5..10 are the six neighbours, cells 1..6.
      if (lineIndex <= 10) return parser::ParseReportLines(state, line, lineIndex - 4);
      return false;
  }
}

std::mutex& CommandLock() { return CurrentLink().commandLock; }

bool ReadReply(std::string& line) {
  const PortHandle port = ActivePort();
  if (!ReadLineOk(port, line)) return false;
  if (line != "RING") return true;
  return ReadLineOk(port, line) && ReadLineOk(port, line);
}

bool InitModem() {
  const PortHandle port = ActivePort();
  if (!SendLine(port, "ATZ")) return false;
  std::string line;
  for (int i = 0; i < 4; ++i) {
    if (!ReadReply(line) || line == "OK") break;
  }
  if (!SendLine(port, "ATE")) return false;
  return ExpectToken(port, "OK", MatchMode::anywhere);
}

bool QueryField(std::string_view command, std::string_view argument, int fieldCode) {
  const PortHandle port = ActivePort();
  const bool ok = [&] {
    std::string text(command);
    text += argument;
    if (!SendLine(port, text)) return false;
    std::string line;
    for (int i = 0; i < 4; ++i) {
      if (!ReadReply(line)) return false;
    }
    // Only an answer the modem confirms is a value: a refusal ("ERROR" where the value stands)
    // must not reach the display.
    if (!ExpectToken(port, "OK", MatchMode::anywhere)) return false;
    return parser::DispatchField(fieldCode, line);
  }();
  Pause();
  return ok;
}

bool RunCommand(std::string_view command, std::string_view argument) {
  std::lock_guard lock(CommandLock());
  const PortHandle port = ActivePort();
  std::string text(command);
  text += argument;
  (void)SendLine(port, text);
  Pause();
  std::string reply;
  (void)ReadLineOk(port, reply);
  (void)ReadLineOk(port, reply);

  const TCmdDesc* entry = nullptr;
  for (const TCmdDesc& candidate : kCommandTable) {
    if (candidate.command == command) {
      entry = &candidate;
      break;
    }
  }
  if (entry == nullptr) {
    parser::DispatchField(parser::fcError, "Unknown AT-core command: " + text);
    return false;
  }

  const bool resetOrEcho = command == "ATZ" || command == "ATE";
  std::string state;
  int lineIndex = 0;
  if (!resetOrEcho) (void)ReadLineOk(port, reply);
  if (reply == "RING") {
    (void)ReadLineOk(port, reply);
    (void)ReadLineOk(port, reply);
  }

  bool ok = false;
  for (;;) {
    ok = ReadLineOk(port, reply);
    if (ok) {
      if (const int* code = std::get_if<int>(&entry->handler)) {
        parser::DispatchField(*code, reply);
      } else if (const ResponseHandler* handler = std::get_if<ResponseHandler>(&entry->handler)) {
        ok = (*handler)(reply, lineIndex, state);
      }
    }
    if (resetOrEcho) reply.clear();
    if (lineIndex == 0) ok = ReadLineOk(port, reply) && ReadLineOk(port, reply);
    ++lineIndex;
    Pause();
    if (!ok || reply.empty()) break;
  }

  if (!ok) {
    parser::DispatchField(parser::fcError, "PARSE ERROR");
    return false;
  }
  const bool lastRead = ReadLineOk(port, reply);
  if (reply != "OK") parser::DispatchField(parser::fcError, reply);
  return lastRead;
}

}  // namespace modem
