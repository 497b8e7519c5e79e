// An unlucky or hostile user: odd ports, closed standard descriptors, output nobody can take,
// files that are not files, huge logs and odd option values. Every run must end within its
// bound, touch nothing it was not meant to, and say what went wrong with a non-zero status.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/faults/fault_fixture.h"
#include "tests/log/plain_log.h"
#include "tests/support/modem_sim_process.h"
#include "tests/support/prompt_bound.h"
#include "tests/support/scripted_answers.h"
#include "tests/support/scripted_modem.h"

namespace faults {
namespace {

using testsupport::GoodAnswer;
using testsupport::Promptly;

const std::string kCannotOpenPort = "Невозможно открыть порт ";
const std::string kOutputFailed = "Невозможно записать в стандартный вывод";

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// ---- The port must be a terminal ----

struct PortCase {
  const char* name;
  // Prepares the folder (the run's working directory) and returns the --port value.
  std::function<std::string(const std::filesystem::path& dir)> prepare;
  const char* reason;  // the message's second line
};

void PrintTo(const PortCase& row, std::ostream* out) { *out << row.name; }

class PortRefusalTest : public FaultTest, public testing::WithParamInterface<PortCase> {};

// Refused before a single byte is written: the file named as the port keeps its bytes, the run
// ends at once with both lines of the message.
TEST_P(PortRefusalTest, RefusedBeforeAByteIsWritten) {
  const PortCase& row = GetParam();
  const std::filesystem::path victim = dir_ / "victim";
  WriteFile(victim, "precious bytes\n");
  const std::string port = row.prepare(dir_);
  ChildSetup setup;
  setup.workingDir = dir_.string();
  setup.environment = {std::string("OSTRIN_GSMMON_COMDIR=") + (dir_ / "comdir").string()};
  ChildProcess monitor({kCli, "monitor", "--port", port, "--cycles", "1"}, dir_, "monitor", setup);
  const auto status = monitor.WaitExit(5s);
  ASSERT_TRUE(status.has_value()) << "the monitor still runs with --port " << port;
  EXPECT_EQ(*status, kExitError);
  EXPECT_EQ(monitor.Stderr(), kCannotOpenPort + port + "\n" + row.reason + "\n");
  EXPECT_EQ(ReadWholeFile(victim), "precious bytes\n");
}

const char* const kNotAPort = "Это не последовательный порт";

INSTANTIATE_TEST_SUITE_P(
    Ports, PortRefusalTest,
    testing::Values(
        PortCase{"RegularFile", [](const std::filesystem::path&) { return std::string("./victim"); }, kNotAPort},
        PortCase{"ComLinkToARegularFile",
                 [](const std::filesystem::path& dir) {
                   std::filesystem::create_directory(dir / "comdir");
                   std::filesystem::create_symlink(dir / "victim", dir / "comdir" / "COM3");
                   return std::string("COM3");
                 },
                 kNotAPort},
        // COM0 and COM-1 are no COM names: they name the file of that name in the working folder.
        PortCase{"Com0IsTheFileOfThatName",
                 [](const std::filesystem::path& dir) {
                   std::filesystem::create_hard_link(dir / "victim", dir / "COM0");
                   return std::string("COM0");
                 },
                 kNotAPort},
        PortCase{"ComMinus1IsTheFileOfThatName",
                 [](const std::filesystem::path& dir) {
                   std::filesystem::create_hard_link(dir / "victim", dir / "COM-1");
                   return std::string("COM-1");
                 },
                 kNotAPort},
        PortCase{"DevNull", [](const std::filesystem::path&) { return std::string("/dev/null"); }, kNotAPort},
        PortCase{"Fifo",
                 [](const std::filesystem::path& dir) {
                   ::mkfifo((dir / "fifo").c_str(), 0600);
                   return (dir / "fifo").string();
                 },
                 kNotAPort},
        PortCase{"Folder", [](const std::filesystem::path& dir) { return dir.string(); }, kNotAPort},
        PortCase{"Missing", [](const std::filesystem::path& dir) { return (dir / "ttyUSB9").string(); },
                 "Нет такого устройства"}),
    [](const testing::TestParamInfo<PortCase>& row) { return std::string(row.param.name); });

// A port held by another program (its lock, as a modem manager takes it) is named as busy.
TEST_F(FaultTest, APortHeldByAnotherProgramIsNamedBusy) {
  testsupport::ScriptedModem modem(GoodAnswer);
  const int other = ::open(modem.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  const RunResult run = RunToEnd({kCli, "monitor", "--port", modem.Path(), "--cycles", "1"}, dir_, "monitor", 10s);
  ::close(other);
  ASSERT_TRUE(run.status.has_value());
  EXPECT_EQ(*run.status, kExitError);
  EXPECT_EQ(run.err, kCannotOpenPort + modem.Path() + "\nПорт занят другой программой (например, ModemManager)\n");
  EXPECT_TRUE(modem.Commands().empty());
}

// ---- Closed standard descriptors ----

// The commands the simulator received; each must be one the monitor sends.
void ExpectOnlyModemCommands(const std::string& commandLog) {
  std::istringstream lines(ReadWholeFile(commandLog));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    const std::string command = line.substr(line.find(' ') + 1);
    EXPECT_TRUE(command.starts_with("AT")) << command;
  }
  EXPECT_GT(count, 0);
}

// The log is a sound log with its measurements: every cycle's serving level is there.
void ExpectLogWithMeasurements(const std::filesystem::path& dir, const std::string& logFile) {
  const RunResult dump = RunToEnd({kCli, "dump", logFile}, dir, "dump");
  ASSERT_TRUE(dump.status.has_value());
  EXPECT_EQ(*dump.status, 0) << dump.err;
  EXPECT_GE(CountOf(dump.out, "serving.rxlevel"), 1) << dump.out;
  EXPECT_NE(dump.out.find("file whole"), std::string::npos) << dump.out;
}

struct ClosedCase {
  const char* name;
  bool stdin, stdout, stderr;
  bool logExists;  // a file of the log's name exists, so the run tells where its log goes
};

void PrintTo(const ClosedCase& row, std::ostream* out) { *out << row.name; }

class ClosedDescriptorTest : public FaultTest, public testing::WithParamInterface<ClosedCase> {};

// Neither the log file nor the port may take the number of a closed standard descriptor: the
// cycle tables and the notices never go into the log or to the modem.
TEST_P(ClosedDescriptorTest, OutputNeverReachesTheLogOrTheModem) {
  const ClosedCase& row = GetParam();
  const std::string commandLog = (dir_ / "commands.txt").string();
  const std::string logFile = (dir_ / "run.log").string();
  if (row.logExists) WriteFile(logFile, "an older file\n");
  testsupport::ModemSimProcess sim({"--seed", "31", "--log-commands", commandLog});
  ASSERT_TRUE(sim.Started());
  ChildSetup setup;
  setup.closeStdin = row.stdin;
  setup.closeStdout = row.stdout;
  setup.closeStderr = row.stderr;
  ChildProcess monitor({kCli, "monitor", "--port", sim.DevicePath(), "--cycles", "2", "--log", logFile}, dir_,
                       "monitor", setup);
  const auto status = monitor.WaitExit(60s);
  ASSERT_TRUE(status.has_value()) << "the monitor still runs";
  // Tables nobody can receive end the run after the first cycle, with an error.
  EXPECT_EQ(*status, row.stdout ? kExitError : kExitNormal);
  const std::string usedLog = row.logExists ? (dir_ / "run-2.log").string() : logFile;
  if (row.logExists) {
    EXPECT_EQ(ReadWholeFile(logFile), "an older file\n");
  }
  ExpectLogWithMeasurements(dir_, usedLog);
  ExpectReportReadable(usedLog);
  ExpectOnlyModemCommands(commandLog);
}

INSTANTIATE_TEST_SUITE_P(Descriptors, ClosedDescriptorTest,
                         testing::Values(ClosedCase{"Stdout", false, true, false, false},
                                         ClosedCase{"StderrWithANotice", false, false, true, true},
                                         ClosedCase{"AllThree", true, true, true, true}),
                         [](const testing::TestParamInfo<ClosedCase>& row) { return std::string(row.param.name); });

// The simulator started with its standard output closed: its device path never goes out on the
// line as if the modem had sent it.
TEST_F(FaultTest, SimulatorWithClosedStdoutSendsNothingUnasked) {
  const std::filesystem::path link = dir_ / "COM1";
  ChildSetup setup;
  setup.closeStdout = true;
  ChildProcess sim({GSM_MODEM_SIM_PATH, "--seed", "32", "--link", link.string()}, dir_, "sim", setup);
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::is_symlink(link); }, 10s));
  const int line = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(line, 0);
  pollfd entry{line, POLLIN, 0};
  EXPECT_EQ(::poll(&entry, 1, 500), 0) << "the line carries bytes nobody asked for";
  ::close(line);
}

