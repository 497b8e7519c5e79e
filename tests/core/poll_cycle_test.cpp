// The neighbour exchange against a modem that lists fewer than six neighbours: the rows end at
// the answer's final result, and nothing after it is read.

#include "core/poll_cycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "modem/com_port.h"
#include "parser/measurement_fields.h"
#include "tests/modem/pty_pair.h"
#include "tests/support/recording_sink.h"

namespace {

constexpr const char* kHeader = "chann rs  dBm NCC BCC  cell PWR RxLev  C1  C2";
constexpr const char* kRows[] = {
    "  732 18  -74   0   6  DA53  33    36  32  32", "   55 16  -78   0   1  B27B  33    32  28  28",
    "  989 15  -80   3   2  1C2D  33    30  26  26", "  600 14  -82   4   5  2D3E  33    28  24  24",
    "   12 13  -84   5   4  3E4F  33    26  22  22", "  880 12  -86   6   3  4F50  33    24  20  20"};

// The answer as a V.250 modem frames it, after the LF the previous answer left, and a line
// that belongs to whatever comes next.
std::string Answer(int rows, const std::string& final) {
  std::string bytes = "\n\r\n" + std::string(kHeader) + "\r\n";
  for (int i = 0; i < rows; ++i) bytes += std::string(kRows[i]) + "\r\n";
  return bytes + "\r\n" + final + "\r\nNEXT\r\n";
}

}  // namespace

TEST(PollNeighbourCells, RowsEndAtTheFinalResultWithoutWaiting) {
  modemtest::PtyPair pty;
  // The monitor's own read time-out: a read that waits it out is plain in the elapsed time.
  modemtest::ScopedActivePort port(pty.SlavePath(), 1000);
  ASSERT_TRUE(port.Opened());
  testsupport::ScopedDisplayRecorder display;

  for (const char* final : {"OK", "ERROR"}) {
    for (int rows = 0; rows <= 6; ++rows) {
      SCOPED_TRACE(std::string(final) + " after " + std::to_string(rows) + " rows");
      display.Clear();
      modemtest::ScriptedPeer peer(pty, {Answer(rows, final)});
      const auto start = std::chrono::steady_clock::now();
      EXPECT_TRUE(core::PollNeighbourCells());
      const auto elapsed = std::chrono::steady_clock::now() - start;
      EXPECT_EQ(peer.Stop(), std::vector<std::string>{"AT^MONP"});
      EXPECT_LT(elapsed, std::chrono::milliseconds(1000)) << "a read waited out its time-out";

      // The answer was read to its end and no further: the next line is still there.
      std::string line;
      ASSERT_TRUE(modem::ReadLineOk(modem::ActivePort(), line));
      EXPECT_EQ(line, "");
      ASSERT_TRUE(modem::ReadLineOk(modem::ActivePort(), line));
      EXPECT_EQ(line, "NEXT");

      std::vector<int> levelCells;
      for (const auto& f : display.Fields()) {
        if (f.fieldCode == parser::fcRxLevel) levelCells.push_back(f.cellIndex);
      }
      std::vector<int> expected;
      for (int cell = 1; cell <= rows; ++cell) expected.push_back(cell);
      EXPECT_EQ(levelCells, expected);
    }
  }
}
