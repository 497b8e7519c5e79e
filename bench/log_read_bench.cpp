// The report builder next to plain reads of the same 100 MB log, with the file in the page cache
// (warm) and dropped from it before each pass (cold: posix_fadvise DONTNEED, so the bytes come
// from the storage device). The plain reads take 1 MiB chunks and add up every byte, so that
// both sides touch every byte once. Rates are over wall time, waiting for the device included.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/large_log.h"
#include "log/log_viewer.h"
#include "log/log_writer.h"

namespace {

using benchlog::TheLog;

// Writes nothing back (the file is complete); drops the file's pages from the page cache.
void DropFromCache(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

std::uint64_t PlainRead(const std::string& path, std::vector<std::uint8_t>& buffer) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::uint64_t sum = 0;
  for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
    for (ssize_t i = 0; i < got; ++i) sum += buffer[static_cast<std::size_t>(i)];
  }
  if (fd >= 0) ::close(fd);
  return sum;
}

void BM_PlainRead(benchmark::State& state) {
  const auto& log = TheLog();
  const bool cold = state.range(0) != 0;
  std::vector<std::uint8_t> buffer(1u << 20);
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      DropFromCache(log.path());
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(PlainRead(log.path(), buffer));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
  state.SetLabel(cold ? "cold" : "warm");
}

void BM_BuildLogReport(benchmark::State& state) {
  const auto& log = TheLog();
  const bool cold = state.range(0) != 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      DropFromCache(log.path());
      state.ResumeTiming();
    }
    const auto report = gsmlog::BuildLogReport(log.path());
    if (!report.ok) state.SkipWithError("report failed");
    benchmark::DoNotOptimize(report.text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(log.size()));
  state.SetLabel(cold ? "cold" : "warm");
}

BENCHMARK(BM_PlainRead)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildLogReport)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
