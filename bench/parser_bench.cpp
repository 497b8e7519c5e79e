// The cell report parser and the field dispatcher, per report line: a serving report's value line
// (a call in progress, so the dedicated-channel columns too) and a neighbour row, each against its
// header, with a display sink that only counts and, separately, the log side attached.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "log/log_writer.h"
#include "parser/measurement_fields.h"
#include "parser/report_parser.h"

namespace {

constexpr std::string_view kServingHeader =
    "chann rs  dBm MCC MNC  LAC  cell NCC BCC PWR RxLev  C1  C2 RxQFull TA I TS timAdv chann  dBm Q ChMod";
constexpr std::string_view kServingValues =
    "  989 15  -80 250  99 1BE9 15CCF   4   4  33    30  26  26       0  6 I 2      6   989  -79 0  EFR";
constexpr std::string_view kNeighbourHeader = "chann rs  dBm NCC BCC  cell PWR RxLev  C1  C2";
constexpr std::string_view kNeighbourValues = "  732 18  -74   0   6  DA53  33    36  32  32";

class CountingSink : public parser::FieldSink {
 public:
  void AcceptField(int, int, const parser::FieldValue& value) override { bytes_ += value.text.size(); }
  std::size_t bytes_ = 0;
};

// Display sink installed for the benchmark's run; the log side only when asked.
class Sinks {
 public:
  explicit Sinks(bool withLog) {
    parser::SetDisplaySink(&display_);
    parser::SetLogSink(withLog ? &gsmlog::ProgramLogWriter() : nullptr);
  }
  ~Sinks() {
    parser::SetDisplaySink(nullptr);
    parser::SetLogSink(nullptr);
  }
  std::size_t Bytes() const { return display_.bytes_; }

 private:
  CountingSink display_;
};

void ParseLine(benchmark::State& state, std::string_view header, std::string_view values, int cell, bool withLog) {
  Sinks sinks(withLog);
  for (auto _ : state) {
    benchmark::DoNotOptimize(parser::ParseReportLines(header, values, cell));
  }
  benchmark::DoNotOptimize(sinks.Bytes());
  state.SetItemsProcessed(state.iterations());
}

void BM_ServingLine(benchmark::State& state) { ParseLine(state, kServingHeader, kServingValues, 0, false); }
void BM_NeighbourLine(benchmark::State& state) { ParseLine(state, kNeighbourHeader, kNeighbourValues, 3, false); }

// The same with the log side attached and a log file open, as a logging run does.
class OpenLog {
 public:
  OpenLog() {
    dir_ = std::filesystem::temp_directory_path() / ("gsmmon_parser_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    if (!gsmlog::ProgramLogWriter().Create((dir_ / "bench.log").string()).ok) std::abort();
  }
  ~OpenLog() {
    gsmlog::ProgramLogWriter().Complete();
    std::filesystem::remove_all(dir_);
  }

 private:
  std::filesystem::path dir_;
};

void BM_ServingLineLogged(benchmark::State& state) {
  OpenLog log;
  ParseLine(state, kServingHeader, kServingValues, 0, true);
}
void BM_NeighbourLineLogged(benchmark::State& state) {
  OpenLog log;
  ParseLine(state, kNeighbourHeader, kNeighbourValues, 3, true);
}

// One value through the dispatcher alone.
void BM_DispatchField(benchmark::State& state) {
  Sinks sinks(false);
  const std::string text = "-74";
  for (auto _ : state)
    benchmark::DoNotOptimize(parser::DispatchField(parser::fcRxLevel + 3 * parser::kCellCodeStep, text));
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ServingLine);
BENCHMARK(BM_NeighbourLine);
BENCHMARK(BM_ServingLineLogged);
BENCHMARK(BM_NeighbourLineLogged);
BENCHMARK(BM_DispatchField);

}  // namespace

BENCHMARK_MAIN();
