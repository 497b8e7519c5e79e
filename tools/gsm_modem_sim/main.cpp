// gsm_modem_sim: a GSM modem simulated on a pseudo-terminal. Prints the device path on its first
// line of output, then answers AT commands on it until SIGTERM or SIGINT.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/standard_descriptors.h"
#include "tools/gsm_modem_sim/sim_modem.h"

namespace {

// Poll cycles an option may count: a range CLI11 can name in a short message (its own check of
// "non-negative" names the double's range, a number of 309 digits).
constexpr long kMostCycles = 1'000'000'000L;

volatile std::sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

// Output waiting for a reader is capped: a peer that never reads cannot make the process grow.
constexpr std::size_t kMaxPendingOutput = 64 * 1024;

struct Pty {
  int master = -1;
  int slave = -1;  // kept open so the master does not report a hang-up between two clients
  std::string path;
};

bool OpenPty(Pty& pty) {
  pty.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.master < 0 || ::grantpt(pty.master) != 0 || ::unlockpt(pty.master) != 0) return false;
  char name[128];
  if (::ptsname_r(pty.master, name, sizeof name) != 0) return false;
  pty.path = name;
  pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.slave < 0) return false;
  // Raw from the start: a cooked line would echo our answers back to us before a client opens it.
  termios settings{};
  if (::tcgetattr(pty.slave, &settings) == 0) {
    ::cfmakeraw(&settings);
    ::tcsetattr(pty.slave, TCSANOW, &settings);
  }
  const int flags = ::fcntl(pty.master, F_GETFL);
  return flags >= 0 && ::fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) == 0;
}

void ClosePty(Pty& pty) {
  if (pty.master >= 0) ::close(pty.master);
  if (pty.slave >= 0) ::close(pty.slave);
  pty.master = pty.slave = -1;
}

void LogCommands(std::ofstream& log, const std::vector<std::string>& commands) {
  if (!log.is_open() || commands.empty()) return;
  const auto now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count();
  for (const auto& command : commands) log << now << ' ' << command << '\n';
  log.flush();
}

using Clock = std::chrono::steady_clock;

