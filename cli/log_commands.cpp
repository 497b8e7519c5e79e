#include "cli/log_commands.h"

#include <iostream>

#include "log/log_viewer.h"
#include "platform/text_encoding.h"

namespace cli {

int PrintLogReport(const std::string& fileName, bool raw) {
  const gsmlog::LogReport report = gsmlog::BuildLogReport(platform::Utf8ToCp1251(fileName));
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
  (void)fileName;
  return 1;
}

}  // namespace cli
