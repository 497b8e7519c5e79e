#include "log/log_viewer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "log/log_dump.h"
#include "plain_log.h"
#include "platform/text_encoding.h"
#include "report_lines.h"
#include "temp_dir.h"

namespace {

using namespace platform::literals;
using logtest::PlainLog;
using logtest::ReportLines;

const std::string kName = "09122026.log";

gsmlog::LogReport Build(const PlainLog& log) {
  const auto bytes = log.Bytes();
  return gsmlog::BuildLogReportFromData(bytes.data(), bytes.size(), kName);
}

std::string Utf8(const std::string& cp1251) { return platform::Cp1251ToUtf8(cp1251); }

TEST(ReportText, PadRightAndTableRowWidths) {
  struct Case {
    const char* text;
    std::size_t width;
    const char* padded;
  };
  const Case cases[] = {{"abc", 5, "abc  "}, {"abcdefg", 6, "abcdef"}, {"", 3, "   "}, {"abcdef", 6, "abcdef"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(gsmlog::PadRight(c.text, c.width), c.padded);
  }
  std::string report;
  gsmlog::AddTableRow(report, "BCCH", "(n/a)", "(n/a)", "(n/a)", "(n/a)", "(n/a)", "(n/a)");
  EXPECT_EQ(report, "BCCH    |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) \r\n");
  report.clear();
  gsmlog::AddReportLine(report, "");
  gsmlog::AddReportField(report, "IMEI", "1");
  EXPECT_EQ(report, "\r\nIMEI: 1\r\n");
}

TEST(Report, EmptyLogHasAllFortyOneLinesNotAvailable) {
  const auto report = Build(PlainLog{}.Seal());
  ASSERT_TRUE(report.ok) << Utf8(report.error);
  const std::vector<std::string> expected = {
      "Дата: (n/a)",
      "Время: (n/a) - (n/a)",
      "",
      "Информация о модеме",
      "-------------------",
      "IMEI: (n/a)",
      "Модель: (n/a)",
      "",
      "IMSI-номер: (n/a)",
      "Страна: (n/a)",
      "Оператор: (n/a)",
      "Сота: (n/a)",
      "BSIC: (n/a)",
      "Локальная зона: (n/a)",
      "",
      "Уровень сигнала",
      "---------------",
      "Максимум: (n/a)",
      "Минимум: (n/a)",
      "Среднее: (n/a)",
      "",
      "Качество сигнала",
      "----------------",
      "Максимум: (n/a)",
      "Минимум: (n/a)",
      "Среднее: (n/a)",
      "",
      "Используемые диапазоны",
      "----------------------",
      "GSM 900: (n/a)",
      "GSM 1800: (n/a)",
      "",
      "Расстояние до БС: (n/a)",
      "",
      "Параметр|Акт.  |1-я   |2-я   |3-я   |4-я   |5-я   ",
      "--------|------|------|------|------|------|------",
      "RxLevel |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) ",
      "BCCH    |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) ",
      "BSIC    |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) ",
      "Cell ID |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) ",
      "Диапазон|(n/a) |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) ",
  };
  EXPECT_EQ(ReportLines(report.text), expected);
}

TEST(Report, FieldsUnitsAndCellsTable) {
  PlainLog log;
  log.Add(12803, "09.12.2026").Add(12804, "22:48:15").Add(12805, "23:10:00");
  log.Add(1, "351234567890123").Add(3, "GSM-SIM 900").Add(129, "250011234567890");
  log.Add(257, "262").Add(257, std::string("Россия"_cp1251)).Add(258, std::string("МТС"_cp1251));
  log.Add(386, "12345").Add(385, "7.3").Add(259, "9998");
  log.Add(12806, "-60").Add(12807, "-90").Add(12808, "-75");
  log.Add(12809, "0,14").Add(12810, "0,14").Add(12811, "0,5");
  log.Add(12812, "75").Add(12813, "25").Add(391, "5,5");
  log.Add(1411, "-75").Add(1412, "50").Add(1409, "7.3").Add(1410, "1234567").Add(1289, "900");
  log.Add(2435 + 1024, "-80").Add(6144 + 387, "-99").Add(6144 + 388, "512");
  log.Add(7168 + 387, "-101").Add(7168 + 388, "999");     // sixth neighbour: read, not shown
  log.Add(1024 + 389, "5").Add(99999, "x").Add(-5, "y");  // codes nobody shows
  log.Seal();
  const auto report = Build(log);
  ASSERT_TRUE(report.ok) << Utf8(report.error);
  const auto lines = ReportLines(report.text);
  ASSERT_EQ(lines.size(), 41u);
  const std::pair<std::size_t, std::string> expected[] = {
      {0, "Дата: 09.12.2026"},
      {1, "Время: 22:48:15 - 23:10:00"},
      {5, "IMEI: 351234567890123"},
      {6, "Модель: GSM-SIM 900"},
      {8, "IMSI-номер: 250011234567890"},
      {9, "Страна: Россия"},
      {10, "Оператор: МТС"},
      {11, "Сота: 12345"},
      {12, "BSIC: 7.3"},
      {13, "Локальная зона: 9998"},
      {17, "Максимум: -60 dBm"},
      {18, "Минимум: -90 dBm"},
      {19, "Среднее: -75 dBm"},
      {23, "Максимум: 0,14%"},
      {25, "Среднее: 0,5%"},
      {29, "GSM 900: 75%"},
      {30, "GSM 1800: 25%"},
      {32, "Расстояние до БС: 5,5 km"},
      {36, "RxLevel |-75   |(n/a) |-80   |(n/a) |(n/a) |-99   "},
      {37, "BCCH    |50    |(n/a) |(n/a) |(n/a) |(n/a) |512   "},
      {38, "BSIC    |7.3   |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) "},
      {39, "Cell ID |123456|(n/a) |(n/a) |(n/a) |(n/a) |(n/a) "},
      {40, "Диапазон|900   |(n/a) |(n/a) |(n/a) |(n/a) |(n/a) "},
  };
  for (const auto& [index, line] : expected) {
    SCOPED_TRACE(index);
    EXPECT_EQ(lines[index], line);
  }
  // Building again gives the same report: nothing carries over.
  EXPECT_EQ(Build(log).text, report.text);
  EXPECT_EQ(Build(PlainLog{}.Seal()).text, Build(PlainLog{}.Seal()).text);
}

TEST(Report, ValidityOfFiles) {
  const std::string text128(128, 'y');
  PlainLog twoSeals = PlainLog{}.Add(257, "1").Seal().Add(258, "2").Seal();
  PlainLog secondSealSkipsFirst = PlainLog{}.Add(257, "1").Seal();
  secondSealSkipsFirst.Add(258, "2");
  {
    // A second checksum that leaves out the first checksum record's bytes.
    PlainLog withoutFirstSeal = PlainLog{}.Add(257, "1").Add(258, "2");
    secondSealSkipsFirst.Add(gsmlog::kChecksumCode, gsmlog::FormatChecksum(withoutFirstSeal.Sum()));
  }
  PlainLog lowerCase = PlainLog{}.Add(257, "250");  // sum 490E2BB3: has letters
  std::string lower = gsmlog::FormatChecksum(lowerCase.Sum());
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  ASSERT_NE(lower, gsmlog::FormatChecksum(lowerCase.Sum()));
  lowerCase.Add(gsmlog::kChecksumCode, lower);
  PlainLog cut = PlainLog{}.Add(258, "01").Seal().Add(257, "250");
  std::vector<std::uint8_t> cutBytes = cut.Bytes();
  cutBytes.pop_back();
  // Checksum records that verify nothing: an empty text, a header without its text, a text cut
  // by the end of the file, and the right eight digits in a record that claims nine.
  const auto unverified = [] { return PlainLog{}.Add(257, "Unverified"); };
  const std::string rightSum = gsmlog::FormatChecksum(unverified().Sum());
  PlainLog sealThenCutSeal = PlainLog{}.Add(257, "4").Seal().Add(258, "5");
  sealThenCutSeal.AddWithLength(gsmlog::kChecksumCode, 8, gsmlog::FormatChecksum(sealThenCutSeal.Sum()).substr(0, 5));

  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    bool ok;
    const char* country;  // line 10 when ok
  };
  const Case cases[] = {
      {"no checksum record", PlainLog{}.Add(257, "250").Bytes(), false, nullptr},
      {"wrong checksum", PlainLog{}.Add(257, "250").Add(gsmlog::kChecksumCode, "00000000").Bytes(), false, nullptr},
      {"lower-case checksum", lowerCase.Bytes(), false, nullptr},
      {"mismatch after a good seal", PlainLog{}.Seal().Add(257, "1").Add(gsmlog::kChecksumCode, "12345678").Bytes(),
       false, nullptr},
      {"two checksum records", twoSeals.Bytes(), true, "1"},
      {"second checksum leaves out the first", secondSealSkipsFirst.Bytes(), false, nullptr},
      {"unverified records after the seal", PlainLog{}.Seal().Add(257, "2").Bytes(), true, "2"},
      {"128-byte text", PlainLog{}.Seal().Add(257, text128).Bytes(), true, text128.c_str()},
      {"129-byte text stops", PlainLog{}.Seal().AddWithLength(257, 129, std::string(129, 'z')).Bytes(), true, "(n/a)"},
      {"0x1F stops", PlainLog{}.Seal().Add(257, "1").Add(257, "2\x1F").Bytes(), true, "1"},
      {"cut inside a record after a seal", cutBytes, true, "25"},
      {"stop before any seal", PlainLog{}.Add(257, "1").Add(258, "").Seal().Bytes(), false, nullptr},
      {"only an empty checksum record", unverified().Add(gsmlog::kChecksumCode, "").Bytes(), false, nullptr},
      {"only a checksum header, text cut", unverified().AddWithLength(gsmlog::kChecksumCode, 8, "").Bytes(), false,
       nullptr},
      {"only a checksum record cut inside its text",
       unverified().AddWithLength(gsmlog::kChecksumCode, 8, rightSum.substr(0, 4)).Bytes(), false, nullptr},
      {"only a checksum record longer than its matching text",
       unverified().AddWithLength(gsmlog::kChecksumCode, 9, rightSum).Bytes(), false, nullptr},
      {"an empty checksum record after a good seal",
       PlainLog{}.Add(257, "3").Seal().Add(gsmlog::kChecksumCode, "").Bytes(), true, "3"},
      {"a checksum header after a good seal",
       PlainLog{}.Add(257, "3").Seal().AddWithLength(gsmlog::kChecksumCode, 8, "").Bytes(), true, "3"},
      {"a checksum record cut after a good seal", sealThenCutSeal.Bytes(), true, "4"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto report = gsmlog::BuildLogReportFromData(c.bytes.data(), c.bytes.size(), kName);
    EXPECT_EQ(report.ok, c.ok);
    if (c.ok) {
      const auto lines = ReportLines(report.text);
      ASSERT_EQ(lines.size(), 41u);
      EXPECT_EQ(lines[9], std::string("Страна: ") + c.country);
    } else {
      EXPECT_EQ(report.error, "Файл протокола 09122026.log поврежден"_cp1251);
      EXPECT_TRUE(report.text.empty());
    }
  }
}

class ReportFile : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir_.File(name);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  logtest::TempDir dir_;
};

TEST_F(ReportFile, MessagesForFilesThatCannotBeRead) {
  const std::string missing = dir_.File("missing.log");
  const std::string empty = Write("empty.log", {});
  const std::string folder = dir_.path().string();
  struct Case {
    std::string name;
    std::string error;
    platform::ErrorReason cause;  // kept beside the message
  };
  const Case cases[] = {
      {missing, std::string("Невозможно открыть файл протокола \""_cp1251) + missing + "\"",
       platform::ErrorReason::notFound},
      {empty, std::string("Невозможно прочитать протокол "_cp1251) + empty, platform::ErrorReason::none},
      {folder, std::string("Невозможно прочитать протокол "_cp1251) + folder, platform::ErrorReason::wrongType},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto report = gsmlog::BuildLogReport(c.name);
    EXPECT_FALSE(report.ok);
    EXPECT_EQ(report.error, c.error);
    EXPECT_EQ(report.cause.reason, c.cause);
    EXPECT_EQ(gsmlog::DumpLogFile(c.name).cause.reason, c.cause);
  }
  const std::string good = Write("good.log", PlainLog{}.Add(258, "02").Seal().Bytes());
  const auto report = gsmlog::BuildLogReport(good);
  ASSERT_TRUE(report.ok);
  EXPECT_EQ(ReportLines(report.text)[10], "Оператор: 02");
}

}  // namespace

