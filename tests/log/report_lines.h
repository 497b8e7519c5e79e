#pragma once
// Splits a report (Windows-1251, CR LF) into UTF-8 lines for readable assertions.

#include <string>
#include <vector>

#include "platform/text_encoding.h"

namespace logtest {

inline std::vector<std::string> ReportLines(const std::string& report) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = report.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(platform::Cp1251ToUtf8(report.substr(start, end - start)));
  }
  if (start != report.size()) lines.push_back("<unterminated>" + report.substr(start));
  return lines;
}

}  // namespace logtest
