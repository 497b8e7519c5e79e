#include "tools/gsm_modem_sim/sim_modem.h"

#include <algorithm>
#include <cctype>

namespace modemsim {

namespace {

// Longest command line kept; the rest of a longer line is dropped, so input cannot grow memory.
constexpr std::size_t kMaxLine = 256;
constexpr std::size_t kMaxPendingCommands = 64;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string Framed(std::string_view line) { return "\r\n" + std::string(line) + "\r\n"; }

}  // namespace

std::string FramedAnswer(const std::vector<std::string>& lines) {
  std::string out;
  if (!lines.empty()) {
    out = "\r\n";
    for (const auto& line : lines) out += line + "\r\n";
  }
  return out + Framed("OK");
}

SimModem::SimModem(const SimOptions& options)
    : options_(options), world_(options.seed, std::clamp(options.neighbours, 0, 6), options.band) {}

bool SimModem::silent() const { return options_.silentAfter >= 0 && cycles_ >= options_.silentAfter; }

bool SimModem::HungUp() const { return hungUp_; }

std::string SimModem::Imei() const {
  // 14 digits from the seed and the Luhn check digit, as a real IMEI carries.
  std::string digits = "35";
  std::uint32_t value = options_.seed * 2654435761u;
  for (int i = 0; i < 12; ++i) {
    digits += static_cast<char>('0' + value % 10);
    value = value / 10 + static_cast<std::uint32_t>(i) * 7919u;
  }
  int sum = 0;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    int d = digits[i] - '0';
    if (i % 2 == 1) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
    sum += d;
  }
  digits += static_cast<char>('0' + (10 - sum % 10) % 10);
  return digits;
}

std::vector<std::string> SimModem::TakeCommands() {
  std::vector<std::string> taken;
  taken.swap(commands_);
  return taken;
}

std::string SimModem::Receive(std::string_view bytes) {
  std::string out;
  for (const char byte : bytes) {
    if (silent() || HungUp()) break;
    // The LF after a command's CR is not part of the next command and is not echoed.
    if (byte == '\n' || byte == '\0') continue;
    if (echo_) out += byte;
    if (byte != '\r') {
      if (line_.size() < kMaxLine) line_ += byte;
      continue;
    }
    std::string command;
    command.swap(line_);
    if (command.empty()) continue;
    if (commands_.size() < kMaxPendingCommands) commands_.push_back(command);
    // The line drops at the first command after the last answered cycle, so that answer was read.
    if (options_.hangupAfter >= 0 && cycles_ >= options_.hangupAfter) {
      hungUp_ = true;
      break;
    }
    out += answer(command);
  }
  return out;
}

std::string SimModem::answer(const std::string& raw) {
  const std::string command = Upper(raw);
  if (command == "AT") return FramedAnswer({});
  if (command == "ATZ") {
    echo_ = true;
    inCall_ = false;
    return FramedAnswer({});
  }
  if (command == "ATE" || command == "ATE0") {
    echo_ = options_.echoAlways;
    return FramedAnswer({});
  }
  if (command == "ATE1") {
    echo_ = true;
    return FramedAnswer({});
  }
  const SimIdentity identity = IdentityOf(options_.dialect, options_.tech);
  if (command == "AT+CGMR") return FramedAnswer({identity.revision});
  if (command == "AT+CGSN") return FramedAnswer({Imei()});
  if (command == "AT+CGMI") return FramedAnswer({identity.manufacturer});
  if (command == "AT+CGMM") return FramedAnswer({identity.model});
  if (command == "AT+CIMI") return FramedAnswer({"250" + std::to_string(world_.Mnc() + 100).substr(1) + "0123456789"});
  if (command.size() > 4 && command.starts_with("ATD") && command.back() == ';') {
    inCall_ = true;
    return FramedAnswer({});
  }
  if (command == "ATH" || command == "ATH0") {
    inCall_ = false;
    return FramedAnswer({});
  }
  const bool serving = command == "AT^MONI";
  if (options_.dialect != SimDialect::moni && !serving && command != "AT^MONP") {
    if (OpensCycle(options_.dialect, command)) {
      if (dialectCycleOpened_) ++cycles_;
      dialectCycleOpened_ = true;
      if (silent()) return {};
      world_.Advance();
    }
    return DialectAnswer(options_.dialect, options_.tech, world_, command).value_or(Framed("ERROR"));
  }
  if (serving || command == "AT^MONP") {
    if (options_.noMoni || options_.dialect != SimDialect::moni) return Framed("ERROR");
    std::string out = options_.ring && ++reports_ % 5 == 0 ? Framed("RING") : std::string();
    if (serving) {
      // After every reselectEvery complete cycles, the next serving report comes from another cell.
      if (options_.reselectEvery > 0 && cycles_ > 0 && cycles_ % options_.reselectEvery == 0 &&
          reselectedAt_ != cycles_) {
        reselectedAt_ = cycles_;
        world_.Reselect();
      }
      world_.Advance();
      out += FramedAnswer(world_.ServingReport(inCall_));
    } else {
      out += FramedAnswer(world_.NeighbourReport());
      ++cycles_;
    }
    return out;
  }
  return Framed("ERROR");
}

}  // namespace modemsim
