// Report build over a large log file next to a plain read of the same bytes. The file is written
// once per process with the log writer, in a fresh temporary folder.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/large_log.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "platform/file_map.h"

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

void BM_BuildLogReportInMemory(benchmark::State& state) {
  const auto& log = TheLog();
  platform::FileMap file;
  if (file.Open(log.path()) != platform::FileMap::Status::ok) state.SkipWithError("read failed");
  for (auto _ : state) {
    const auto report = gsmlog::BuildLogReportFromData(file.data(), file.size(), log.path());
    benchmark::DoNotOptimize(report.text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
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

BENCHMARK(BM_BuildLogReport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLogReportInMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeFile)
    ->Arg(static_cast<int>(platform::FileReadMode::read))
    ->Arg(static_cast<int>(platform::FileReadMode::map))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
