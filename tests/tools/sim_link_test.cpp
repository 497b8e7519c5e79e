// The engine against the simulated modem process, over a real pseudo-terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "modem/com_port.h"
#include "modem/modem.h"
#include "parser/measurement_fields.h"
#include "parser/report_parser.h"
#include "tests/modem/pty_pair.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/recording_sink.h"

namespace {

using testsupport::ModemSimProcess;
using testsupport::RecordedField;

bool Shown(const std::vector<RecordedField>& fields, int code, int cell) {
  return std::any_of(fields.begin(), fields.end(),
                     [&](const RecordedField& f) { return f.fieldCode == code && f.cellIndex == cell; });
}

std::string ShownText(const std::vector<RecordedField>& fields, int code, int cell) {
  std::string text;
  for (const auto& f : fields) {
    if (f.fieldCode == code && f.cellIndex == cell) text = f.text;
  }
  return text;
}

// One poll cycle as the monitor thread runs it; false where it would end the loop.
bool PollCycle() {
  const modem::PortHandle port = modem::ActivePort();
  std::string a, b, r;
  if (!modem::SendLine(port, "AT^MONI") || !modem::WaitForToken(port, "Serving Cell", modem::MatchMode::anywhere, a))
    return false;
  if (!modem::ReadReply(a) || !a.empty() || !modem::ReadReply(b) || !modem::ReadReply(a) || !modem::ReadReply(a)) {
    return false;
  }
  if (!parser::ParseReportLines(b, a, 0) || !modem::ExpectToken(port, "OK", modem::MatchMode::anywhere)) return false;
  if (!modem::SendLine(port, "AT^MONP") || !modem::WaitForToken(port, "chann", modem::MatchMode::anywhere, b))
    return false;
  if (!modem::ReadReply(a)) return false;
  for (int cell = 1; cell <= 6; ++cell) {
    modem::ReadReply(a);
    modem::ReadReply(r);
    parser::ParseReportLines(b, a, cell);
  }
  return modem::ExpectToken(port, "OK", modem::MatchMode::anywhere);
}

class SimLinkTest : public ::testing::Test {
 protected:
  void start(const std::vector<std::string>& args, int timeoutMs = 300) {
    sim_ = std::make_unique<ModemSimProcess>(args);
    ASSERT_TRUE(sim_->Started());
    port_ = std::make_unique<modemtest::ScopedActivePort>(sim_->DevicePath(), timeoutMs, true);
    ASSERT_TRUE(port_->Opened());
  }
  void Connect() {
    ASSERT_TRUE(modem::InitModem());
    ASSERT_TRUE(modem::QueryField("AT+CGMR", "", parser::fcFirmware));
    ASSERT_TRUE(modem::QueryField("AT+CGSN", "", parser::fcImei));
    ASSERT_TRUE(modem::QueryField("AT+CGMI", "", parser::fcManufacturer));
    ASSERT_TRUE(modem::QueryField("AT+CGMM", "", parser::fcModel));
  }

