#include "cli/log_commands.h"

#include <iostream>

#include "cli/standard_output.h"
#include "log/log_dump.h"
#include "log/log_viewer.h"
#include "platform/text_encoding.h"

namespace cli {

int PrintLogReport(const std::string& fileName, bool raw) {
  const gsmlog::LogReport report = gsmlog::BuildLogReport(fileName);
  if (!report.ok) {
    std::cerr << platform::Cp1251ToPrintable(report.error) << std::endl;
    return 1;
  }
  if (raw) {
    std::cout.write(report.text.data(), static_cast<std::streamsize>(report.text.size()));
    return FinishOutput(std::cout);
  }
  std::string text = report.text;
  std::erase(text, '\r');
  std::cout << platform::Cp1251ToPrintable(text);
  return FinishOutput(std::cout);
}

int DumpLogFile(const std::string& fileName) {
  // Each line goes out as its record is read; a failed write ends the listing.
  const gsmlog::LogDump dump = gsmlog::DumpLogFile(fileName, [](const gsmlog::DumpRecord& record) {
    std::cout << platform::Cp1251ToPrintable(gsmlog::FormatDumpLine(record)) << '\n';
    return !std::cout.fail();
  });
  if (std::cout.fail()) return FinishOutput(std::cout);
  if (!dump.ok) {
    (void)OutputWritten(std::cout);  // the lines before a read error still go out
    std::cerr << platform::Cp1251ToPrintable(dump.error) << std::endl;
    return 1;
  }
  std::cout << platform::Cp1251ToPrintable(gsmlog::FormatDumpEnd(dump)) << '\n';
  if (FinishOutput(std::cout) != 0) return 1;
  if (!dump.valid) {
    std::cerr << platform::Cp1251ToPrintable(gsmlog::DamagedMessage(fileName)) << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace cli
