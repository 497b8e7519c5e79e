#pragma once
// A command line the tool cannot take, said in Russian: CLI11's own messages are English.

#include <CLI/Error.hpp>
#include <string>

namespace cli {

// The exit status of a command line that cannot be taken.
inline constexpr int kUsageError = 2;

// The message for a parse error (without the hint at --help).
std::string UsageErrorText(const CLI::ParseError& error);

}  // namespace cli
