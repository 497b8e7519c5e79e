// The main window's cost to show one poll cycle: every value a cycle dispatches (a serving report
// during a call and six neighbour rows) through ShowField, with the end-of-cycle marks, and then
// the same with the window painted into an image. Runs on the offscreen platform.

#include <benchmark/benchmark.h>

#include <QImage>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/window_ops.h"
#include "parser/measurement_fields.h"
#include "parser/report_parser.h"
#include "ui/form_control.h"
#include "ui/frmNetMonitor.h"

namespace {

struct Value {
  int fieldCode;
  int cellIndex;
  parser::FieldValue value;
};

class CollectingSink : public parser::FieldSink {
 public:
  void AcceptField(int fieldCode, int cellIndex, const parser::FieldValue& value) override {
    values.push_back({fieldCode, cellIndex, value});
  }
  std::vector<Value> values;
};

// The values of one cycle, as the parser dispatches them from real report lines.
std::vector<Value> OneCycle() {
  CollectingSink sink;
  parser::SetDisplaySink(&sink);
  parser::ParseReportLines(
      "chann rs  dBm MCC MNC  LAC  cell NCC BCC PWR RxLev  C1  C2 RxQFull TA I TS timAdv chann  dBm Q ChMod",
      "  989 15  -80 250  99 1BE9 15CCF   4   4  33    30  26  26       0  6 I 2      6   989  -79 0  EFR", 0);
  constexpr std::string_view kHeader = "chann rs  dBm NCC BCC  cell PWR RxLev  C1  C2";
  constexpr std::string_view kRows[] = {
      "  732 18  -74   0   6  DA53  33    36  32  32", "   55 16  -78   0   1  B27B  33    32  28  28",
      "  611 14  -81   4   6  CEB9  33    29  25  25", "  102 13  -85   2   3  2A11  33    25  21  21",
      "  977 12  -90   1   5  1C00  33    20  16  16", "  520 11  -95   3   2  0F3A  33    15  11  11"};
  for (int cell = 1; cell <= 6; ++cell) parser::ParseReportLines(kHeader, kRows[cell - 1], cell);
  parser::SetDisplaySink(nullptr);
  return sink.values;
}

void ShowCycle(ui::Tfrm& form, const std::vector<Value>& values) {
  ui::MarkFields(form, false, parser::SweepPass::reset);
  for (const Value& value : values) ui::ShowField(form, value.fieldCode, value.cellIndex, value.value);
  ui::MarkFields(form, false, parser::SweepPass::markMissing);
}

void BM_ShowOneCycle(benchmark::State& state) {
  const std::vector<Value> values = OneCycle();
  ui::Tfrm form;
  ui::SetWindowLayout(form, core::WindowLayout::MonitorLayout);
  for (auto _ : state) ShowCycle(form, values);
  state.SetItemsProcessed(state.iterations());
  state.counters["values"] = static_cast<double>(values.size());
}

void BM_ShowOneCycleAndPaint(benchmark::State& state) {
  const std::vector<Value> values = OneCycle();
  ui::Tfrm form;
  ui::SetWindowLayout(form, core::WindowLayout::MonitorLayout);
  QImage screen(form.size(), QImage::Format_RGB32);
  for (auto _ : state) {
    ShowCycle(form, values);
    form.render(&screen);
  }
  benchmark::DoNotOptimize(screen.constBits());
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_ShowOneCycle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ShowOneCycleAndPaint)->Unit(benchmark::kMicrosecond);

}  // namespace
