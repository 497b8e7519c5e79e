// A drive's track: placed cycles only, events at the place of the drive when they happened, gaps
// that break the line, and a log read back with its positions and events.

#include "map/drive_track.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "log/log_writer.h"
#include "survey/cycle_stamp.h"
#include "tests/support/survey_log.h"
#include "tests/support/typed_cells.h"

namespace {

radio::Cycle Placed(long n, double latitude, double longitude, int level) {
  radio::Cycle cycle =
      testsupport::CycleOf({testsupport::GsmCell(62, "7.3", level), testsupport::GsmCell(70, "1.1", -90)});
  cycle.n = n;
  cycle.position = radio::Position{latitude, longitude};
  return cycle;
}

TEST(DriveTrack, PlacedCyclesBecomePointsAndEventsSitWhereTheDriveWas) {
  map::DriveTrack track;
  track.AddEvent(99, {history::EventKind::connectionStarted, "", "", 0, {}});
  radio::Cycle unplaced = Placed(1, 0, 0, -60);
  unplaced.position.reset();
  track.AddCycle(100, unplaced);
  EXPECT_TRUE(track.Points().empty());
  EXPECT_TRUE(track.Events().empty());  // held until the drive has a place
  EXPECT_FALSE(track.Bounds());

  track.AddCycle(101, Placed(2, 55.70, 37.50, -61));
  track.AddCycle(102, Placed(3, 55.72, 37.55, -75));
  track.AddEvent(102, {history::EventKind::servingCell, "62", "70", 0, {}});
  radio::Cycle nowhere = Placed(4, 91, 37.55, -75);  // no latitude
  track.AddCycle(103, nowhere);
  track.AddCycle(160, Placed(5, 55.71, 37.40, -99));

  ASSERT_EQ(track.Points().size(), 3u);
  EXPECT_EQ(track.Points()[1].cycle, 3);
  EXPECT_DOUBLE_EQ(track.Points()[1].time, 102);
  ASSERT_TRUE(track.Points()[1].serving);
  EXPECT_EQ(track.Points()[1].serving->gsm()->rxLevelDbm, -75);
  EXPECT_EQ(track.Points()[1].neighbours, 1);

  ASSERT_EQ(track.Events().size(), 2u);
  EXPECT_EQ(track.Events()[0].event.kind, history::EventKind::connectionStarted);
  EXPECT_DOUBLE_EQ(track.Events()[0].place.latitude, 55.70);
  EXPECT_EQ(track.Events()[1].event.kind, history::EventKind::servingCell);
  EXPECT_DOUBLE_EQ(track.Events()[1].place.longitude, 37.55);

  EXPECT_TRUE(track.Joined(0, 1));
  EXPECT_FALSE(track.Joined(1, 2));  // 58 s without a place
  const map::TrackBounds bounds = *track.Bounds();
  EXPECT_DOUBLE_EQ(bounds.southWest.latitude, 55.70);
  EXPECT_DOUBLE_EQ(bounds.southWest.longitude, 37.40);
  EXPECT_DOUBLE_EQ(bounds.northEast.latitude, 55.72);
  EXPECT_DOUBLE_EQ(bounds.northEast.longitude, 37.55);
}

TEST(DriveTrack, ALogGivesItsPlacedCyclesOnTheHistorysTimeAxis) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("drive_track_" + std::to_string(::getpid()) + ".log");
  {
    gsmlog::TLogWriter writer;
    ASSERT_TRUE(writer.Create(file.string()).ok);
    testsupport::LogSurveyCycle(writer, -63, true);
    history::CellEvent event{history::EventKind::servingCell, "1A2B", "3C4D", 0, testsupport::kSurveyCycleTime};
    writer.Hold(gsmlog::kCycleEventCode, history::FormatEventRecord(event));
    survey::HoldCycleRecords(writer, {testsupport::kSurveyCycleTime, testsupport::SurveyFix()});
    writer.Seal();
    testsupport::LogSurveyCycle(writer, -70, false);
    survey::HoldCycleRecords(writer, {testsupport::kSurveyCycleTime + std::chrono::seconds(1), std::nullopt});
    writer.Seal();
    ASSERT_TRUE(writer.Complete());
  }
  map::DriveTrack track;
  const map::TrackLoadResult result = map::LoadDriveTrack(file.string(), track);
  std::filesystem::remove(file);
  EXPECT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.cycles, 2);
  EXPECT_EQ(track.AxisKind(), map::DriveTrack::Axis::time);
  ASSERT_EQ(track.Points().size(), 1u);  // the second cycle had no fix
  const map::TrackPoint& point = track.Points()[0];
  EXPECT_DOUBLE_EQ(point.place.latitude, 55.7558);
  EXPECT_DOUBLE_EQ(point.place.longitude, 37.6173);
  EXPECT_NEAR(point.time, history::AxisTime(testsupport::kSurveyCycleTime), 1.0);
  ASSERT_TRUE(point.serving);
  EXPECT_EQ(point.serving->gsm()->rxLevelDbm, -63);
  ASSERT_EQ(track.Events().size(), 1u);
  EXPECT_EQ(track.Events()[0].event.to, "3C4D");
  EXPECT_DOUBLE_EQ(track.Events()[0].place.latitude, 55.7558);

  map::DriveTrack missing;
  const map::TrackLoadResult none = map::LoadDriveTrack("/nonexistent/drive.log", missing);
  EXPECT_FALSE(none.ok);
  EXPECT_FALSE(none.error.empty());
}

}  // namespace
