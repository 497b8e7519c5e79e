// The receive-level graph at its worst case: a sample at the top of the scale fills every row of
// the four new columns. Also the same followed by a repaint of the graph into an image, which is
// what the screen gets for each cycle. Runs on the offscreen platform.

#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "ui/rxlevel_graphbar.h"

namespace {

// Above the top of the scale (-47 dBm): the column covers the whole height.
constexpr int kFullHeightLevel = -40;

void BM_AddGraphSampleFullHeight(benchmark::State& state) {
  ui::RxLevelGraph graph;
  graph.resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  graph.CreateGraphSurface();
  for (auto _ : state) graph.AddGraphSample(kFullHeightLevel);
  benchmark::DoNotOptimize(graph.Surface().constBits());
  state.SetItemsProcessed(state.iterations());
}

void BM_AddGraphSampleAndPaint(benchmark::State& state) {
  ui::RxLevelGraph graph;
  graph.resize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  graph.CreateGraphSurface();
  QImage screen(graph.size(), QImage::Format_RGB32);
  for (auto _ : state) {
    graph.AddGraphSample(kFullHeightLevel);
    graph.render(&screen);
  }
  benchmark::DoNotOptimize(screen.constBits());
  state.SetItemsProcessed(state.iterations());
}

// 645 x 125, a few columns wider than the window's paint box (637 x 125); twice that stands for a
// scaled-up screen.
BENCHMARK(BM_AddGraphSampleFullHeight)->Args({645, 125})->Args({1290, 250});
BENCHMARK(BM_AddGraphSampleAndPaint)->Args({645, 125})->Args({1290, 250});

}  // namespace
