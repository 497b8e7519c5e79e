#include "cli/log_commands.h"

#include <iostream>

#include "log/log_dump.h"
#include "log/log_viewer.h"
#include "platform/text_encoding.h"

namespace cli {

int PrintLogReport(const std::string& fileName, bool raw) {
  const gsmlog::LogReport report = gsmlog::BuildLogReport(fileName);
  if (!report.ok) {
    std::cerr << platform::Cp1251ToUtf8(report.error) << std::endl;
    return 1;
  }
  if (raw) {
    std::cout.write(report.text.data(), static_cast<std::streamsize>(report.text.size()));
    return 0;
  }
  std::string text = platform::Cp1251ToUtf8(report.text);
  std::erase(text, '\r');
  std::cout << text;
  return 0;
}

int DumpLogFile(const std::string& fileName) {
  const gsmlog::LogDump dump = gsmlog::DumpLogFile(fileName);
  if (!dump.ok) {
    std::cerr << platform::Cp1251ToUtf8(dump.error) << std::endl;
    return 1;
  }
  for (const gsmlog::DumpRecord& record : dump.records) {
    std::cout << platform::Cp1251ToUtf8(gsmlog::FormatDumpLine(record)) << '\n';
  }
  std::cout << platform::Cp1251ToUtf8(gsmlog::FormatDumpEnd(dump)) << '\n';
  if (!dump.valid) {
    std::cerr << platform::Cp1251ToUtf8(gsmlog::DamagedMessage(fileName)) << std::endl;
    return 1;
  }
  return 0;
}

}  // namespace cli
