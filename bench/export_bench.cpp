// Export of a day-long survey log (80 MB: every poll cycle with its values, time and position)
// to each format, GeoPackage first, as a user runs it: the headless tool in a process of its own, whose peak
// resident memory is read when it ends. The log is written once per process with the log writer.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "log/log_writer.h"
#include "survey/cycle_stamp.h"

extern char** environ;

namespace {

constexpr std::size_t kTargetBytes = 80u * 1024 * 1024;

class SurveyLog {
 public:
  SurveyLog() {
    dir_ = std::filesystem::temp_directory_path() / ("gsmlog_export_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    gsmlog::TLogWriter writer;
    const auto log = [&writer](int code, int cell, std::string text) {
      writer.Field(code, cell, parser::TextValue(std::move(text)));
    };
    const auto created = writer.Create((dir_ / "day.log").string());
    if (!created.ok) std::abort();
    path_ = created.nameUsed;
    auto time = std::chrono::system_clock::from_time_t(1'796'800'000);
    for (long cycle = 0;; ++cycle) {
      if (cycle % 1000 == 0 && std::filesystem::file_size(path_) >= kTargetBytes) break;
      log(257, 0, "250");
      log(258, 0, "01");
      log(259, 0, "5580");
      log(386, 0, std::to_string(60000 + cycle / 500 % 40));
      log(385, 0, "5.4");
      for (int cell = 0; cell < 7; ++cell) {
        log(388, cell, std::to_string(100 + cell * 3));
        log(265, cell, "900");
        log(387, cell, std::to_string(-55 - (cycle / 7 + cell * 5) % 55));
        log(385, cell, std::to_string(cell) + ".3");
        log(386, cell, std::to_string(60000 + cell));
      }
      log(389, 0, std::to_string(cycle % 8));
      log(390, 0, "0,57");
      log(391, 0, "1,5");
      // A drive at 10 m/s, a tenth of the cycles under bridges without a fix.
      gps::Fix fix;
      fix.latitude = 55.75 + 4e-5 * std::sin(cycle / 2000.0) * (cycle % 4000);
      fix.longitude = 37.61 + 6e-5 * std::cos(cycle / 3000.0) * (cycle % 3000);
      fix.altitude = 150;
      fix.mode = 3;
      fix.horizontalError = 4.2;
      fix.time = time - std::chrono::milliseconds(700);
      survey::HoldCycleRecords(writer, {time, cycle % 10 == 9 ? std::nullopt : std::optional<gps::Fix>(fix)});
      writer.Seal();
      time += std::chrono::milliseconds(400);
      ++cycles_;
    }
    writer.Complete();
    size_ = std::filesystem::file_size(path_);
  }
  ~SurveyLog() { std::filesystem::remove_all(dir_); }
  const std::string& path() const { return path_; }
  std::size_t size() const { return size_; }
  long cycles() const { return cycles_; }
  std::filesystem::path dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
  std::string path_;
  std::size_t size_ = 0;
  long cycles_ = 0;
};

const SurveyLog& TheLog() {
  static const SurveyLog log;
  return log;
}

// Arg: the format, by its extension's place in kExtensions (0 GeoPackage, the measure).
constexpr const char* kExtensions[] = {"gpkg", "geojson", "kml", "gpx", "csv"};

void BM_Export(benchmark::State& state) {
  const auto& log = TheLog();
  const std::string extension = kExtensions[state.range(0)];
  const std::string out = (log.dir() / ("day." + extension)).string();
  state.SetLabel(extension);
  double peakMegabytes = 0;
  for (auto _ : state) {
    std::filesystem::remove(out);
    std::filesystem::remove(log.dir() / ("day-events." + extension));  // GeoJSON's and CSV's events
    std::string program = GSMMON_CLI_PATH;
    std::string command = "export";
    std::string input = log.path();
    std::string flag = "-o";
    std::string output = out;
    char* argv[] = {program.data(), command.data(), input.data(), flag.data(), output.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (!spawned || ::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("export failed");
      break;
    }
    peakMegabytes = std::max(peakMegabytes, usage.ru_maxrss / 1024.0);
  }
  state.counters["peak_rss_MB"] = peakMegabytes;
  state.counters["log_MB"] = static_cast<double>(log.size()) / (1024.0 * 1024.0);
  state.counters["cycles"] = static_cast<double>(log.cycles());
  state.counters["out_MB"] = static_cast<double>(std::filesystem::file_size(out)) / (1024.0 * 1024.0);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}
BENCHMARK(BM_Export)->DenseRange(0, 4)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
