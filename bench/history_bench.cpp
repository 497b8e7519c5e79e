// A day of history: 216,000 poll cycles (0.4 s apart) of seven cells whose ranks change and whose
// serving cell changes now and then, drawn by the history window's plot at the whole day and at
// closer zooms. Reports the time of one redraw (into an image of the plot's size) and the bytes the
// history holds. Runs on the offscreen platform.

#include <benchmark/benchmark.h>

#include <QImage>
#include <algorithm>
#include <memory>
#include <random>

#include "history/cell_history.h"
#include "ui/history_window.h"

namespace {

constexpr int kDayCycles = 216'000;
constexpr double kStart = 1'796'845'695;

history::CellHistory& Day() {
  static history::CellHistory* day = [] {
    auto* h = new history::CellHistory;
    std::mt19937 random(7);
    const int channels[7] = {62, 70, 80, 512, 600, 990, 1000};
    int levels[7] = {-60, -70, -75, -80, -85, -90, -95};
    int serving = 0;
    radio::Cycle cycle;
    cycle.serving.emplace();
    cycle.neighbours.resize(6);
    for (int n = 0; n < kDayCycles; ++n) {
      if (n % 1000 == 999) serving = static_cast<int>(random() % 7);
      for (int& level : levels) level = std::clamp(level + static_cast<int>(random() % 5) - 2, -110, -50);
      int order[7] = {0, 1, 2, 3, 4, 5, 6};
      std::shuffle(order + 1, order + 7, random);
      std::swap(order[0], order[std::find(order, order + 7, serving) - order]);
      for (std::size_t i = 0; i < 7; ++i) {
        const int c = order[i];
        radio::Cell& cell = i == 0 ? *cycle.serving : cycle.neighbours[i - 1];
        cell.channel = channels[c];
        cell.band = "GSM900";
        cell.gsm()->bsic = c * 8 + 3;
        cell.gsm()->rxLevelDbm = levels[c];
      }
      h->AddCycle(kStart + 0.4 * n, cycle);
    }
    return h;
  }();
  return *day;
}

// range(0): the visible span in seconds (0: the whole day).
void BM_RedrawDay(benchmark::State& state) {
  history::CellHistory& day = Day();
  ui::HistoryPlot plot(day);
  plot.resize(1200, 500);
  const double span = state.range(0) == 0 ? day.LastTime() - day.FirstTime() : static_cast<double>(state.range(0));
  const double middle = (day.FirstTime() + day.LastTime()) / 2;
  plot.SetFollowing(false);
  plot.SetRange(middle - span / 2, middle + span / 2);
  QImage image(plot.size(), QImage::Format_RGB32);
  for (auto _ : state) plot.render(&image);
  benchmark::DoNotOptimize(image.constBits());
  state.counters["history_MB"] = static_cast<double>(day.MemoryBytes()) / (1024.0 * 1024.0);
  std::size_t points = 0;
  for (const auto& trace : day.Traces()) points += trace.cycles.size();
  state.counters["points"] = static_cast<double>(points);
  state.counters["traces"] = static_cast<double>(day.Traces().size());
}

// The whole day, an hour, ten minutes, a minute.
BENCHMARK(BM_RedrawDay)->Arg(0)->Arg(3600)->Arg(600)->Arg(60)->Unit(benchmark::kMillisecond);

// The columns of every trace for the whole day, without the painting.
void BM_DecimateDay(benchmark::State& state) {
  history::CellHistory& day = Day();
  std::vector<history::Column> columns;
  for (auto _ : state) {
    for (const auto& trace : day.Traces()) day.Decimate(trace, day.FirstTime(), day.LastTime(), 1148, columns);
    benchmark::DoNotOptimize(columns.data());
  }
}
BENCHMARK(BM_DecimateDay)->Unit(benchmark::kMillisecond);

}  // namespace
