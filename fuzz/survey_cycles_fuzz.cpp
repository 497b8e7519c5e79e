#include <cstddef>
#include <cstdint>

#include "fuzz/survey_cycles_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::RunSurveyCycles(data, size);
  return 0;
}
