// Replays the fuzzers' seed corpora and kept regression inputs through the same harnesses, so
// that every input that once broke a target stays fixed in the ordinary test run.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "fuzz/cycle_message_harness.h"
#include "fuzz/dialect_reader_harness.h"
#include "fuzz/line_reader_harness.h"
#include "fuzz/log_report_harness.h"
#include "fuzz/report_parser_harness.h"
#include "fuzz/survey_cycles_harness.h"

namespace {

using Harness = void (*)(const std::uint8_t*, std::size_t);

struct Target {
  const char* name;
  Harness run;
};

std::vector<std::filesystem::path> InputsOf(const std::string& target) {
  std::vector<std::filesystem::path> inputs;
  for (const char* kind : {"corpus", "regressions"}) {
    const std::filesystem::path dir = std::filesystem::path(FUZZ_DATA_DIR) / kind / target;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
  }
  return inputs;
}

void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }

template <const char* kName>
void RunDialect(const std::uint8_t* data, std::size_t size) {
  fuzzing::RunDialectReaders(kName, data, size);
}
constexpr char kBaseline[] = "baseline";
constexpr char kQuectel[] = "quectel";
constexpr char kSimcom[] = "simcom";
constexpr char kUblox[] = "ublox";
constexpr char kTelit[] = "telit";
constexpr char kSierra[] = "sierra";
constexpr Harness RunBaseline = RunDialect<kBaseline>;
constexpr Harness RunQuectel = RunDialect<kQuectel>;
constexpr Harness RunSimcom = RunDialect<kSimcom>;
constexpr Harness RunUblox = RunDialect<kUblox>;
constexpr Harness RunTelit = RunDialect<kTelit>;
constexpr Harness RunSierra = RunDialect<kSierra>;

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, EveryKeptInputHoldsTheInvariants) {
  const auto inputs = InputsOf(GetParam().name);
  ASSERT_FALSE(inputs.empty()) << "no seed inputs for " << GetParam().name;
  for (const auto& path : inputs) {
    SCOPED_TRACE(path.string());
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    GetParam().run(bytes.data(), bytes.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay,
                         testing::Values(Target{"report_parser", fuzzing::RunReportParser},
                                         Target{"log_report", fuzzing::RunLogReport},
                                         Target{"line_reader", fuzzing::RunLineReader},
                                         Target{"survey_cycles", fuzzing::RunSurveyCycles},
                                         Target{"cycle_message", fuzzing::RunCycleMessage},
                                         Target{"dialect_baseline", RunBaseline}, Target{"dialect_quectel", RunQuectel},
                                         Target{"dialect_simcom", RunSimcom}, Target{"dialect_ublox", RunUblox},
                                         Target{"dialect_telit", RunTelit}, Target{"dialect_sierra", RunSierra}),
                         [](const testing::TestParamInfo<Target>& row) { return std::string(row.param.name); });

}  // namespace
