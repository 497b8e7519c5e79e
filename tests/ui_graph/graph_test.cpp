#include <gtest/gtest.h>

#include <QImage>
#include <tuple>

#include "ui/rxlevel_graphbar.h"

namespace {

using ui::Colour;

constexpr int kWidth = 645;
constexpr int kHeight = 125;

std::tuple<int, int, int> Bytes(Colour c) {
  return {static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF)};
}

std::tuple<int, int, int> PixelBytes(QRgb c) { return {qRed(c), qGreen(c), qBlue(c)}; }

// A graph of the monitor window's size with a fresh surface.
struct GraphFixture : testing::Test {
  void SetUp() override {
    graph.resize(kWidth, kHeight);
    graph.CreateGraphSurface();
    ASSERT_TRUE(graph.HasSurface());
  }
  QRgb Pixel(int x, int y) const { return graph.Surface().pixel(x, y); }
  // Rows of column x that are not black, counted from the bottom.
  int ColumnHeight(int x) const {
    int rows = 0;
    for (int y = 0; y < kHeight; ++y) rows += Pixel(x, y) != qRgb(0, 0, 0) ? 1 : 0;
    return rows;
  }
  ui::RxLevelGraph graph;
};

TEST(GraphColours, BlendTruncatesEachByte) {
  // Yellow blended halfway into (0, 128, 0): 127.5 and 191.5 truncate down.
  EXPECT_EQ(Bytes(ui::BlendColour(0x00FFFF, 0x008000, 0.5f)), std::make_tuple(127, 191, 0));
  EXPECT_EQ(ui::BlendColour(0x123456, 0xABCDEF, 0.0f), 0x123456u);
  EXPECT_EQ(ui::BlendColour(0x123456, 0xABCDEF, 1.0f), 0xABCDEFu);
  // Out-of-range shares never leave the byte range.
  EXPECT_EQ(Bytes(ui::BlendColour(0x00FFFF, 0x00FF00, 2.0f)), std::make_tuple(0, 255, 0));
}

TEST(GraphColours, BottomAndTopOfAColumn) {
  struct Case {
    int level, row, height, r, g, b;
  };
  const Case cases[] = {
      {-61, 1, 98, 127, 254, 0}, {-61, 97, 98, 127, 191, 0}, {-80, 1, 62, 253, 126, 0},   {-80, 61, 62, 192, 64, 0},
      {-75, 1, 78, 255, 255, 0}, {-75, 77, 78, 255, 255, 0}, {-85, 1, 53, 255, 0, 0},     {-85, 52, 53, 255, 0, 0},
      {-47, 1, 125, 0, 255, 0},  {-47, 124, 125, 0, 255, 0}, {-113, 5, 0, 255, 255, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.level << " dBm, row " << c.row);
    EXPECT_EQ(Bytes(ui::LevelColour(c.level, c.row, c.height)), std::make_tuple(c.r, c.g, c.b));
  }
}

TEST(GraphColours, LevelsOffTheScaleStayInRange) {
  EXPECT_EQ(ui::LevelColour(-30, 60, 157), ui::LevelColour(-47, 60, 157));
  EXPECT_EQ(ui::LevelColour(-200, 1, 3), ui::LevelColour(-113, 1, 3));
  EXPECT_EQ(Bytes(ui::LevelColour(2147483647, 100, 125)), std::make_tuple(0, 255, 0));
}

TEST_F(GraphFixture, NewSurfaceIsBlackOfTheWidgetSize) {
  EXPECT_EQ(graph.Surface().size(), QSize(kWidth, kHeight));
  EXPECT_EQ(graph.Surface().format(), QImage::Format_RGB32);
  EXPECT_EQ(ColumnHeight(kWidth - 5) + ColumnHeight(0), 0);
}

