#include "log/log_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "log/log_dump.h"
#include "log/log_record.h"
#include "log/log_viewer.h"
#include "parser/field_table.h"
#include "platform/file_name.h"
#include "platform/text_encoding.h"
#include "report_lines.h"
#include "temp_dir.h"
#include "tests/support/file_name_cases.h"

namespace {

using namespace platform::literals;

struct Rec {
  std::int32_t code;
  std::string text;
  bool operator==(const Rec&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rec& r) { return out << r.code << ":" << r.text; }

// The records of a file other than checksum records.
std::vector<Rec> DataRecords(const std::string& path) {
  const auto dump = gsmlog::DumpLogFile(path);
  EXPECT_TRUE(dump.ok);
  EXPECT_TRUE(dump.valid);
  std::vector<Rec> records;
  for (const auto& r : dump.records) {
    if (r.code != gsmlog::kChecksumCode) records.push_back({r.code, r.text});
  }
  return records;
}

std::vector<char> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Each test has a writer of its own, and nothing of a run outlives it.
class Writer : public ::testing::Test {
 protected:
  // A value as the dispatcher hands it on: its text and the number the text states.
  void Log(int code, int index, const std::string& text) { writer_->Field(code, index, parser::TextValue(text)); }
  // The message of a failed write, once.
  std::optional<std::string> Failure() {
    const auto failure = writer_->TakeWriteFailure();
    return failure ? std::optional(failure->message) : std::nullopt;
  }
  void NewWriter() { writer_ = std::make_unique<gsmlog::TLogWriter>(); }

