#pragma once
// Reading an AT answer as firmware writes it: lines split at CR and LF, blanks trimmed, the lines
// of one information prefix ("+QENG:", "#RFSTS:") with or without a blank after the colon, a
// line wrapped by the modem or a terminal joined again, fields split at commas outside quotes,
// and numbers that are absent where the modem wrote a placeholder ("-", "x", "--", nothing).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dialects {

// The non-empty lines of an answer, each trimmed of blanks.
std::vector<std::string_view> ResponseLines(std::string_view text);

// What follows prefix on each line that starts with it (case-insensitive), trimmed. A line that
// starts with no prefix of its own (no '+', '#', '!', '^', '*', no echo "AT...", no final result)
// continues the entry before it, as a wrapped line does.
std::vector<std::string> PrefixedEntries(std::string_view text, std::string_view prefix);

// Fields split at commas outside double quotes, each trimmed of blanks and of its quotes.
std::vector<std::string> SplitFields(std::string_view text);

// The field at index, "" past the end.
std::string_view FieldAt(const std::vector<std::string>& fields, std::size_t index);

// A field that is a placeholder and no value.
bool IsPlaceholder(std::string_view field);

// A whole decimal number (optional sign), absent for a placeholder or anything else.
std::optional<long long> Decimal(std::string_view field);
// A decimal number with an optional fraction.
std::optional<double> Real(std::string_view field);
// A hexadecimal number, with or without "0x"; absent for a placeholder and for all-F fillers
// ("ffff", "FFFFFFF"), which modems write for an unknown identity.
std::optional<long long> Hex(std::string_view field);

// A number kept only inside [low, high].
std::optional<int> Within(std::optional<long long> value, long long low, long long high);
std::optional<std::int64_t> Within64(std::optional<long long> value, long long low, long long high);
std::optional<double> WithinReal(std::optional<double> value, double low, double high);

// Lower-case ASCII copy.
std::string Lower(std::string_view text);

}  // namespace dialects
