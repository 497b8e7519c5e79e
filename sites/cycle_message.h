#pragma once
// A poll cycle as one JSON object: the headless tool's JSON line of a cycle, and the message a
// site publishes for it. The values are those the cycle delivered, by the field names of the
// field table: "serving" for the serving cell, "neighbours" for cells 1 to 6 (null for a value
// that was "(n/a)"), beside the cycle's number, time and position. The reverse reads such a
// message strictly: anything unexpected makes it malformed, and it never throws.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gps/gps_fix.h"
#include "survey/cycle_stamp.h"

namespace sites {

// One value a cycle delivered: field code, cell index, text (Windows-1251).
struct CycleValue {
  int code = 0;
  int cell = 0;
  std::string text;
};

// Messages larger than this are malformed before they are read.
inline constexpr std::size_t kMaxCycleMessage = 64 * 1024;

nlohmann::json CycleObject(int n, const survey::CycleStamp& stamp, const std::vector<CycleValue>& values);

struct ParsedCycle {
  long long n = 0;
  std::string session;             // the publishing run's, "" when the message has none
  std::string time;                // as written, a valid ISO 8601 time with its zone
  std::optional<gps::Fix> fix;     // the position, when it had one
  std::vector<CycleValue> values;  // Windows-1251, "(n/a)" for null; in the field table's order per cell
};

// The cycle of a message, or nothing with why (English, for the collector's count) set.
std::optional<ParsedCycle> ParseCycleMessage(std::string_view payload, std::string& why);

// A text of a message as Windows-1251: nothing when it is no UTF-8, holds a control character,
// a character the code page lacks, or is longer than limit bytes.
std::optional<std::string> MessageText(std::string_view utf8, std::size_t limit);

}  // namespace sites