  testsupport::ScopedDisplayRecorder display_;
  std::unique_ptr<ModemSimProcess> sim_;
  std::unique_ptr<modemtest::ScopedActivePort> port_;
};

TEST_F(SimLinkTest, ConnectionIdentityPollAndCall) {
  start({"--seed", "5"});
  Connect();
  auto fields = display_.Fields();
  EXPECT_EQ(ShownText(fields, parser::fcFirmware, 0), "REVISION 01.002");
  EXPECT_EQ(ShownText(fields, parser::fcManufacturer, 0), "SIMULATED");
  EXPECT_EQ(ShownText(fields, parser::fcModel, 0), "GSM-SIM 900");
  EXPECT_EQ(ShownText(fields, parser::fcImei, 0).size(), 15u);

  for (int cycle = 0; cycle < 2; ++cycle) {
    SCOPED_TRACE(cycle);
    display_.Clear();
    ASSERT_TRUE(PollCycle());
    fields = display_.Fields();
    for (int code : {parser::fcChannel, parser::fcRxLevel, parser::fcCountry, parser::fcOperator, parser::fcCell,
                     parser::fcBaseStation, parser::fcRxQuality, parser::fcTimingAdvance}) {
      EXPECT_TRUE(Shown(fields, code, 0)) << code;
    }
    for (int cell = 1; cell <= 6; ++cell) EXPECT_TRUE(Shown(fields, parser::fcRxLevel, cell)) << cell;
  }

  EXPECT_FALSE(modem::RunCommand("ATD", "0123;"));  // a bare OK is too short for the call handler
  display_.Clear();
  ASSERT_TRUE(PollCycle());
  const std::string level = ShownText(display_.Fields(), parser::fcRxLevel, 0);
  EXPECT_NE(level, "(n/a)");
  modem::RunCommand("ATH", "");
  ASSERT_TRUE(PollCycle());
  // As a connection ends. Its reads run one line past the framed "OK", so the result is false.
  modem::RunCommand("ATZ", "");
  const auto trace = modem::TraceOf(modem::ActivePort());
  ASSERT_TRUE(trace.has_value());
  EXPECT_EQ(std::count(trace->lines.begin(), trace->lines.end(), "SEND \"ATZ\""), 1);
  EXPECT_EQ(std::count(trace->lines.begin(), trace->lines.end(), "RECV \"OK\""), 2);
  EXPECT_EQ(sim_->Stop(), 0);
}

TEST_F(SimLinkTest, FewerNeighboursStillEndTheReport) {
  start({"--neighbours", "0", "--ring"}, 100);
  Connect();
  for (int cycle = 0; cycle < 6; ++cycle) {
    SCOPED_TRACE(cycle);
    display_.Clear();
    PollCycle();
    EXPECT_TRUE(Shown(display_.Fields(), parser::fcRxLevel, 0));
    EXPECT_FALSE(Shown(display_.Fields(), parser::fcRxLevel, 1));
  }
}

TEST_F(SimLinkTest, NoCellReports) {
  start({"--no-moni"}, 100);
  Connect();
  EXPECT_FALSE(PollCycle());
}

TEST_F(SimLinkTest, SilentAfterOneCycle) {
  start({"--silent-after", "1"}, 100);
  Connect();
  EXPECT_TRUE(PollCycle());
  EXPECT_FALSE(PollCycle());
  std::string line;
  EXPECT_EQ(modem::ReadLine(modem::ActivePort(), line), modem::TransferStatus::timeout);
}

TEST_F(SimLinkTest, HangupAfterOneCycle) {
  start({"--hangup-after", "1"}, 100);
  Connect();
  EXPECT_TRUE(PollCycle());
  EXPECT_FALSE(PollCycle());
  EXPECT_EQ(sim_->WaitExit(std::chrono::seconds(5)), 0);
  std::string line;
  EXPECT_EQ(modem::ReadLine(modem::ActivePort(), line), modem::TransferStatus::failed);
}

TEST(SimProcessTest, LinkAndCommandLog) {
  char pattern[] = "/tmp/simlink-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  const std::filesystem::path link = dir / "COM3";
  const std::filesystem::path log = dir / "commands.log";
  {
    ModemSimProcess sim({"--link", link.string(), "--log-commands", log.string(), "--echo-always"});
    ASSERT_TRUE(sim.Started());
    EXPECT_EQ(std::filesystem::read_symlink(link), sim.DevicePath());
    modem::PortHandle port;
    ASSERT_TRUE(modem::OpenPort(port, link.string(), 9600, 300, false, false));
    EXPECT_TRUE(modem::SendLine(port, "ATE"));
    EXPECT_TRUE(modem::ExpectToken(port, "OK", modem::MatchMode::wholeLine));
    EXPECT_TRUE(modem::SendLine(port, "AT+CGMM"));
    EXPECT_TRUE(modem::ExpectToken(port, "AT+CGMM", modem::MatchMode::wholeLine));  // the echo stays on
    EXPECT_TRUE(modem::ExpectToken(port, "OK", modem::MatchMode::wholeLine));
    modem::ClosePort(port);
    EXPECT_EQ(sim.Stop(), 0);
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
  std::ifstream in(log);
  std::vector<std::string> commands;
  long long previous = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    long long ms = 0;
    std::string command;
    fields >> ms >> command;
    EXPECT_GE(ms, previous);
    previous = ms;
    commands.push_back(command);
  }
  EXPECT_EQ(commands, (std::vector<std::string>{"ATE", "AT+CGMM"}));
  std::filesystem::remove_all(dir);
}

// Sends a command line on a raw descriptor; the bytes up to the closing "OK" and when the last came.
std::string Exchange(int fd, const std::string& command, std::chrono::steady_clock::time_point& lastByte) {
  if (::write(fd, command.data(), command.size()) != static_cast<ssize_t>(command.size())) return {};
  std::string answer;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!answer.ends_with("\r\nOK\r\n") && std::chrono::steady_clock::now() < deadline) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 100) <= 0) continue;
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
    lastByte = std::chrono::steady_clock::now();
  }
  return answer;
}

TEST(SimProcessTest, LineRatePacesTheAnswersAtTenBitsAByte) {
  std::string unpaced;
  for (const char* rate : {"0", "9600"}) {
    SCOPED_TRACE(rate);
    ModemSimProcess sim({"--seed", "3", "--line-rate", rate});
    ASSERT_TRUE(sim.Started());
    const int fd = ::open(sim.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    auto last = std::chrono::steady_clock::now();
    EXPECT_TRUE(Exchange(fd, "ATE\r", last).ends_with("OK\r\n"));
    const auto sent = std::chrono::steady_clock::now();
    const std::string answer = Exchange(fd, "AT^MONI\r", last);
    ::close(fd);
    EXPECT_EQ(sim.Stop(), 0);
    ASSERT_TRUE(answer.starts_with("\r\nServing Cell\r\n")) << answer;
    if (unpaced.empty()) {
      unpaced = answer;
      continue;
    }
    // The same bytes, the last of them no sooner than 10 bits a byte allow.
    EXPECT_EQ(answer, unpaced);
    const double seconds = std::chrono::duration<double>(last - sent).count();
    EXPECT_GE(seconds, 0.99 * static_cast<double>(answer.size()) * 10 / 9600);
  }
}

TEST(SimProcessTest, BadOptionsAreRefused) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--neighbours", "7"}, std::vector<std::string>{"--bogus"},
        std::vector<std::string>{"--silent-after", "x"}, std::vector<std::string>{"--line-rate", "-1"}}) {
    SCOPED_TRACE(args[0]);
    ModemSimProcess sim(args);
    EXPECT_FALSE(sim.Started());
    EXPECT_NE(sim.WaitExit(std::chrono::seconds(5)), 0);
  }
  // A negative count is refused with a message that names the range a person can read.
  for (const char* option : {"--reselect-every", "--silent-after", "--hangup-after"}) {
    SCOPED_TRACE(option);
    const std::string command = std::string(GSM_MODEM_SIM_PATH) + " " + option + " -1 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string said;
    char buffer[256];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) said.append(buffer, n);
    EXPECT_NE(::pclose(pipe), 0);
    EXPECT_NE(said.find("not in range 0 to 1000000000"), std::string::npos) << said;
    EXPECT_LT(said.size(), 200u) << said;
  }
}

}  // namespace