TEST_F(GraphFixture, ColumnHeightsFollowTheLevel) {
  // Visible rows are h - 1: the pixel for i = 0 lies below the surface.
  struct Case {
    int level, visibleRows;
  };
  const Case cases[] = {{-47, 124}, {-61, 97}, {-80, 61}, {-100, 23}, {-110, 4}, {-112, 0}, {-113, 0}, {-150, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    graph.CreateGraphSurface();
    graph.AddGraphSample(c.level);
    for (int x = kWidth - 5; x <= kWidth - 2; ++x) EXPECT_EQ(ColumnHeight(x), c.visibleRows) << "x " << x;
    EXPECT_EQ(ColumnHeight(kWidth - 1), 0);
    EXPECT_EQ(ColumnHeight(kWidth - 6), 0);
  }
}

TEST_F(GraphFixture, ColumnColoursOnTheSurface) {
  // Bottom row y = H - 1 carries i = 1; the top pixel i = h - 1 has black above it.
  struct Case {
    int level, h, r0, g0, b0, rTop, gTop, bTop;
  };
  const Case cases[] = {{-61, 98, 127, 254, 0, 127, 191, 0}, {-80, 62, 253, 126, 0, 192, 64, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    graph.CreateGraphSurface();
    graph.AddGraphSample(c.level);
    const int top = kHeight - (c.h - 1);
    EXPECT_EQ(PixelBytes(Pixel(kWidth - 2, kHeight - 1)), std::make_tuple(c.r0, c.g0, c.b0));
    EXPECT_EQ(PixelBytes(Pixel(kWidth - 2, top)), std::make_tuple(c.rTop, c.gTop, c.bTop));
    EXPECT_EQ(PixelBytes(Pixel(kWidth - 2, top - 1)), std::make_tuple(0, 0, 0));
  }
}

TEST_F(GraphFixture, SingleColourColumns) {
  struct Case {
    int level;
    QRgb colour;
  };
  const Case cases[] = {{-75, qRgb(255, 255, 0)}, {-85, qRgb(255, 0, 0)}, {-47, qRgb(0, 255, 0)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    graph.CreateGraphSurface();
    graph.AddGraphSample(c.level);
    const int visible = ColumnHeight(kWidth - 2);
    ASSERT_GT(visible, 0);
    for (int x = kWidth - 5; x <= kWidth - 2; ++x) {
      for (int y = kHeight - visible; y < kHeight; ++y) ASSERT_EQ(Pixel(x, y), c.colour) << x << "," << y;
    }
  }
}

TEST_F(GraphFixture, EachSampleScrollsFourColumns) {
  graph.AddGraphSample(-61);
  const QImage first = graph.Surface().copy(kWidth - 5, 0, 4, kHeight);
  graph.AddGraphSample(-113);  // draws nothing, but still scrolls
  EXPECT_EQ(graph.Surface().copy(kWidth - 9, 0, 4, kHeight), first);
  for (int x = kWidth - 5; x < kWidth; ++x) EXPECT_EQ(ColumnHeight(x), 0) << x;
  graph.AddGraphSample(-47);
  EXPECT_EQ(graph.Surface().copy(kWidth - 13, 0, 4, kHeight), first);
  EXPECT_EQ(ColumnHeight(kWidth - 1), 0);
}

TEST_F(GraphFixture, LevelsAboveTheScaleFillTheColumn) {
  graph.AddGraphSample(-20);
  graph.AddGraphSample(2147483647);
  for (int x = kWidth - 9; x <= kWidth - 2; ++x) EXPECT_EQ(ColumnHeight(x), kHeight) << x;
  graph.AddGraphSample(-2147483647 - 1);
  EXPECT_EQ(ColumnHeight(kWidth - 2), 0);
}

TEST_F(GraphFixture, SampleWithoutSurfaceChangesNothing) {
  graph.DestroyGraphSurface();
  graph.DestroyGraphSurface();
  graph.AddGraphSample(-61);
  EXPECT_FALSE(graph.HasSurface());
  // A new surface starts black: the curve of an earlier connection is not kept.
  graph.CreateGraphSurface();
  EXPECT_EQ(ColumnHeight(kWidth - 2), 0);
}

TEST_F(GraphFixture, RepaintShowsTheSurface) {
  graph.AddGraphSample(-75);
  // A repaint (after the window was covered, say) draws the surface again, not an empty box.
  const QImage shown = graph.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), graph.Surface().size());
  EXPECT_EQ(shown, graph.Surface());
}

}  // namespace
