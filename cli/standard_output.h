#pragma once
// Standard output of the headless tool: every command that cannot write its output says so once
// on stderr and ends with a non-zero status.

#include <iosfwd>

namespace cli {

// The message of a failed write to standard output (UTF-8).
inline constexpr const char* kOutputFailedMessage = "Невозможно записать в стандартный вывод";

// Flushes out; false when any write to it has failed.
bool OutputWritten(std::ostream& out);

// The exit status of a command whose output went to out: 0 when everything was written,
// otherwise 1 after the message on stderr.
int FinishOutput(std::ostream& out);

}  // namespace cli