  logtest::TempDir dir_;
  std::unique_ptr<gsmlog::TLogWriter> writer_ = std::make_unique<gsmlog::TLogWriter>();
};

TEST_F(Writer, LogFieldWritesAndCountsByItsTables) {
  enum Stat { none, rx, ber, distance, band900, band1800, imei };
  struct Case {
    int code;
    int index;
    std::string text;
    std::vector<Rec> records;
    Stat stat;
  };
  const std::string russia(std::string("Россия"_cp1251));
  const Case cases[] = {
      {385, 0, "7.3", {{385, "7.3"}, {1409, "7.3"}}, none},
      {386, 0, "12345", {{386, "12345"}, {1410, "12345"}}, none},
      {385, 0, "(n/a)", {}, none},
      {386, 4, "999", {{5506, "999"}}, none},
      {388, 0, "50", {{1412, "50"}}, none},
      {388, 3, "50", {{4484, "50"}}, none},
      {387, 2, "-80", {{3459, "-80"}}, none},
      {387, 0, "-80", {{1411, "-80"}}, rx},
      {387, 6, "-99", {{7555, "-99"}}, none},
      {265, 0, "900", {{1289, "900"}}, band900},
      {265, 0, "1800", {{1289, "1800"}}, band1800},
      {265, 0, "EGSM", {{1289, "EGSM"}}, band900},  // the extended 900 MHz band
      {265, 0, "450", {{1289, "450"}}, none},       // no band of either share
      {265, 1, "900", {{2313, "900"}}, none},
      {257, 0, russia, {{257, russia}}, none},
      {257, 1, "250", {}, none},
      {258, 0, "02", {{258, "02"}}, none},
      {259, 0, "9998", {{259, "9998"}}, none},
      {1, 0, "351234567890123", {}, imei},
      {390, 0, "0,57", {{16774, "0,57"}}, ber},
      {390, 2, "0,57", {}, none},
      {391, 0, "5,5", {{16775, "5,5"}}, distance},
      {391, 3, "5,5", {}, none},
      {389, 0, "3", {{16773, "3"}}, none},
      {389, 1, "3", {}, none},
      {392, 0, std::string("Соединено"_cp1251), {}, none},
      {2, 0, "SIMULATED", {}, none},
      {4, 0, "REVISION 02.00", {}, none},
      {130, 0, "x", {}, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.code) + "/" + std::to_string(c.index) + " " + c.text);
    NewWriter();
    const std::string path = dir_.File(std::to_string(&c - cases) + ".log");
    ASSERT_TRUE(writer_->Create(path).ok);
    Log(c.code, c.index, c.text);
    const auto stats = writer_->Stats();
    const std::string keptImei = writer_->KeptText(parser::fcImei);
    ASSERT_TRUE(writer_->Seal());
    EXPECT_EQ(DataRecords(path), c.records);
    EXPECT_EQ(stats.RxLevelCount, c.stat == rx ? 1 : 0);
    EXPECT_EQ(stats.BitErrorCount, c.stat == ber ? 1 : 0);
    EXPECT_EQ(stats.DistanceCount, c.stat == distance ? 1 : 0);
    EXPECT_EQ(stats.Band900Count, c.stat == band900 ? 1 : 0);
    EXPECT_EQ(stats.Band1800Count, c.stat == band1800 ? 1 : 0);
    EXPECT_EQ(keptImei, c.stat == imei ? c.text : "");
  }
}

TEST(AddStatistic, FoldsNumbersAndIgnoresTheRest) {
  struct Case {
    float max, min;
    int count;
    std::string text;
    float newMax, newMin;
    int newCount;
  };
  const float inf = gsmlog::kStatInfinity;
  const Case cases[] = {
      {-60, -60, 1, "-75", -60, -75, 2},       {-60, -80, 2, "-60", -60, -80, 3},
      {-60, -80, 2, "-80", -60, -80, 3},       {-inf, inf, 0, "-75", -75, -75, 1},  // the first value sets both
      {-inf, inf, 0, "0,57", 0.57f, 0.57f, 1}, {-inf, inf, 0, "18,1", 18.1f, 18.1f, 1},
      {-60, -80, 2, "(n/a)", -60, -80, 2},     {-60, -80, 2, "", -60, -80, 2},
      {-60, -80, 2, "abc", -60, -80, 2},       {-60, -80, 2, "-", -60, -80, 2},
      {-60, -80, 2, "0,", -60, -80, 2},        {-60, -80, 2, "1.5", -60, -80, 2},
      {-60, -80, 2, "-7 dBm", -60, -80, 2},    {-60, -80, 2, std::string(400, '9'), -60, -80, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 10));
    float max = c.max, min = c.min;
    double sum = 0;
    std::int32_t count = c.count;
    gsmlog::AddStatistic(c.text, &max, &min, sum, count);
    EXPECT_EQ(max, c.newMax);
    EXPECT_EQ(min, c.newMin);
    EXPECT_EQ(count, c.newCount);
  }
  double sum = 1;
  std::int32_t count = 1;
  gsmlog::AddStatistic("5,5", nullptr, nullptr, sum, count);
  EXPECT_DOUBLE_EQ(sum, 1 + 5.5);
  EXPECT_EQ(count, 2);
}

TEST(WriterText, ZeroPadSummaryNumbersAndFileName) {
  EXPECT_EQ(gsmlog::ZeroPad(7, 2), "07");
  EXPECT_EQ(gsmlog::ZeroPad(2026, 4), "2026");
  EXPECT_EQ(gsmlog::ZeroPad(123, 2), "123");
  EXPECT_EQ(gsmlog::ZeroPad(0, 2), "00");
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {{-75, "-75"}, {-74.5, "-74,5"}, {0.14f, "0,14"},      {-74.333, "-74,33"}, {18.1f, "18,1"},
                        {0, "0"},     {-0.001, "0"},    {66.666666, "66,67"}, {100, "100"},        {0.05, "0,05"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(gsmlog::FormatSummaryNumber(c.value), c.text);
  }
  const std::string name = gsmlog::LogFileName();
  EXPECT_TRUE(std::regex_match(name, std::regex("[0-3][0-9][01][0-9][0-9]{4}\\.log"))) << name;
  EXPECT_EQ(gsmlog::DateStamp("") + ".log", name);
  EXPECT_TRUE(std::regex_match(gsmlog::DateStamp("."), std::regex("[0-9]{2}\\.[0-9]{2}\\.[0-9]{4}")));
}

TEST_F(Writer, WithoutAFileNothingIsWrittenButStatisticsGrow) {
  EXPECT_FALSE(writer_->WriteRecord(257, "250"));
  EXPECT_FALSE(writer_->Seal());
  EXPECT_FALSE(writer_->Complete());
  Log(387, 0, "-70");
  Log(1, 0, "IMEI1");
  EXPECT_EQ(writer_->Stats().RxLevelCount, 1);
  EXPECT_EQ(writer_->KeptText(parser::fcImei), "IMEI1");
  EXPECT_FALSE(writer_->TakeWriteFailure());
}

TEST_F(Writer, TextsTheReaderWouldStopAtAreNeverWritten) {
  const std::string path = dir_.File("texts.log");
  ASSERT_TRUE(writer_->Create(path).ok);
  const auto sizeBefore = FileBytes(path).size();
  EXPECT_FALSE(writer_->WriteRecord(257, ""));
  EXPECT_EQ(FileBytes(path).size(), sizeBefore);
  EXPECT_TRUE(writer_->WriteRecord(258, std::string(200, 'a')));
  EXPECT_TRUE(writer_->WriteRecord(259, "a\tb\x01"));
  EXPECT_TRUE(writer_->Complete());
  const auto records = DataRecords(path);
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records[0], (Rec{258, std::string(128, 'a')}));
  EXPECT_EQ(records[1], (Rec{259, "a?b?"}));
}

