#include <cstddef>
#include <cstdint>

#include "fuzz/dialect_reader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::RunDialectReaders("telit", data, size);
  return 0;
}