// The output of a serial line at a given rate: 10 bits a byte (start bit, 8 data bits, stop bit),
// each byte handed over once its stop bit has gone.
class LinePacer {
 public:
  explicit LinePacer(long baud) : byteTime_(std::chrono::nanoseconds(10'000'000'000LL / baud)) {}

  // Output arrives for an idle line: its first byte starts now, or when the last one ended.
  void LineWasIdle(Clock::time_point now) { nextDone_ = std::max(nextDone_, now + byteTime_); }
  // Of `waiting` bytes, how many have gone out by now.
  std::size_t Due(std::size_t waiting, Clock::time_point now) const {
    if (now < nextDone_) return 0;
    return std::min<std::size_t>(waiting, 1 + static_cast<std::size_t>((now - nextDone_) / byteTime_));
  }
  void Sent(std::size_t n) { nextDone_ += byteTime_ * static_cast<long>(n); }
  Clock::time_point NextDone() const { return nextDone_; }

 private:
  Clock::duration byteTime_;
  Clock::time_point nextDone_{};
};

// Runs until a stop signal or the simulated hang-up. Returns the exit code. With a pacer, output
// leaves no faster than the line rate.
int Serve(Pty& pty, modemsim::SimModem& modem, std::ofstream& log, const sigset_t& waitMask, LinePacer* pacer) {
  std::string pending;
  while (stopRequested == 0) {
    std::size_t due = pending.size();
    timespec wait{};
    const timespec* timeout = nullptr;
    if (pacer != nullptr && !pending.empty()) {
      const auto now = Clock::now();
      due = pacer->Due(pending.size(), now);
      if (due == 0) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(pacer->NextDone() - now).count();
        wait.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        wait.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        timeout = &wait;
      }
    }
    pollfd entry{pty.master, static_cast<short>(POLLIN | (due == 0 ? 0 : POLLOUT)), 0};
    const int ready = ::ppoll(&entry, 1, timeout, &waitMask);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return 1;
    }
    if ((entry.revents & POLLIN) != 0) {
      char buffer[256];
      const ssize_t n = ::read(pty.master, buffer, sizeof buffer);
      if (n > 0) {
        const std::string out = modem.Receive(std::string_view(buffer, static_cast<std::size_t>(n)));
        LogCommands(log, modem.TakeCommands());
        if (pacer != nullptr && pending.empty() && !out.empty()) pacer->LineWasIdle(Clock::now());
        if (pending.size() + out.size() <= kMaxPendingOutput) pending += out;
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return 1;
      }
    }
    if (pacer != nullptr)
      due = pacer->Due(pending.size(), Clock::now());
    else
      due = pending.size();
    while (due > 0) {
      const ssize_t n = ::write(pty.master, pending.data(), due);
      if (n <= 0) break;
      pending.erase(0, static_cast<std::size_t>(n));
      due -= static_cast<std::size_t>(n);
      if (pacer != nullptr) pacer->Sent(static_cast<std::size_t>(n));
    }
    if (modem.HungUp() && pending.empty()) return 0;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The pseudo-terminal must never take over a closed stdout: the device path would go to the
  // client as modem output.
  platform::GuardStandardDescriptors();
  modemsim::SimOptions options;
  options.seed = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::string linkPath;
  std::string logPath;
  long lineRate = 0;

  CLI::App app{
      "A GSM modem simulated on a pseudo-terminal. Prints the device path on the first line of output,\n"
      "then answers ATZ, ATE, AT+CGMR, AT+CGSN, AT+CGMI, AT+CGMM, AT+CIMI, ATD<number>;, ATH, AT^MONI and\n"
      "AT^MONP (anything else: ERROR) until SIGTERM or SIGINT. Answers are framed \\r\\n...\\r\\n as V.250\n"
      "gives them; tools/README.md shows the exact bytes.",
      "gsm_modem_sim"};
  app.add_option("--seed", options.seed, "seed of the simulated radio environment");
  app.add_option("--neighbours", options.neighbours, "rows of the neighbour report")->check(CLI::Range(0, 6));
  std::string band = "mixed";
  app.add_option("--band", band, "channels of every cell: mixed (default), 900, 1800 or egsm")
      ->check(CLI::IsMember({"mixed", "900", "1800", "egsm"}));
  app.add_option("--link", linkPath, "make a symbolic link PATH to the device (removed at exit)");
  app.add_flag("--echo-always", options.echoAlways, "echo stays on after ATE");
  app.add_flag("--ring", options.ring, "a RING notice before every fifth cell report");
  app.add_flag("--no-moni", options.noMoni, "answer the cell reports with ERROR");
  app.add_option("--silent-after", options.silentAfter, "stop answering after N poll cycles")
      ->check(CLI::Range(0L, kMostCycles));
  app.add_option("--hangup-after", options.hangupAfter, "close the line after N poll cycles, as if unplugged")
      ->check(CLI::Range(0L, kMostCycles));
  app.add_option("--reselect-every", options.reselectEvery,
                 "a cell reselection after every N poll cycles: the strongest neighbour becomes the serving cell")
      ->check(CLI::Range(0L, kMostCycles));
  const std::map<std::string, modemsim::SimDialect> dialects = {{"moni", modemsim::SimDialect::moni},
                                                                {"baseline", modemsim::SimDialect::baseline},
                                                                {"quectel", modemsim::SimDialect::quectel},
                                                                {"simcom", modemsim::SimDialect::simcom}};
  const std::map<std::string, modemsim::SimTech> techs = {
      {"gsm", modemsim::SimTech::gsm}, {"lte", modemsim::SimTech::lte}, {"endc", modemsim::SimTech::endc}};
  app.add_option("--dialect", options.dialect,
                 "whose commands it answers: moni (default: AT^MONI and AT^MONP), baseline (3GPP only), quectel or "
                 "simcom")
      ->transform(CLI::CheckedTransformer(dialects));
  app.add_option("--tech", options.tech,
                 "what the other dialects report: gsm (default), lte (with WCDMA and GSM neighbours) or endc (LTE "
                 "with an NR leg)")
      ->transform(CLI::CheckedTransformer(techs));
  app.add_option("--log-commands", logPath, "append each command received, after a monotonic time in ms");
  app.add_option("--line-rate", lineRate, "send no faster than a serial line at BAUD, 10 bits a byte (0: at once)")
      ->check(CLI::Range(0L, 10'000'000L));
  CLI11_PARSE(app, argc, argv);
  const std::map<std::string, modemsim::SimBand> bands = {{"mixed", modemsim::SimBand::mixed},
                                                          {"900", modemsim::SimBand::gsm900},
                                                          {"1800", modemsim::SimBand::gsm1800},
                                                          {"egsm", modemsim::SimBand::egsm}};
  options.band = bands.at(band);

  std::ofstream log;
  if (!logPath.empty()) {
    log.open(logPath, std::ios::app);
    if (!log) {
      std::fprintf(stderr, "gsm_modem_sim: cannot open %s\n", logPath.c_str());
      return 1;
    }
  }

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigset_t waitMask;
  ::sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGINT);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  Pty pty;
  if (!OpenPty(pty)) {
    std::perror("gsm_modem_sim: pseudo-terminal");
    return 1;
  }
  if (!linkPath.empty()) {
    std::error_code error;
    if (std::filesystem::is_symlink(linkPath, error)) std::filesystem::remove(linkPath, error);
    std::filesystem::create_symlink(pty.path, linkPath, error);
    if (error) {
      std::fprintf(stderr, "gsm_modem_sim: cannot link %s: %s\n", linkPath.c_str(), error.message().c_str());
      ClosePty(pty);
      return 1;
    }
  }
  std::printf("%s\n", pty.path.c_str());
  std::fflush(stdout);

  modemsim::SimModem modem(options);
  std::unique_ptr<LinePacer> pacer;
  if (lineRate > 0) pacer = std::make_unique<LinePacer>(lineRate);
  const int code = Serve(pty, modem, log, waitMask, pacer.get());
  ClosePty(pty);
  if (!linkPath.empty()) {
    std::error_code error;
    std::filesystem::remove(linkPath, error);
  }
  return code;
}