TEST_F(Writer, HeldRecordsGoOutWithTheNextSeal) {
  EXPECT_FALSE(writer_->Hold(20481, "2026-12-09T22:48:15.123+03:00"));
  const std::string path = dir_.File("held.log");
  ASSERT_TRUE(writer_->Create(path).ok);
  const auto sizeBefore = FileBytes(path).size();
  Log(387, 0, "-70");
  EXPECT_TRUE(writer_->Hold(20481, "2026-12-09T22:48:15.123+03:00"));
  EXPECT_FALSE(writer_->Hold(20482, ""));
  EXPECT_EQ(FileBytes(path).size(), sizeBefore);
  ASSERT_TRUE(writer_->Seal());
  EXPECT_EQ(DataRecords(path), (std::vector<Rec>{{1411, "-70"}, {20481, "2026-12-09T22:48:15.123+03:00"}}));
}

TEST_F(Writer, NeverOverwritesAnExistingFile) {
  const std::string path = dir_.File("09122026.log");
  std::ofstream(path) << "keep";
  const auto second = writer_->Create(path);
  ASSERT_TRUE(second.ok) << platform::Cp1251ToUtf8(second.error);
  EXPECT_EQ(second.nameUsed, dir_.File("09122026-2.log"));
  const auto third = writer_->Create(path);
  EXPECT_EQ(third.nameUsed, dir_.File("09122026-3.log"));
  EXPECT_TRUE(writer_->Complete());
  EXPECT_EQ(FileBytes(path), (std::vector<char>{'k', 'e', 'e', 'p'}));
  // The run that was open when the next began was completed, not lost.
  EXPECT_TRUE(gsmlog::BuildLogReport(second.nameUsed).ok);

  const std::string bad = dir_.File("no/such/folder.log");
  const auto failed = writer_->Create(bad);
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.error, std::string("Невозможно создать файл протокола \""_cp1251) + bad + "\"");
}

TEST_F(Writer, FailedWriteIsReportedOnceAndStopsTheRun) {
  const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  ASSERT_TRUE(writer_->Attach(fd, "full.log"));
  Log(257, 0, "250");
  Log(1, 0, "IMEI1");
  EXPECT_FALSE(writer_->IsOpen());
  EXPECT_EQ(Failure(), std::string("Невозможно записать протокол full.log"_cp1251));
  EXPECT_EQ(Failure(), std::nullopt);
  EXPECT_FALSE(writer_->WriteRecord(258, "01"));
  EXPECT_FALSE(writer_->Complete());
  EXPECT_EQ(Failure(), std::nullopt);
  EXPECT_EQ(writer_->KeptText(parser::fcImei), "IMEI1");
}

