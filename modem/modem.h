#pragma once
// The AT command engine: positional exchanges with the modem on the calling thread's link
// (modem/link_state.h, modem::ActivePort()). Values leave only through parser::DispatchField; error texts go there
// under parser::fcError. Every command is sent with CR LF.

#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace modem {

// A response handler: (line, line index from 0, state kept between lines) -> go on reading.
using ResponseHandler = bool (*)(const std::string& line, int lineIndex, std::string& state);

// One command table entry: the command as sent, and nothing, a field code, or a handler.
struct TCmdDesc {
  std::string_view command;
  std::variant<std::monostate, int, ResponseHandler> handler;
};

// The commands RunCommand knows, in search order. The program sends three of them through it
// ("ATD", "ATH" and the closing "ATZ"); the poll and the identity queries have exchanges of their own.
std::span<const TCmdDesc> CommandTable();

// True exactly at line index 1 ("ATD", "ATH").
bool CallHandler(const std::string& line, int lineIndex, std::string& state);
// The serving and neighbour sections of an "AT^MONI" answer, parsed as they arrive.
bool CellReportHandler(const std::string& line, int lineIndex, std::string& state);

// Serialises whole RunCommand exchanges; RunCommand holds it for its whole run.
std::mutex& CommandLock();

// One reply line; a "RING" line and its remainder are stepped over (two more reads).
bool ReadReply(std::string& line);

// "ATZ" (up to four reply lines, "OK" not required), then "ATE": true when a line containing
// "OK" follows within ten lines.
bool InitModem();

// Sends command + argument and, once "OK" has followed, hands the fourth reply line to
// DispatchField(fieldCode); true when every read worked, "OK" came and the dispatcher accepted the
// value. Waits 50 ms at the end.
bool QueryField(std::string_view command, std::string_view argument, int fieldCode);

// Runs one command of the table under the command lock (see CommandTable); false for a command
// outside it, a reply the handler refused, or a failed final read.
bool RunCommand(std::string_view command, std::string_view argument);

}  // namespace modem
