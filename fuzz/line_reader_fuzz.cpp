#include <cstddef>
#include <cstdint>

#include "fuzz/line_reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::RunLineReader(data, size);
  return 0;
}