// The file size limit stands in for a full disk: a new log whose first seal fails leaves no
// file; a run whose cycle could not be written, and one closed after its seal, resume from their
// last seal, the cut cycle gone from the file and from the statistics.
TEST_F(Writer, ARunResumesFromItsLastSeal) {
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto limitTo = [&](rlim_t bytes) {
    rlimit limit = saved;
    limit.rlim_cur = bytes;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  };
  const std::string path = dir_.File("resumed.log");

  limitTo(0);
  EXPECT_FALSE(writer_->Create(path).ok);
  EXPECT_FALSE(std::filesystem::exists(path));
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);

  ASSERT_TRUE(writer_->Create(path).ok);
  Log(387, 0, "-70");
  ASSERT_TRUE(writer_->Seal());
  limitTo(static_cast<rlim_t>(std::filesystem::file_size(path) + 3));
  Log(387, 0, "-90");
  EXPECT_FALSE(writer_->Seal());
  EXPECT_TRUE(Failure().has_value());
  EXPECT_TRUE(writer_->CanResume());
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);

  ASSERT_TRUE(writer_->Resume());
  Log(387, 0, "-80");
  ASSERT_TRUE(writer_->Seal());
  ASSERT_TRUE(writer_->Suspend());
  EXPECT_FALSE(writer_->IsOpen());
  ASSERT_TRUE(writer_->Resume());
  Log(387, 0, "-60");
  ASSERT_TRUE(writer_->Seal());
  EXPECT_EQ(writer_->Stats().RxLevelCount, 3);
  EXPECT_EQ(writer_->Stats().RxLevelMin, -80.0f);
  ASSERT_TRUE(writer_->Complete());
  EXPECT_FALSE(writer_->CanResume());

  std::vector<std::string> levels;
  for (const Rec& record : DataRecords(path)) {
    if (record.code == gsmlog::CellRecordCode(387, 0)) levels.push_back(record.text);
  }
  EXPECT_EQ(levels, (std::vector<std::string>{"-70", "-80", "-60"}));
  std::signal(SIGXFSZ, previous);
}

TEST_F(Writer, CompletedRunReportsIdentityNetworkStatisticsAndCells) {
  Log(1, 0, "351234567890123");
  Log(3, 0, "GSM-SIM 900");
  Log(387, 0, "-50");  // before the run: reset when the run starts
  const std::string path = dir_.File("run.log");
  ASSERT_TRUE(writer_->Create(path).ok);
  EXPECT_EQ(writer_->Stats().RxLevelCount, 0);
  const struct {
    int code, index;
    const char* text;
  } cycle[] = {{257, 0, "250"}, {258, 0, "01"},   {386, 0, "4660"}, {385, 0, "7.3"}, {388, 0, "50"},   {265, 0, "900"},
               {387, 0, "-70"}, {390, 0, "0,14"}, {391, 0, "0,5"},  {388, 1, "600"}, {265, 1, "1800"}, {387, 1, "-90"},
               {387, 0, "-80"}, {390, 0, "0,28"}, {265, 0, "1800"}, {391, 0, "1,5"}, {387, 0, "-75"}};
  for (const auto& f : cycle) Log(f.code, f.index, f.text);
  ASSERT_TRUE(writer_->Seal());
  ASSERT_TRUE(writer_->Complete());
  EXPECT_FALSE(writer_->IsOpen());

  const auto report = gsmlog::BuildLogReport(path);
  ASSERT_TRUE(report.ok) << platform::Cp1251ToUtf8(report.error);
  const auto lines = logtest::ReportLines(report.text);
  ASSERT_EQ(lines.size(), 41u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("Дата: [0-9]{2}\\.[0-9]{2}\\.[0-9]{4}"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex("Время: [0-9:]{8} - [0-9:]{8}"))) << lines[1];
  const std::pair<std::size_t, std::string> expected[] = {
      {5, "IMEI: 351234567890123"},
      {6, "Модель: GSM-SIM 900"},
      {8, "IMSI-номер: (n/a)"},
      {9, "Страна: 250"},
      {10, "Оператор: 01"},
      {11, "Сота: 4660"},
      {12, "BSIC: 7.3"},
      {17, "Максимум: -70 dBm"},
      {18, "Минимум: -80 dBm"},
      {19, "Среднее: -75 dBm"},
      {23, "Максимум: 0,28%"},
      {24, "Минимум: 0,14%"},
      {25, "Среднее: 0,21%"},
      {29, "GSM 900: 50%"},
      {30, "GSM 1800: 50%"},
      {32, "Расстояние до БС: 1 km"},
      {36, "RxLevel |-75   |-90   |(n/a) |(n/a) |(n/a) |(n/a) "},
      {37, "BCCH    |50    |600   |(n/a) |(n/a) |(n/a) |(n/a) "},
      {40, "Диапазон|1800  |1800  |(n/a) |(n/a) |(n/a) |(n/a) "},
  };
  for (const auto& [index, line] : expected) {
    SCOPED_TRACE(index);
    EXPECT_EQ(lines[index], line);
  }
}