namespace {

TEST_F(ReportFile, ChunkedReadingGivesTheSameResultAsWholeData) {
  PlainLog log;
  for (int i = 0; i < 40; ++i) {
    log.Add(257 + i % 3, std::string(static_cast<std::size_t>(1 + i * 3 % 128), static_cast<char>('a' + i % 26)));
    log.Add(1411, "-" + std::to_string(60 + i));
    if (i % 7 == 0) log.Seal();
  }
  const std::vector<std::uint8_t> whole = log.Bytes();
  const std::vector<std::uint8_t> cut(whole.begin(), whole.end() - 3);
  std::vector<std::uint8_t> brokenBytes = whole;
  brokenBytes[brokenBytes.size() / 2] ^= 0x40;
  const std::vector<std::uint8_t>& broken = brokenBytes;
  for (const auto* bytes : {&whole, &cut, &broken}) {
    const std::string path = Write("chunked.log", *bytes);
    const auto expected = gsmlog::BuildLogReportFromData(bytes->data(), bytes->size(), path);
    for (const std::size_t chunk : {1u, 5u, 133u, 134u, 1000u, 1u << 20}) {
      SCOPED_TRACE(chunk);
      const auto report = gsmlog::BuildLogReportChunked(path, chunk);
      EXPECT_EQ(report.ok, expected.ok);
      EXPECT_EQ(report.text, expected.text);
      EXPECT_EQ(report.error, expected.error);
    }
  }
}

// Hostile files: every single-byte change and every cut of a sound file, each in a buffer of
// exactly its size, so that a read past the end shows under the address sanitizer.
TEST(Report, DamagedFilesNeverReadOutsideTheirBytes) {
  PlainLog log;
  log.Add(257, "250").Add(1411, "-75").Seal().Add(7168 + 387, "-90").Add(386, std::string(128, '\xC0')).Seal();
  const auto sound = log.Bytes();
  int reports = 0;
  for (std::size_t size = 0; size <= sound.size(); ++size) {
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    std::copy(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(size), copy.get());
    reports += gsmlog::BuildLogReportFromData(size ? copy.get() : nullptr, size, kName).ok;
  }
  for (std::size_t pos = 0; pos < sound.size(); ++pos) {
    for (const std::uint8_t flip : {std::uint8_t{0x01}, std::uint8_t{0x80}, std::uint8_t{0xFF}}) {
      std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[sound.size()]);
      std::copy(sound.begin(), sound.end(), copy.get());
      copy[pos] ^= flip;
      const auto report = gsmlog::BuildLogReportFromData(copy.get(), sound.size(), kName);
      if (report.ok) {
        EXPECT_EQ(ReportLines(report.text).size(), 41u);
      }
    }
  }
  EXPECT_GT(reports, 0);
}

}  // namespace
