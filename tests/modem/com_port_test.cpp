#include "modem/com_port.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <utility>

#include "modem/link_state.h"
#include "tests/modem/pty_pair.h"

namespace {

using modem::PortHandle;
using modemtest::PtyPair;

class ComPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pty_.SlavePath().empty());
    ASSERT_TRUE(modem::OpenPort(port_, pty_.SlavePath(), 9600, 100, false, true));
  }
  void TearDown() override { modem::ClosePort(port_); }

  PtyPair pty_;
  PortHandle port_;
};

TEST_F(ComPortTest, ReadLineEndsAtCrLfAndNul) {
  struct Read {
    std::string line;
    int status;  // 0 done, 1 time-out
  };
  struct Case {
    const char* name;
    std::string input;
    std::vector<Read> reads;
  };
  const Case cases[] = {
      {"OK CR LF is two lines", "OK\r\n", {{"OK", 0}, {"", 0}, {"", 1}}},
      {"NUL ends a line", std::string("AB\0CD\r", 6), {{"AB", 0}, {"CD", 0}, {"", 1}}},
      {"bytes then silence", "AB", {{"AB", 0}, {"", 1}}},
      {"silence", "", {{"", 1}}},
      {"high bytes pass", "\xC0\xFF x\n", {{"\xC0\xFF x", 0}}},
      {"a babbling modem is cut into lines",
       std::string(modem::kMaxLineLength + 5, 'x'),
       {{std::string(modem::kMaxLineLength, 'x'), 0}, {"xxxxx", 0}, {"", 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pty_.Feed(c.input);
    for (const auto& expected : c.reads) {
      std::string line = "stale";
      EXPECT_EQ(static_cast<int>(modem::ReadLine(port_, line)), expected.status);
      EXPECT_EQ(line, expected.line);
    }
  }
}

TEST_F(ComPortTest, SendLineAppendsCrLf) {
  EXPECT_TRUE(modem::SendLine(port_, "AT^MONI"));
  EXPECT_TRUE(modem::SendText(port_, "ATZ"));
  EXPECT_EQ(pty_.Drain(), "AT^MONI\r\nATZ");
}

TEST(TokenMatchTest, MatchModes) {
  struct Case {
    const char* line;
    const char* token;
    int mode;  // 0 whole line, N prefix, -1 anywhere
    bool matches;
  };
  const Case cases[] = {
      {"OK", "OK", 0, true},   {"OK ", "OK", 0, false}, {"ATZxyz", "ATZ", 3, true},
      {"AT", "ATZ", 3, false}, {"ATZ", "ATZ", 5, true}, {"BOOKED", "OK", -1, true},
      {"ok", "OK", -1, false}, {"OK", "OK", -2, false}, {"Serving Cell x", "Serving Cell", -1, true},
      {"AT", "ATZ", 2, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.line) + " / " + c.token + " / " + std::to_string(c.mode));
    EXPECT_EQ(modem::TokenMatches(c.line, c.token, modem::MatchMode{c.mode}), c.matches);
  }
}

TEST_F(ComPortTest, WaitGivesUpAfterTenLines) {
  pty_.Feed("1\r2\r3\r4\r5\r6\r7\r8\r9\r10\rOK\r");
  std::string line;
  int index = 5;
  EXPECT_FALSE(modem::WaitForAnyToken(port_, {"OK"}, modem::MatchMode::anywhere, line, index));
  EXPECT_EQ(index, -1);
  EXPECT_EQ(line, "10");
  EXPECT_TRUE(modem::ExpectToken(port_, "OK", modem::MatchMode::wholeLine));
}

TEST_F(ComPortTest, WaitReportsTheFirstMatchingTokenInListOrder) {
  pty_.Feed("\r\nATZxyz\r\n");
  std::string line;
  int index = -1;
  EXPECT_TRUE(modem::WaitForAnyToken(port_, {"xyz", "ATZ"}, modem::MatchPrefix(3), line, index));
  EXPECT_EQ(index, 1);
  EXPECT_EQ(line, "ATZxyz");
}

TEST_F(ComPortTest, AGoneDeviceEndsReadsAndWaitsAtOnce) {
  pty_.CloseMaster();
  std::string line;
  EXPECT_EQ(modem::ReadLine(port_, line), modem::TransferStatus::failed);
  EXPECT_FALSE(modem::WaitForToken(port_, "OK", modem::MatchMode::anywhere, line));
}

TEST_F(ComPortTest, TraceKeepsTheLastTwentyEntries) {
  for (int i = 0; i < 25; ++i) modem::SendLine(port_, "AT" + std::to_string(i));
  pty_.Feed("OK\r");
  std::string line;
  modem::ReadLine(port_, line);
  const auto trace = modem::TraceOf(port_);
  ASSERT_TRUE(trace.has_value());
  EXPECT_EQ(trace->handle, port_.Fd());
  EXPECT_EQ(trace->portName, pty_.SlavePath());
  EXPECT_EQ(trace->count, 20);
  EXPECT_EQ(trace->lines.front(), "SEND \"AT6\"");
  EXPECT_EQ(trace->lines[18], "SEND \"AT24\"");
  EXPECT_EQ(trace->lines.back(), "RECV \"OK\"");
}

TEST(TraceEntryTest, Format) {
  struct Case {
    char marker;
    const char* text;
    const char* entry;
  };
  const Case cases[] = {
      {'>', "ATZ\r\n", "SEND \"ATZ\""},     {'<', "OK", "RECV \"OK\""}, {'<', "a\tb", "RECV \"a<09h>b\""},
      {'>', "x\ny\rz", "SEND \"x<0Ah>y\""}, {'<', "", "RECV \"\""},     {'<', "\x1B\x7F", "RECV \"<1Bh>\x7F\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(modem::TraceEntry(c.marker, c.text), c.entry);
  }
}

TEST(ComPortOpenTest, MissingDeviceFails) {
  PortHandle port;
  EXPECT_FALSE(modem::OpenPort(port, "/dev/nonexistent-gsm-port", 9600, 1000, false, false));
  EXPECT_FALSE(port.IsSet());
  EXPECT_FALSE(modem::ClosePort(port));
  std::string line;
  EXPECT_EQ(modem::ReadLine(port, line), modem::TransferStatus::failed);
  EXPECT_FALSE(modem::SendLine(port, "ATZ"));
}

// Nothing but a terminal device is ever opened as the port, and a refusal keeps its cause.
TEST(ComPortOpenTest, OnlyATerminalIsTakenAndTheCauseIsKept) {
  char pattern[] = "/tmp/comport-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  const std::string file = (dir / "somefile").string();
  { std::ofstream(file) << "keep me"; }
  const std::string fifo = (dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  PtyPair held;
  const int holder = ::open(held.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);  // another program's lock
  PtyPair free;

  using platform::ErrorReason;
  struct Case {
    const char* name;
    std::string path;
    ErrorReason reason;
  };
  const Case cases[] = {
      {"regular file", file, ErrorReason::wrongType},
      {"folder", dir.string(), ErrorReason::wrongType},
      {"FIFO without a writer", fifo, ErrorReason::wrongType},
      {"/dev/null", "/dev/null", ErrorReason::wrongType},
      {"missing", (dir / "missing").string(), ErrorReason::notFound},
      {"COM0 is a relative path", "COM0", ErrorReason::notFound},
      {"locked by another program", held.SlavePath(), ErrorReason::busy},
      {"a free terminal", free.SlavePath(), ErrorReason::none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PortHandle port;
    platform::SystemError error{ErrorReason::other, -1};
    EXPECT_EQ(modem::OpenPort(port, c.path, 9600, 100, false, false, &error), c.reason == ErrorReason::none);
    EXPECT_EQ(error.reason, c.reason);
    EXPECT_EQ(port.IsSet(), c.reason == ErrorReason::none);
    modem::ClosePort(port);
  }
  std::ifstream in(file);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep me");
  ::close(holder);
  std::filesystem::remove_all(dir);
}

TEST(ComPortOpenTest, NoPermissionIsSaid) {
  if (::geteuid() == 0) GTEST_SKIP() << "root passes permission checks";
  PtyPair pty;
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
  PortHandle port;
  platform::SystemError error;
  EXPECT_FALSE(modem::OpenPort(port, pty.SlavePath(), 9600, 100, false, false, &error));
  EXPECT_EQ(error.reason, platform::ErrorReason::noPermission);
  EXPECT_EQ(error.code, EACCES);
}

TEST(ComPortOpenTest, SecondOpenOfAnOpenDeviceFails) {
  PtyPair pty;
  PortHandle first;
  PortHandle second;
  ASSERT_TRUE(modem::OpenPort(first, pty.SlavePath(), 9600, 100, false, false));
  EXPECT_FALSE(modem::OpenPort(second, pty.SlavePath(), 9600, 100, false, false));
  EXPECT_TRUE(modem::ClosePort(first));
  EXPECT_TRUE(modem::OpenPort(second, pty.SlavePath(), 9600, 100, true, false));
  EXPECT_TRUE(modem::ClosePort(second));
}

TEST(ComPortOpenTest, CloseRestoresTheSavedSettings) {
  PtyPair pty;
  const int observer = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(observer, 0);
  termios before{};
  ASSERT_EQ(::tcgetattr(observer, &before), 0);
  ::cfsetospeed(&before, B2400);
  ::cfsetispeed(&before, B2400);
  before.c_lflag |= ECHO | ICANON;
  ASSERT_EQ(::tcsetattr(observer, TCSANOW, &before), 0);
  ASSERT_EQ(::tcgetattr(observer, &before), 0);

  PortHandle port;
  ASSERT_TRUE(modem::OpenPort(port, pty.SlavePath(), 115200, 100, false, false));
  termios during{};
  ASSERT_EQ(::tcgetattr(observer, &during), 0);
  EXPECT_EQ(during.c_lflag & (ECHO | ICANON), 0u);
  EXPECT_EQ(::cfgetospeed(&during), static_cast<speed_t>(B115200));

  EXPECT_TRUE(modem::ClosePort(port));
  termios after{};
  ASSERT_EQ(::tcgetattr(observer, &after), 0);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
  ::close(observer);
}

TEST(ComPortOpenTest, StaleCopiesFailAfterClose) {
  PtyPair pty;
  PortHandle port;
  ASSERT_TRUE(modem::OpenPort(port, pty.SlavePath(), 9600, 100, false, false));
  const PortHandle copy = port;
  EXPECT_TRUE(modem::ClosePort(port));
  EXPECT_FALSE(modem::ClosePort(copy));
  EXPECT_EQ(copy.Fd(), -1);
  EXPECT_FALSE(modem::SendLine(copy, "ATZ"));
  std::string line;
  EXPECT_EQ(modem::ReadLine(copy, line), modem::TransferStatus::failed);
}

TEST(ComPortOpenTest, ErrnoOutcomes) {
  const std::pair<int, modem::IoOutcome> cases[] = {
      {EINTR, modem::IoOutcome::retry},  {EAGAIN, modem::IoOutcome::wait},  {EIO, modem::IoOutcome::failed},
      {ENXIO, modem::IoOutcome::failed}, {EBADF, modem::IoOutcome::failed},
  };
  for (const auto& [error, outcome] : cases) {
    SCOPED_TRACE(error);
    EXPECT_EQ(modem::ClassifyErrno(error), outcome);
  }
}

using Clock = std::chrono::steady_clock;

// A stop request reaches a read that waits for the modem: the read ends at once, and so does
// every later transfer, until the closing exchange, which works again within its budget.
TEST(PortInterruptTest, EndsAPendingReadThenAllowsTheFinalExchange) {
  PtyPair pty;
  PortHandle port;
  ASSERT_TRUE(modem::OpenPort(port, pty.SlavePath(), 9600, 5000, false, false));
  std::thread stopper([port] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    modem::InterruptPort(port);
  });
  std::string line;
  auto start = Clock::now();
  EXPECT_EQ(modem::ReadLine(port, line), modem::TransferStatus::failed);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  stopper.join();
  EXPECT_TRUE(modem::PortInterrupted(port));
  pty.Feed("OK\r\n");
  EXPECT_EQ(modem::ReadLine(port, line), modem::TransferStatus::failed);
  EXPECT_FALSE(modem::SendLine(port, "ATZ"));

  modem::BeginFinalExchange(port, std::chrono::milliseconds(300));
  modem::InterruptPort(port);  // too late: the final exchange goes on
  EXPECT_FALSE(modem::PortInterrupted(port));
  EXPECT_TRUE(modem::SendLine(port, "ATZ"));
  EXPECT_EQ(pty.Drain(), "ATZ\r\n");
  EXPECT_EQ(modem::ReadLine(port, line), modem::TransferStatus::done);
  EXPECT_EQ(line, "OK");
  // Silence costs the budget, not the port's 5 s time-out.
  start = Clock::now();
  EXPECT_EQ(modem::ReadLine(port, line), modem::TransferStatus::done);  // the LF after "OK"
  EXPECT_EQ(modem::ReadLine(port, line), modem::TransferStatus::timeout);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_TRUE(modem::ClosePort(port));
}

// After a stop request a modem that keeps answering promptly is still read, line by line; its
// falling silent ends the exchange, and so does a drip that would outlast the stop's grace.
TEST(PortInterruptTest, APromptModemFinishesItsExchange) {
  struct Case {
    const char* name;
    std::chrono::milliseconds gap;  // between the modem's bytes after the stop
    int bytes;                      // how many it sends
    int linesRead;                  // whole lines read before the transfer fails
  };
  const Case cases[] = {{"prompt lines, then silence", std::chrono::milliseconds(50), 3, 3},
                        {"a drip beyond the grace", std::chrono::milliseconds(100), 1000, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PtyPair pty;
    PortHandle port;
    ASSERT_TRUE(modem::OpenPort(port, pty.SlavePath(), 9600, 5000, false, false));
    modem::InterruptPort(port, modem::StopKind::finishExchange);
    const bool lines = c.linesRead > 0;
    std::atomic<bool> stop{false};
    std::thread modemSide([&] {
      for (int i = 0; i < c.bytes && !stop.load(); ++i) {
        std::this_thread::sleep_for(c.gap);
        pty.Feed(lines ? "OK\r" : "x");
      }
    });
    std::string line;
    int read = 0;
    const auto start = Clock::now();
    while (modem::ReadLine(port, line) == modem::TransferStatus::done && read < 100) {
      if (line == "OK") ++read;
    }
    const auto took = Clock::now() - start;
    stop.store(true);
    modemSide.join();
    EXPECT_EQ(read, c.linesRead);
    EXPECT_TRUE(modem::PortInterrupted(port));
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_FALSE(modem::SendLine(port, "ATZ"));
    EXPECT_TRUE(modem::ClosePort(port));
  }
}

// A modem that sends a byte now and then, never a line end, cannot hold one line read for longer
// than the first byte's wait and one more time-out.
TEST(PortDripTest, ALineEndsOneTimeOutAfterItsFirstByte) {
  PtyPair pty;
  PortHandle port;
  ASSERT_TRUE(modem::OpenPort(port, pty.SlavePath(), 9600, 300, false, false));
  std::atomic<bool> stop{false};
  std::thread drip([&] {
    while (!stop.load()) {
      pty.Feed("x");
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
  });
  std::string line;
  const auto start = Clock::now();
  EXPECT_EQ(modem::ReadLine(port, line), modem::TransferStatus::done);
  const auto took = Clock::now() - start;
  stop.store(true);
  drip.join();
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_FALSE(line.empty());
  EXPECT_LT(line.size(), 30u);
  EXPECT_EQ(line.find_first_not_of('x'), std::string::npos);
  EXPECT_TRUE(modem::ClosePort(port));
}

TEST(ActivePortTest, SharedByTheThreadsOfOneLink) {
  PtyPair pty;
  PortHandle port;
  ASSERT_TRUE(modem::OpenPort(port, pty.SlavePath(), 9600, 100, false, false));
  modem::SetActivePort(port);
  // A session's worker enters the session's link, and finds its port there.
  modem::Link& link = modem::CurrentLink();
  std::thread worker([&link] {
    const modem::ScopedLink scope(link);
    modem::SendLine(modem::ActivePort(), "ATH");
  });
  worker.join();
  EXPECT_EQ(pty.Drain(), "ATH\r\n");
  EXPECT_TRUE(modem::ClosePort(modem::ActivePort()));
  modem::SetActivePort({});
}

}  // namespace
