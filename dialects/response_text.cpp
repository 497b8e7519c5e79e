#include "dialects/response_text.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdlib>

namespace dialects {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

// A line that begins something of its own, so it never continues the entry before it.
bool StartsOwnLine(std::string_view line) {
  const char first = line.front();
  if (first == '+' || first == '#' || first == '!' || first == '^' || first == '*' || first == '$') return true;
  return StartsWithNoCase(line, "AT") || line == "OK" || StartsWithNoCase(line, "ERROR") || line == "RING" ||
         line == "NO CARRIER";
}

}  // namespace

std::vector<std::string_view> ResponseLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\r' || text[i] == '\n' || text[i] == '\0') {
      const std::string_view line = Trim(text.substr(start, i - start));
      if (!line.empty()) lines.push_back(line);
      start = i + 1;
    }
  }
  return lines;
}

std::vector<std::string> PrefixedEntries(std::string_view text, std::string_view prefix) {
  std::vector<std::string> entries;
  bool inEntry = false;
  for (const std::string_view line : ResponseLines(text)) {
    if (StartsWithNoCase(line, prefix)) {
      entries.emplace_back(Trim(line.substr(prefix.size())));
      inEntry = true;
    } else if (inEntry && !StartsOwnLine(line)) {
      if (!entries.back().empty()) entries.back() += ' ';
      entries.back() += line;
    } else {
      inEntry = false;
    }
  }
  return entries;
}

std::vector<std::string> SplitFields(std::string_view text) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;
  const auto finish = [&] {
    std::string_view trimmed = Trim(field);
    if (trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"') {
      trimmed = Trim(trimmed.substr(1, trimmed.size() - 2));
    }
    fields.emplace_back(trimmed);
    field.clear();
  };
  for (const char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      finish();
    } else {
      field += c;
    }
  }
  finish();
  return fields;
}

std::string_view FieldAt(const std::vector<std::string>& fields, std::size_t index) {
  return index < fields.size() ? std::string_view(fields[index]) : std::string_view();
}

bool IsPlaceholder(std::string_view field) {
  field = Trim(field);
  return field.empty() || field == "-" || field == "--" || field == "x" || field == "X" || field == "NA" ||
         field == "N/A";
}

std::optional<long long> Decimal(std::string_view field) {
  field = Trim(field);
  if (IsPlaceholder(field)) return std::nullopt;
  if (field.front() == '+') field.remove_prefix(1);
  long long value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
  return value;
}

std::optional<double> Real(std::string_view field) {
  field = Trim(field);
  if (IsPlaceholder(field)) return std::nullopt;
  if (field.front() == '+') field.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
  return value;
}

std::optional<long long> Hex(std::string_view field) {
  field = Trim(field);
  if (IsPlaceholder(field)) return std::nullopt;
  if (StartsWithNoCase(field, "0x")) field.remove_prefix(2);
  // Longer than 36 bits is no identity a modem reports.
  if (field.empty() || field.size() > 9 || field.front() == '-' || field.front() == '+') return std::nullopt;
  bool allF = true;
  for (const char c : field) allF = allF && (c == 'f' || c == 'F');
  if (allF) return std::nullopt;
  long long value = 0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value, 16);
  if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
  return value;
}

std::optional<int> Within(std::optional<long long> value, long long low, long long high) {
  if (!value || *value < low || *value > high) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<std::int64_t> Within64(std::optional<long long> value, long long low, long long high) {
  if (!value || *value < low || *value > high) return std::nullopt;
  return static_cast<std::int64_t>(*value);
}

std::optional<double> WithinReal(std::optional<double> value, double low, double high) {
  if (!value || !(*value >= low && *value <= high)) return std::nullopt;
  return value;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace dialects
