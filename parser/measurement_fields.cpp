#include "parser/measurement_fields.h"

#include <atomic>
#include <charconv>

#include "parser/field_table.h"

namespace parser {
namespace {

std::atomic<FieldSink*> g_display{nullptr};
std::atomic<FieldSink*> g_log{nullptr};
std::atomic<DiagnosticHandler> g_diagnostic{nullptr};

}  // namespace

void SetDisplaySink(FieldSink* display) { g_display.store(display); }
void SetLogSink(FieldSink* log) { g_log.store(log); }
void SetDiagnosticHandler(DiagnosticHandler handler) { g_diagnostic.store(handler); }

void ShowDiagnostic(const std::string& text) {
  if (const DiagnosticHandler handler = g_diagnostic.load()) handler(text);
}

bool DispatchField(int code, const std::string& text) {
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
  if (FieldSink* display = g_display.load()) display->AcceptField(f, cell, text);
  if (FieldSink* log = g_log.load()) log->AcceptField(f, cell, text);
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
