#include <cstddef>
#include <cstdint>

#include "fuzz/log_report_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::RunLogReport(data, size);
  return 0;
}
