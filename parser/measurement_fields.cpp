#include "parser/measurement_fields.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "parser/field_table.h"

namespace parser {
namespace {

// Where this thread's DispatchField sends values: its session's cycle builder, or a test's sink.
thread_local FieldSink* t_sink = nullptr;

}  // namespace

FieldSink* ThreadSink() { return t_sink; }

ScopedThreadSink::ScopedThreadSink(FieldSink* sink) : previous_(t_sink) { t_sink = sink; }
ScopedThreadSink::~ScopedThreadSink() { t_sink = previous_; }

void ShowDiagnostic(const std::string& text) {
  if (FieldSink* sink = t_sink) sink->AcceptDiagnostic(text);
}

std::optional<double> ValueNumber(std::string_view text) {
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++i;
  double v = 0;
  int digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) v = v * 10 + (text[i] - '0');
  if (i < text.size() && text[i] == ',') {
    ++i;
    double scale = 0.1;
    int fraction = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++fraction, scale /= 10) {
      v += (text[i] - '0') * scale;
    }
    if (fraction == 0) return std::nullopt;
  }
  if (digits == 0 || i != text.size() || !std::isfinite(v)) return std::nullopt;
  return negative ? -v : v;
}

FieldValue TextValue(std::string text) {
  std::optional<double> number = ValueNumber(text);
  return {std::move(text), number};
}

bool DispatchField(int code, const std::string& text) {
  if (code == fcInfo || code == fcError) return DispatchField(code, FieldValue{text, std::nullopt});
  return DispatchField(code, TextValue(text));
}

bool DispatchField(int code, const FieldValue& value) {
  const std::string& text = value.text;
  if (code == fcInfo) {
    ShowDiagnostic("*** INFO:" + text);
    return true;
  }
  if (code == fcError) {
    ShowDiagnostic("*** ERROR:" + text);
    return true;
  }
  // The low ten bits; for a negative code this is what the 32-bit AND gives.
  const int f = static_cast<int>(static_cast<unsigned>(code) & 1023u);
  if (FindField(f) == nullptr) return false;
  const int cell = code / kCellCodeStep;
  if (FieldSink* sink = t_sink) sink->AcceptField(f, cell, value);
  return true;
}

int ParseNumber(std::string_view text) {
  if (text.empty() || text == kNotAvailable) return 0;
  for (const char c : text) {
    if (c != '-' && (c < '0' || c > '9')) return 0;
  }
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return 0;
  return value;
}

}  // namespace parser
