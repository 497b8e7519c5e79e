// Report build over a large log file next to a plain read of the same bytes, and the whole
// `ostrin_gsmmon_cli report` command next to `dd bs=1M` reading the file. The file is written
// once per process with the log writer, in a fresh temporary folder. Rates are over wall time:
// the builder works on two cores for a file this large.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/large_log.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "log/report_scan.h"
#include "platform/file_map.h"

extern char** environ;

namespace {

using benchlog::TheLog;

void BM_BuildLogReport(benchmark::State& state) {
  const auto& log = TheLog();
  for (auto _ : state) {
    const auto report = gsmlog::BuildLogReport(log.path());
    if (!report.ok) state.SkipWithError("report failed");
    benchmark::DoNotOptimize(report.text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
}

// From memory, on as many threads as the argument says (0: as the builder chooses).
void BM_BuildLogReportInMemory(benchmark::State& state) {
  const auto& log = TheLog();
  platform::FileMap file;
  if (file.Open(log.path()) != platform::FileMap::Status::ok) state.SkipWithError("read failed");
  gsmlog::ScanOptions options;
  options.threads = static_cast<unsigned>(state.range(0));
  for (auto _ : state) {
    const auto report = gsmlog::BuildLogReportFromData(file.data(), file.size(), log.path(), options);
    if (!report.ok) state.SkipWithError("report failed");
    benchmark::DoNotOptimize(report.text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
}

// The serial reader the fast one is checked against, from memory.
void BM_BuildLogReportSerial(benchmark::State& state) {
  const auto& log = TheLog();
  platform::FileMap file;
  if (file.Open(log.path()) != platform::FileMap::Status::ok) state.SkipWithError("read failed");
  for (auto _ : state) {
    const auto report = gsmlog::BuildLogReportSerial(file.data(), file.size(), log.path());
    benchmark::DoNotOptimize(report.text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}

// Runs a program with its output to /dev/null; false unless it exits with 0.
bool Run(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (auto& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  return spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The whole report command, as a user runs it, and dd reading the same file.
void BM_ReportCommand(benchmark::State& state) {
  const auto& log = TheLog();
  for (auto _ : state) {
    if (!Run({GSMMON_CLI_PATH, "report", log.path()})) state.SkipWithError("report command failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}

void BM_Dd(benchmark::State& state) {
  const auto& log = TheLog();
  for (auto _ : state) {
    if (!Run({"dd", "if=" + log.path(), "of=/dev/null", "bs=1M"})) state.SkipWithError("dd failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}

// The same bytes read as the report build reads them, 1 MiB at a time, and touched.
void BM_PlainRead(benchmark::State& state) {
  const auto& log = TheLog();
  std::vector<std::uint8_t> buffer(1u << 20);
  for (auto _ : state) {
    const int fd = ::open(log.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) state.SkipWithError("open failed");
    unsigned sum = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
      for (ssize_t i = 0; i < got; i += 64) sum += buffer[static_cast<std::size_t>(i)];
    }
    ::close(fd);
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
}

// The whole file in memory at once, mapped or read, as platform::FileMap gives it.
void BM_WholeFile(benchmark::State& state) {
  const auto& log = TheLog();
  const auto mode = static_cast<platform::FileReadMode>(state.range(0));
  for (auto _ : state) {
    platform::FileMap file;
    if (file.Open(log.path(), mode) != platform::FileMap::Status::ok) state.SkipWithError("read failed");
    unsigned sum = 0;
    for (std::size_t i = 0; i < file.size(); i += 4096) sum += file.data()[i];
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
  state.SetLabel(mode == platform::FileReadMode::map ? "mmap" : "read");
}

BENCHMARK(BM_BuildLogReport)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLogReportInMemory)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLogReportSerial)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeFile)
    ->Arg(static_cast<int>(platform::FileReadMode::read))
    ->Arg(static_cast<int>(platform::FileReadMode::map))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportCommand)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dd)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
