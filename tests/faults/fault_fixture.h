#pragma once
// The common ground of the fault tests: a fresh folder per test, the tool's and the simulator's
// paths (compile definitions), and the checks every ending must pass.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"

namespace faults {

using namespace std::chrono_literals;
using testsupport::ChildProcess;
using testsupport::ChildSetup;
using testsupport::ReadWholeFile;
using testsupport::WithSizeLimit;

// Polls condition every 10 ms until it holds or timeout runs out; its last result.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// Runs a program to its end (bounded); its exit status and output.
struct RunResult {
  std::optional<int> status;
  std::string out;
  std::string err;
};

inline RunResult RunToEnd(std::vector<std::string> argv, const std::filesystem::path& outputDir, const std::string& tag,
                          std::chrono::milliseconds timeout = 30s) {
  ChildProcess child(std::move(argv), outputDir, tag);
  RunResult result;
  result.status = child.WaitExit(timeout);
  result.out = child.Stdout();
  result.err = child.Stderr();
  return result;
}

// The number of times needle occurs in text.
inline int CountOf(const std::string& text, const std::string& needle) {
  int count = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
  return count;
}

inline const std::string kCli = OSTRIN_GSMMON_CLI_PATH;

// Exit statuses of the headless monitor.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitConnectionEnded = 2;

class FaultTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "gsmmon_faults_XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(dir_, ignored);
  }

  std::vector<std::string> MonitorArgs(const std::string& port, int cycles, const std::string& logFile = {}) const {
    std::vector<std::string> args{kCli, "monitor", "--port", port, "--format", "jsonl"};
    if (cycles > 0) args.insert(args.end(), {"--cycles", std::to_string(cycles)});
    if (!logFile.empty()) args.insert(args.end(), {"--log", logFile});
    return args;
  }

  // The log file's report builds, and the tool says so with status 0.
  void ExpectReportReadable(const std::string& logFile) const {
    const RunResult report = RunToEnd({kCli, "report", logFile}, dir_, "report");
    ASSERT_TRUE(report.status.has_value()) << "report did not end";
    EXPECT_EQ(*report.status, 0) << report.err;
    EXPECT_EQ(CountOf(report.out, "\n"), 41);
  }

  std::filesystem::path dir_;
};

// Completed cycles announced in the monitor's JSON lines.
inline int CyclesAnnounced(const std::string& jsonl) { return CountOf(jsonl, "\"event\":\"cycle\""); }

}  // namespace faults
