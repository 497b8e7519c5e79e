#pragma once
// A poll cycle as one JSON object: the headless tool's JSON line of a cycle, and the message a
// site publishes for it. Schema 2: the cycle's number, the run's session, its time and position,
// the serving cell and the neighbours, every value a JSON number (or a text where it is a name)
// under the names of radio/cell_values.h, null where absent. The reverse reads such a message, and
// the schema-1 messages of sites not yet upgraded (every value a text, by the field table's
// names), strictly: anything unexpected makes it malformed, and it never throws.

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "radio/cycle.h"

namespace sites {

inline constexpr int kCycleSchema = 2;

// Messages larger than this are malformed before they are read.
inline constexpr std::size_t kMaxCycleMessage = 64 * 1024;

// The message of a cycle, its members in the scheme's order; session "" gives null (a run that
// publishes nowhere).
nlohmann::ordered_json CycleObject(const radio::Cycle& cycle, std::string_view session);

struct ParsedCycle {
  int schema = kCycleSchema;  // 1 or 2, as the message said
  std::string session;        // the publishing run's, "" when the message has none
  std::string time;           // as written, a valid ISO 8601 time with its zone
  radio::Cycle cycle;         // its n, time and position, and its cells (texts Windows-1251)
};

// The cycle of a message, or nothing with why (English, for the collector's count) set.
std::optional<ParsedCycle> ParseCycleMessage(std::string_view payload, std::string& why);

// A text of a message as Windows-1251: nothing when it is no UTF-8, holds a control character,
// a character the code page lacks, or is longer than limit bytes.
std::optional<std::string> MessageText(std::string_view utf8, std::size_t limit);

}  // namespace sites