// ---- Output that cannot be written ----

enum class Output { full, closed, goneReader };

struct OutputCase {
  const char* name;
  std::vector<std::string> args;  // after the tool; "LOG" stands for a sound log, "PORT" for the modem
  Output output;                  // /dev/full, closed, or a pipe whose reader has gone
};

void PrintTo(const OutputCase& row, std::ostream* out) { *out << row.name; }

class OutputFailureTest : public FaultTest, public testing::WithParamInterface<OutputCase> {};

TEST_P(OutputFailureTest, EndsNonZeroWithOneMessage) {
  const OutputCase& row = GetParam();
  const std::string logFile = (dir_ / "sound.log").string();
  {
    logtest::PlainLog log;
    log.Add(257, "250").Add(1411, "-75").Seal();
    const auto bytes = log.Bytes();
    WriteFile(logFile, std::string(bytes.begin(), bytes.end()));
  }
  testsupport::ModemSimProcess sim({"--seed", "33"});
  ASSERT_TRUE(sim.Started());
  std::vector<std::string> argv{kCli};
  for (const auto& arg : row.args) argv.push_back(arg == "LOG" ? logFile : arg == "PORT" ? sim.DevicePath() : arg);
  ChildSetup setup;
  setup.closeStdout = row.output == Output::closed;
  setup.stdoutToGoneReader = row.output == Output::goneReader;
  if (row.output == Output::full) setup.stdoutPath = "/dev/full";
  ChildProcess tool(argv, dir_, "tool", setup);
  const auto status = tool.WaitExit(60s);
  ASSERT_TRUE(status.has_value()) << "the tool still runs";
  EXPECT_EQ(*status, 1) << tool.Stderr();
  EXPECT_EQ(CountOf(tool.Stderr(), kOutputFailed), 1) << tool.Stderr();
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, OutputFailureTest,
    testing::Values(OutputCase{"ReportToFull", {"report", "LOG"}, Output::full},
                    OutputCase{"ReportToClosed", {"report", "LOG"}, Output::closed},
                    OutputCase{"RawReportToFull", {"report", "LOG", "--raw"}, Output::full},
                    OutputCase{"RawReportToClosed", {"report", "LOG", "--raw"}, Output::closed},
                    OutputCase{"DumpToFull", {"dump", "LOG"}, Output::full},
                    OutputCase{"DumpToClosed", {"dump", "LOG"}, Output::closed},
                    OutputCase{"DumpToAGoneReader", {"dump", "LOG"}, Output::goneReader},
                    OutputCase{"JsonLinesToFull", {"monitor", "--port", "PORT", "--format", "jsonl"}, Output::full},
                    OutputCase{"JsonLinesToClosed", {"monitor", "--port", "PORT", "--format", "jsonl"}, Output::closed},
                    OutputCase{"CsvToFull", {"monitor", "--port", "PORT", "--format", "csv"}, Output::full},
                    OutputCase{"TextToClosed", {"monitor", "--port", "PORT"}, Output::closed},
                    OutputCase{"TextToAGoneReader", {"monitor", "--port", "PORT"}, Output::goneReader}),
    [](const testing::TestParamInfo<OutputCase>& row) { return std::string(row.param.name); });

