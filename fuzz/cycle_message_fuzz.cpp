#include <cstddef>
#include <cstdint>

#include "fuzz/cycle_message_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::RunCycleMessage(data, size);
  return 0;
}
