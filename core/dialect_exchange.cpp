#include "core/dialect_exchange.h"

#include <mutex>

#include "modem/com_port.h"
#include "modem/modem.h"

namespace core {
namespace {

// An answer longer than this is cut: no report a family writes has as many lines.
constexpr int kMaxAnswerLines = 64;

}  // namespace

Answer ExchangeCommand(std::string_view command) {
  std::lock_guard lock(modem::CommandLock());
  const auto port = modem::ActivePort();
  Answer answer;
  if (!modem::SendLine(port, command)) return answer;
  bool anyLine = false;
  std::string line;
  for (int i = 0; i < kMaxAnswerLines; ++i) {
    if (!modem::ReadLineOk(port, line)) break;
    if (dialects::IsFinalResult(line)) {
      answer.kind = dialects::IsRefusal(line) ? AnswerKind::refused : AnswerKind::answered;
      return answer;
    }
    if (line.empty()) continue;
    anyLine = true;
    answer.text += line;
    answer.text += '\n';
  }
  // A stop is no answer, whatever came before it.
  answer.kind = anyLine && !modem::PortInterrupted(port) ? AnswerKind::answered : AnswerKind::silent;
  return answer;
}

bool SetUpDialect(const dialects::Dialect& dialect) {
  bool anyAnswer = dialect.setup.empty();
  for (const std::string_view command : dialect.setup) {
    anyAnswer = ExchangeCommand(command).kind != AnswerKind::silent || anyAnswer;
  }
  return anyAnswer;
}

}  // namespace core