// ---- Files that are not files, and a log of any size ----

struct NotAFileCase {
  const char* name;
  std::vector<std::string> args;  // "FIFO" stands for a FIFO no program writes
};

void PrintTo(const NotAFileCase& row, std::ostream* out) { *out << row.name; }

class NotAFileTest : public FaultTest, public testing::WithParamInterface<NotAFileCase> {};

TEST_P(NotAFileTest, RefusedWithinTwoSeconds) {
  const std::string fifo = (dir_ / "fifo.log").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::string> argv{kCli};
  std::string named;
  for (const auto& arg : GetParam().args) {
    argv.push_back(arg == "FIFO" ? fifo : arg);
    if (arg.starts_with("/") || arg == "FIFO") named = argv.back();
  }
  ChildProcess tool(argv, dir_, "tool");
  const auto status = tool.WaitExit(Promptly(2s));
  ASSERT_TRUE(status.has_value()) << "the tool still waits on " << named;
  EXPECT_EQ(*status, 1);
  EXPECT_EQ(tool.Stderr(), "Невозможно открыть файл протокола \"" + named + "\"\n");
  EXPECT_EQ(tool.Stdout(), "");
}

INSTANTIATE_TEST_SUITE_P(Files, NotAFileTest,
                         testing::Values(NotAFileCase{"ReportOfAFifo", {"report", "FIFO"}},
                                         NotAFileCase{"DumpOfAFifo", {"dump", "FIFO"}},
                                         NotAFileCase{"DumpOfUrandom", {"dump", "/dev/urandom"}},
                                         NotAFileCase{"DumpOfZero", {"dump", "/dev/zero"}},
                                         NotAFileCase{"ReportOfUrandom", {"report", "/dev/urandom"}}),
                         [](const testing::TestParamInfo<NotAFileCase>& row) { return std::string(row.param.name); });

