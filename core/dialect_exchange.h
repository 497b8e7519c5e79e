#pragma once
// The exchanges of the families' dialects: a command and its whole answer, read to its final
// result, under the modem's command lock. Unlike the seed family's positional exchange, the
// answer may have any number of lines, echoes and unsolicited lines among them.

#include <string>
#include <string_view>

#include "dialects/dialect.h"

namespace core {

enum class AnswerKind {
  answered,  // "OK", or lines that stopped without a final result
  refused,   // "ERROR", "+CME ERROR: ...", "+CMS ERROR: ..."
  silent,    // nothing within the read time-out, the port failed, or a stop cut in
};

struct Answer {
  AnswerKind kind = AnswerKind::silent;
  std::string text;  // the lines before the final result, each ended by LF
};

// Sends command (CR LF) and reads its answer.
Answer ExchangeCommand(std::string_view command);

// The dialect's set-up commands, answers ignored. False when the modem answered none of them.
bool SetUpDialect(const dialects::Dialect& dialect);

}  // namespace core