TEST_F(Writer, ExtendedBandCountsIntoTheGsm900Share) {
  struct Case {
    std::vector<const char*> bands;  // serving-cell band reports of one run
    const char* share900;
    const char* share1800;
  };
  const Case cases[] = {
      {{"EGSM", "EGSM", "EGSM"}, "GSM 900: 100%", "GSM 1800: 0%"},
      {{"EGSM", "900", "EGSM", "1800"}, "GSM 900: 75%", "GSM 1800: 25%"},
      {{"1800", "(n/a)", "1800"}, "GSM 900: 0%", "GSM 1800: 100%"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.share900);
    const std::string path = dir_.File(std::to_string(&c - cases) + "-bands.log");
    ASSERT_TRUE(writer_->Create(path).ok);
    for (const char* band : c.bands) Log(265, 0, band);
    Log(265, 2, "1800");  // neighbours never count
    ASSERT_TRUE(writer_->Complete());
    const auto report = gsmlog::BuildLogReport(path);
    ASSERT_TRUE(report.ok) << platform::Cp1251ToUtf8(report.error);
    const auto lines = logtest::ReportLines(report.text);
    ASSERT_EQ(lines.size(), 41u);
    EXPECT_EQ(lines[29], c.share900);
    EXPECT_EQ(lines[30], c.share1800);
  }
}

TEST_F(Writer, KilledRunStillReportsEverythingUpToTheLastSeal) {
  const std::string path = dir_.File("killed.log");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (!writer_->Create(path).ok) ::_exit(2);
    Log(257, 0, "250");
    Log(387, 0, "-70");
    writer_->Seal();
    std::raise(SIGKILL);
    ::_exit(3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  const auto report = gsmlog::BuildLogReport(path);
  ASSERT_TRUE(report.ok) << platform::Cp1251ToUtf8(report.error);
  const auto lines = logtest::ReportLines(report.text);
  EXPECT_EQ(lines[9], "Страна: 250");
  EXPECT_EQ(lines[36], "RxLevel |-70   |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) ");
  EXPECT_EQ(lines[0], "Дата: (n/a)");
}

TEST_F(Writer, MonitorThreadAndRecordActionShareTheWriter) {
  const std::string path = dir_.File("threads.log");
  ASSERT_TRUE(writer_->Create(path).ok);
  std::thread monitor([this] {
    for (int i = 0; i < 300; ++i) {
      Log(387, 0, std::to_string(-(60 + i % 30)));
      Log(388, i % 7, std::to_string(1 + i));
      if (i % 50 == 0) writer_->Seal();
    }
  });
  for (int i = 0; i < 20; ++i) {
    writer_->Seal();
    (void)writer_->Stats();
  }
  monitor.join();
  ASSERT_TRUE(writer_->Complete());
  const auto dump = gsmlog::DumpLogFile(path);
  EXPECT_TRUE(dump.valid);
  EXPECT_EQ(dump.stop, gsmlog::ReadStop::endOfData);
  EXPECT_TRUE(gsmlog::BuildLogReport(path).ok);
}

}  // namespace