// The extra resident memory a dump may take for any file: its own buffer and some slack.
constexpr long kDumpGrowthKb = 20 * 1024;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// The address sanitizer keeps freed memory in quarantine; a small one lets the figures show the
// program's own use.
std::vector<std::string> SmallQuarantine() {
  const char* options = std::getenv("ASAN_OPTIONS");
  return {std::string("ASAN_OPTIONS=") + (options != nullptr ? std::string(options) + ":" : "") +
          "quarantine_size_mb=4"};
}

// A log many times larger than the memory a dump may use is listed in constant memory.
TEST_F(FaultTest, DumpOfALargeLogStaysInConstantMemory) {
  const std::string bigLog = (dir_ / "big.log").string();
  {
    // Gone before the children start: a child's peak memory counts what it shared with the test.
    logtest::PlainLog big;
    for (int i = 0; big.Plain().size() < 32u * 1024 * 1024; ++i) {
      big.Add(1411 + 1024 * (i % 7), "-" + std::to_string(50 + i % 60)).Add(257, std::string(100, 'R'));
      if (i % 50 == 0) big.Seal();
    }
    big.Seal();
    const auto bytes = big.Bytes();
    std::ofstream(bigLog, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  logtest::PlainLog small;
  small.Add(257, "250").Seal();
  const auto smallBytes = small.Bytes();
  const std::string smallLog = (dir_ / "small.log").string();
  WriteFile(smallLog, std::string(smallBytes.begin(), smallBytes.end()));

  ChildSetup setup;
  setup.stdoutPath = "/dev/null";
  setup.environment = SmallQuarantine();
  ChildProcess smallDump({kCli, "dump", smallLog}, dir_, "small", setup);
  ASSERT_EQ(smallDump.WaitExit(60s), 0) << smallDump.Stderr();
  ChildProcess bigDump({kCli, "dump", bigLog}, dir_, "big", setup);
  ASSERT_EQ(bigDump.WaitExit(300s), 0) << bigDump.Stderr();
  EXPECT_LT(bigDump.MaxResidentKb() - smallDump.MaxResidentKb(), kDumpGrowthKb)
      << "small " << smallDump.MaxResidentKb() << " kB, big " << bigDump.MaxResidentKb() << " kB";
  if (!kSanitized) {
    EXPECT_LT(bigDump.MaxResidentKb(), 50 * 1024);
  }
}

// ---- Odd option values ----

struct OptionCase {
  const char* name;
  std::vector<std::string> args;  // after "monitor --port PORT"
  const char* expectedError;      // a part of stderr
};

void PrintTo(const OptionCase& row, std::ostream* out) { *out << row.name; }

class OptionTest : public FaultTest, public testing::WithParamInterface<OptionCase> {};

// Refused before the modem hears a word, with a short message.
TEST_P(OptionTest, RefusedBeforeTouchingTheModem) {
  const std::string commandLog = (dir_ / "commands.txt").string();
  testsupport::ModemSimProcess sim({"--seed", "34", "--log-commands", commandLog});
  ASSERT_TRUE(sim.Started());
  std::vector<std::string> argv{kCli, "monitor", "--port", sim.DevicePath()};
  argv.insert(argv.end(), GetParam().args.begin(), GetParam().args.end());
  const RunResult run = RunToEnd(argv, dir_, "monitor", 10s);
  ASSERT_TRUE(run.status.has_value());
  EXPECT_NE(*run.status, 0);
  EXPECT_NE(run.err.find(GetParam().expectedError), std::string::npos) << run.err;
  EXPECT_LT(run.err.size(), 200u) << run.err;
  EXPECT_EQ(ReadWholeFile(commandLog), "");
}

INSTANTIATE_TEST_SUITE_P(
    Options, OptionTest,
    testing::Values(OptionCase{"EmptyLogName", {"--log", ""}, "Невозможно создать файл протокола \"\""},
                    OptionCase{"EmptySpeed", {"--speed", ""}, "--speed"},
                    OptionCase{"NegativeCycles", {"--cycles", "-1"}, "1 или больше"},
                    OptionCase{"HugeCycles", {"--cycles", "99999999999999999999"}, "1 или больше"}),
    [](const testing::TestParamInfo<OptionCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace faults
