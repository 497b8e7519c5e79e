// Report build over a large log file next to a plain read of the same bytes. The file is written
// once per process with the log writer, in a fresh temporary folder.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "log/log_viewer.h"
#include "log/log_writer.h"
#include "platform/file_map.h"

namespace {

constexpr std::size_t kTargetBytes = 100u * 1024 * 1024;

class LargeLog {
 public:
  LargeLog() {
    dir_ = std::filesystem::temp_directory_path() / ("gsmlog_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "large.log").string();
    const auto created = gsmlog::CreateLogFile(path_);
    if (!created.ok) std::abort();
    path_ = created.nameUsed;
    // One poll cycle: the serving cell's values and six neighbours, sealed now and then.
    for (long cycle = 0; std::filesystem::file_size(path_) < kTargetBytes; ++cycle) {
      for (int i = 0; i < 200; ++i) {
        const std::string level = "-" + std::to_string(60 + (cycle + i) % 40);
        gsmlog::LogField(257, 0, "250");
        gsmlog::LogField(258, 0, "01");
        gsmlog::LogField(259, 0, "1234");
        gsmlog::LogField(386, 0, "28461");
        gsmlog::LogField(385, 0, "7.3");
        for (int cell = 0; cell < 7; ++cell) {
          gsmlog::LogField(388, cell, std::to_string(500 + cell + i));
          gsmlog::LogField(265, cell, "1800");
          gsmlog::LogField(387, cell, level);
          gsmlog::LogField(385, cell, "3.5");
          gsmlog::LogField(386, cell, "12345");
        }
        gsmlog::LogField(390, 0, "0,57");
        gsmlog::LogField(391, 0, "1,5");
      }
      gsmlog::SealLogFile();
    }
    gsmlog::CompleteLogFile();
    size_ = std::filesystem::file_size(path_);
  }
  ~LargeLog() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }
  std::size_t size() const { return size_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
  std::size_t size_ = 0;
};

const LargeLog& TheLog() {
  static const LargeLog log;
  return log;
}

void BM_BuildLogReport(benchmark::State& state) {
  const auto& log = TheLog();
  for (auto _ : state) {
    const auto report = gsmlog::BuildLogReport(log.path());
    if (!report.ok) state.SkipWithError("report failed");
    benchmark::DoNotOptimize(report.text.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}

void BM_BuildLogReportInMemory(benchmark::State& state) {
  const auto& log = TheLog();
  platform::FileMap file;
  if (file.Open(log.path()) != platform::FileMap::Status::ok) state.SkipWithError("read failed");
  for (auto _ : state) {
    const auto report = gsmlog::BuildLogReportFromData(file.data(), file.size(), log.path());
    benchmark::DoNotOptimize(report.text.data());
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
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
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
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
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