// A name is the bytes of its path in any script, or none: the log, its numbered successor, the
// report and the dump all find exactly those bytes; messages show the name as Windows-1251.
TEST_F(Writer, NamesReachTheDiskByteForByte) {
  std::set<std::string> expected;
  for (const auto& c : test_support::FileNameCases()) {
    SCOPED_TRACE(c.kind);
    const std::string path = dir_.File(c.name);
    for (int k = 1; k <= 2; ++k) {
      const gsmlog::CreateLogResult created = writer_->Create(path);
      ASSERT_TRUE(created.ok) << platform::Cp1251ToUtf8(created.error);
      EXPECT_EQ(created.nameUsed, k == 1 ? path : platform::NumberedName(path, k));
      Log(257, 0, "250");
      ASSERT_TRUE(writer_->Complete());
      expected.insert(created.nameUsed.substr(dir_.path().string().size() + 1));
      const gsmlog::LogReport report = gsmlog::BuildLogReport(created.nameUsed);
      ASSERT_TRUE(report.ok) << platform::Cp1251ToUtf8(report.error);
      EXPECT_EQ(logtest::ReportLines(report.text)[9], "Страна: 250");
      EXPECT_TRUE(gsmlog::DumpLogFile(created.nameUsed).valid);
    }

    const std::string missing = dir_.File("no/" + c.name);
    const std::string shown = platform::FileNameText(missing);
    EXPECT_EQ(shown, platform::FileNameText(dir_.File("no/")) + c.text);
    EXPECT_EQ(writer_->Create(missing).error,
              std::string("Невозможно создать файл протокола \""_cp1251) + shown + "\"");
    EXPECT_EQ(gsmlog::BuildLogReport(missing).error,
              std::string("Невозможно открыть файл протокола \""_cp1251) + shown + "\"");
    EXPECT_EQ(gsmlog::DumpLogFile(missing).error, gsmlog::BuildLogReport(missing).error);
  }
  std::set<std::string> entries;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    entries.insert(entry.path().filename().string());
  }
  EXPECT_EQ(entries, expected) << "each name byte for byte, and no other";

  const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (fd < 0) GTEST_SKIP() << "no /dev/full";
  ASSERT_TRUE(writer_->Attach(fd, "/dev/full/測定.log"));
  Log(257, 0, "250");
  EXPECT_EQ(Failure(), std::string("Невозможно записать протокол /dev/full/??.log"_cp1251));
}

// A device the user names is the log itself, never a new file beside it; a folder is no log.
TEST_F(Writer, DevicesAreWrittenAsTheyAreAndFoldersRefused) {
  const gsmlog::CreateLogResult full = writer_->Create("/dev/full");
  EXPECT_FALSE(full.ok);
  EXPECT_EQ(full.error, std::string("Невозможно записать протокол /dev/full"_cp1251));
  EXPECT_FALSE(std::ifstream("/dev/full-2").good());

  const gsmlog::CreateLogResult null = writer_->Create("/dev/null");
  EXPECT_TRUE(null.ok);
  EXPECT_EQ(null.nameUsed, "/dev/null");
  EXPECT_TRUE(writer_->Complete());

  const std::string folder = dir_.File("");
  const gsmlog::CreateLogResult refused = writer_->Create(folder);
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.error, std::string("Невозможно создать файл протокола \""_cp1251) + folder + "\"");
}

namespace {

// A pipe named as the log whose reader never reads: once its buffer is full a write waits a
// bounded time, then fails as any write does; the run is never held.
TEST_F(Writer, APipeThatIsNeverReadFailsTheWriteInsteadOfHoldingIt) {
  const std::string fifo = dir_.File("never-read");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  (void)::fcntl(reader, F_SETPIPE_SZ, 4096);
  ASSERT_TRUE(writer_->Create(fifo).ok);
  const auto start = std::chrono::steady_clock::now();
  int seals = 0;
  while (writer_->IsOpen() && seals < 1000) {
    for (int cell = 0; cell <= 6; ++cell) Log(387, cell, "-75");
    writer_->Seal();
    ++seals;
  }
  EXPECT_FALSE(writer_->IsOpen());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(Failure(), std::string("Невозможно записать протокол "_cp1251) + fifo);
  ::close(reader);
}

// A log file in memory: the writer needs no disk, and a test chooses when a write fails.
class MemoryLogFile final : public gsmlog::LogFile {
 public:
  explicit MemoryLogFile(std::vector<std::uint8_t>& bytes, int failWith = 0) : bytes_(bytes), failWith_(failWith) {}
  platform::SystemError Append(const std::uint8_t* bytes, std::size_t n) override {
    if (failWith_ != 0) return {platform::ErrorReason::other, failWith_};
    bytes_.insert(bytes_.end(), bytes, bytes + n);
    return {};
  }
  platform::SystemError Sync() override {
    ++syncs;
    return {};
  }
  int syncs = 0;

