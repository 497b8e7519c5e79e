#include "cli/standard_output.h"

#include <iostream>

namespace cli {

bool OutputWritten(std::ostream& out) {
  out.flush();
  return !out.fail();
}

int FinishOutput(std::ostream& out) {
  if (OutputWritten(out)) return 0;
  std::cerr << kOutputFailedMessage << std::endl;
  return 1;
}

}  // namespace cli
