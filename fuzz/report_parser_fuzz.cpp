#include <cstddef>
#include <cstdint>

#include "fuzz/report_parser_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::RunReportParser(data, size);
  return 0;
}