 private:
  std::vector<std::uint8_t>& bytes_;
  int failWith_;
};

// The writer over a file it is handed writes what it writes to disk, sealed after every cycle;
// two writers never share a thing.
TEST_F(Writer, WritesToTheFileItIsGiven) {
  std::vector<std::uint8_t> memory;
  auto file = std::make_unique<MemoryLogFile>(memory);
  MemoryLogFile& view = *file;
  ASSERT_TRUE(writer_->StartRun(std::move(file), "memory.log"));
  EXPECT_EQ(view.syncs, 1) << "sealed from the start";
  Log(257, 0, "250");
  Log(387, 2, "-80");
  const std::size_t held = memory.size();
  ASSERT_TRUE(writer_->Seal());
  EXPECT_GT(memory.size(), held) << "a cycle's records go out with its seal";
  EXPECT_EQ(view.syncs, 2);

  gsmlog::TLogWriter other;
  EXPECT_FALSE(other.IsOpen());
  EXPECT_EQ(other.Stats().RxLevelCount, 0);
  ASSERT_TRUE(writer_->Complete());
  const gsmlog::LogDump dump = gsmlog::DumpLogData(memory.data(), memory.size());
  EXPECT_TRUE(dump.valid);
  std::vector<Rec> records;
  for (const auto& r : dump.records) {
    if (r.code < 1024 * 8) records.push_back({r.code, r.text});
  }
  EXPECT_EQ(records, (std::vector<Rec>{{257, "250"}, {3459, "-80"}}));
}

// A failure keeps its cause: the errno of the write, of the sync, of the creation.
TEST_F(Writer, FailuresKeepTheirCause) {
  std::vector<std::uint8_t> memory;
  EXPECT_FALSE(writer_->StartRun(std::make_unique<MemoryLogFile>(memory, ENOSPC), "full.log"));
  const auto failure = writer_->TakeWriteFailure();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, std::string("Невозможно записать протокол full.log"_cp1251));
  EXPECT_EQ(failure->cause.code, ENOSPC);

  const gsmlog::CreateLogResult missing = writer_->Create(dir_.File("no/such/folder.log"));
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.cause.reason, platform::ErrorReason::notFound);
  EXPECT_EQ(missing.cause.code, ENOENT);
  const gsmlog::CreateLogResult folder = writer_->Create(dir_.File(""));
  EXPECT_EQ(folder.cause.reason, platform::ErrorReason::wrongType);
  const gsmlog::CreateLogResult full = writer_->Create("/dev/full");
  EXPECT_EQ(full.cause.code, ENOSPC);
}

// The long-standing free functions are the program writer's.
TEST(ProgramWriter, FreeFunctionsStandInFrontOfIt) {
  gsmlog::TLogWriter& program = gsmlog::ProgramLogWriter();
  EXPECT_EQ(&program, &gsmlog::ProgramLogWriter());
  const std::int32_t before = program.Stats().RxLevelCount;
  gsmlog::LogField(387, 0, "-70");
  EXPECT_EQ(program.Stats().RxLevelCount, before + 1);
  EXPECT_FALSE(gsmlog::WriteLogRecord(257, "250")) << "no log open";
  gsmlog::CaptureLocalTime();
  EXPECT_EQ(gsmlog::DateStamp("."), program.DateStamp("."));
}

}  // namespace
