#include "parser/report_parser.h"

#include <algorithm>
#include <string>

#include "parser/column_table.h"

namespace parser {
namespace {

void SkipBlanks(std::string_view& text) {
  const std::size_t first = text.find_first_not_of(' ');
  text.remove_prefix(first == std::string_view::npos ? text.size() : first);
}

void DropFront(std::string_view& text, std::size_t count) { text.remove_prefix(std::min(count, text.size())); }

}  // namespace

bool ParseReportLines(std::string_view header, std::string_view values, int cellIndex) {
  bool dedicated = false;
  std::string rememberedNcc = "x";
  bool result = false;

  while (header.size() >= 2 && values.size() >= 2) {
    SkipBlanks(header);
    SkipBlanks(values);
    // The section marker "I" opens the dedicated-channel columns, unless the modem has no call.
    if (!header.empty() && header.front() == 'I') {
      dedicated = values.find("No connection") == std::string_view::npos;
      DropFront(header, 2);
      DropFront(values, 2);
    }
    if (header.empty() || values.empty()) return false;

    std::string name;
    std::string value;
    if (const std::size_t nameEnd = header.find(' '); nameEnd != std::string_view::npos) {
      name = header.substr(0, nameEnd);
      header.remove_prefix(nameEnd + 1);
      // Without a blank the values wait for a later name: the last one takes them whole.
      if (const std::size_t valueEnd = values.find(' '); valueEnd != std::string_view::npos) {
        value = values.substr(0, valueEnd);
        values.remove_prefix(valueEnd + 1);
      }
    } else {
      name = header;
      value = values;
      header = {};
      values = {};
    }

    if (dedicated) name.insert(0, "D_");
    if (name == "NCC") {
      rememberedNcc = value;
    } else if (name == "BCC") {
      name = "BSIC";
      // A row without values (a short neighbour report reads the "OK" as a row) has no BSIC.
      if (!value.empty()) value = rememberedNcc + "." + value;
    }
    ProcessColumn(name, std::move(value), cellIndex);
    result = true;
  }
  return result;
}

}  // namespace parser
