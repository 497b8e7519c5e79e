#include "radio/cell_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include "radio/cell_values.h"

namespace radio {
namespace {

constexpr std::array<std::string_view, 3> kRoleNames = {"serving", "secondary", "neighbour"};
constexpr std::string_view kContinued = "+";
constexpr std::size_t kLongestText = 40;

std::string PlainText(std::string_view text) {
  std::string plain(text.substr(0, kLongestText));
  for (char& c : plain) {
    if (c == ';' || static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return plain;
}

std::string ValueText(const Value& value) {
  if (const auto* whole = std::get_if<std::int64_t>(&value)) return std::to_string(*whole);
  if (const auto* real = std::get_if<double>(&value)) return NumberText(*real);
  if (const auto* text = std::get_if<std::string>(&value)) return PlainText(*text);
  return {};
}

Value ParsedValue(std::string_view name, std::string_view text) {
  const char* const end = text.data() + text.size();
  switch (KindOf(name)) {
    case ValueKind::text:
      if (text.empty()) return {};
      return std::string(text);
    case ValueKind::whole: {
      std::int64_t whole = 0;
      const auto [ptr, error] = std::from_chars(text.data(), end, whole);
      if (error != std::errc{} || ptr != end) return {};
      return whole;
    }
    case ValueKind::real: {
      double real = 0;
      const auto [ptr, error] = std::from_chars(text.data(), end, real);
      if (error != std::errc{} || ptr != end || !std::isfinite(real)) return {};
      return real;
    }
  }
  return {};
}

// The text's fields between ";".
std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  while (true) {
    const std::size_t semicolon = text.find(';');
    fields.push_back(text.substr(0, semicolon));
    if (semicolon == std::string_view::npos) break;
    text.remove_prefix(semicolon + 1);
  }
  return fields;
}

void PutPair(Cell& cell, std::string_view pair) {
  const std::size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return;
  const std::string_view name = pair.substr(0, equals);
  if (name == "tech") return;
  const Value value = ParsedValue(name, pair.substr(equals + 1));
  if (!std::holds_alternative<std::monostate>(value)) SetCellValue(cell, name, value);
}

}  // namespace

std::string_view CellRoleName(CellRole role) { return kRoleNames[static_cast<std::size_t>(role)]; }

std::optional<CellRole> CellRoleNamed(std::string_view name) {
  for (std::size_t i = 0; i < kRoleNames.size(); ++i) {
    if (kRoleNames[i] == name) return static_cast<CellRole>(i);
  }
  return std::nullopt;
}

std::vector<std::string> CellLines(CellRole role, const Cell& cell, std::size_t maxBytes) {
  maxBytes = std::max(maxBytes, kShortestCellLine);
  std::vector<std::string> lines{std::string(CellRoleName(role))};
  for (const NamedValue& value : CellValues(cell)) {
    if (std::holds_alternative<std::monostate>(value.value)) continue;
    const std::string pair = std::string(value.name) + "=" + ValueText(value.value);
    if (lines.back().size() + 1 + pair.size() > maxBytes) lines.emplace_back(kContinued);
    lines.back() += ";" + pair;
  }
  return lines;
}

bool CellLineReader::Add(std::string_view text) {
  std::vector<std::string_view> fields = Fields(text);
  if (fields.front() == kContinued) {
    if (cells_.empty()) return false;
    for (std::size_t i = 1; i < fields.size(); ++i) PutPair(cells_.back().cell, fields[i]);
    return true;
  }
  const std::optional<CellRole> role = CellRoleNamed(fields.front());
  if (!role || cells_.size() >= kMostCells || fields.size() < 2 || !fields[1].starts_with("tech=")) return false;
  const std::optional<Tech> tech = TechNamed(fields[1].substr(5));
  if (!tech) return false;
  PlacedCell placed{*role, MakeCell(*tech)};
  for (std::size_t i = 2; i < fields.size(); ++i) PutPair(placed.cell, fields[i]);
  cells_.push_back(std::move(placed));
  return true;
}

namespace {

// A place in the neighbour list that nothing filled: the field records of a log leave one where a
// neighbour of another technology stood between GSM neighbours.
bool Unfilled(const Cell& cell) {
  if (cell.tech() != Tech::gsm) return false;
  for (const NamedValue& value : CellValues(cell)) {
    if (value.name != "tech" && !std::holds_alternative<std::monostate>(value.value)) return false;
  }
  return true;
}

}  // namespace

void PlaceCells(Cycle& cycle, const std::vector<PlacedCell>& cells) {
  std::size_t free = 0;  // neighbours before it are filled
  for (const PlacedCell& placed : cells) {
    switch (placed.role) {
      case CellRole::serving:
        cycle.serving = placed.cell;
        break;
      case CellRole::secondary:
        cycle.secondary.push_back(placed.cell);
        break;
      case CellRole::neighbour:
        while (free < cycle.neighbours.size() && !Unfilled(cycle.neighbours[free])) ++free;
        if (free < cycle.neighbours.size()) {
          cycle.neighbours[free] = placed.cell;
        } else {
          cycle.neighbours.push_back(placed.cell);
        }
        break;
    }
  }
}

}  // namespace radio
