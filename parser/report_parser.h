#pragma once
// The cell report parser: pairs the blank-separated names of a report header line with the
// values of one value line, by order, and hands each pair to ProcessColumn.

#include <string_view>

namespace parser {

// True when at least one pair was handed on and a line ran out normally; false when no pair was
// taken or a line ran out while blanks or a section marker were removed. cellIndex is 0..6.
bool ParseReportLines(std::string_view header, std::string_view values, int cellIndex);

}  // namespace parser
