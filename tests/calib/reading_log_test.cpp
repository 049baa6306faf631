#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "calib/reading_log.h"

namespace {

// 2026-12-07 14:05:30.400 UTC; the tests' time zone is three hours east of it.
constexpr std::int64_t kEpochMs = 1796652330400;

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

calib::PvReading Reading(float pv, std::uint8_t unit, float current, std::uint8_t status,
                         std::int64_t at = kEpochMs) {
  calib::PvReading r;
  r.atMs = at;
  r.ok = true;
  r.pv = pv;
  r.unitCode = unit;
  r.current = current;
  r.deviceStatus = status;
  return r;
}

struct ReadingLogTest : ::testing::Test {
  void SetUp() override {
    setenv("TZ", "MSK-3", 1);
    tzset();
  }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
    std::setlocale(LC_ALL, "C");
  }
};

TEST_F(ReadingLogTest, LinesInLocalTimeWithPointsAndEmptyValuesForFailures) {
  calib::PvReading noAnswer;
  noAnswer.atMs = kEpochMs;
  calib::PvReading statusError = noAnswer;
  statusError.deviceStatus = 0x10;
  const std::vector<std::pair<calib::PvReading, std::string>> cases{
      {Reading(152.23f, 12, 6.2f, 0x00), "2026-12-07T17:05:30.400,152.23,[кПа],6.2,0x00\n"},
      {Reading(-0.125f, 237, 20.5f, 0x4F), "2026-12-07T17:05:30.400,-0.125,[МПа],20.5,0x4F\n"},
      {Reading(1e-7f, 1, 4.0f, 0xC0),
       "2026-12-07T17:05:30.400,1e-07,[дюйм вод ст в 68°F],4,0xC0\n"},
      {Reading(3.5f, 200, 12.25f, 0x00), "2026-12-07T17:05:30.400,3.5,[Отсутствие],12.25,0x00\n"},
      {noAnswer, "2026-12-07T17:05:30.400,,,,\n"},
      {statusError, "2026-12-07T17:05:30.400,,,,0x10\n"},
  };
  for (const char* locale : {"C", "ru_RU.utf8"}) {
    if (std::setlocale(LC_ALL, locale) == nullptr) continue;
    for (const auto& [reading, line] : cases) {
      EXPECT_EQ(calib::ReadingLog::Line(reading), line) << locale;
    }
  }
  EXPECT_EQ(calib::IsoLocalTime(kEpochMs - 30400 + 86400000LL * 25 + 5), "2027-01-01T17:05:00.005");
  EXPECT_EQ(calib::ClockText(kEpochMs, false), "17:05");
  EXPECT_EQ(calib::ClockText(kEpochMs, true), "17:05:30");
  EXPECT_EQ(calib::DateText(kEpochMs), "07.12.2026");
}

TEST_F(ReadingLogTest, FileHoldsEachLineAsSoonAsItIsWritten) {
  const std::string path = ::testing::TempDir() + "k7_reading_log.csv";
  std::string error;
  auto log = calib::ReadingLog::Create(path, error);
  ASSERT_NE(log, nullptr) << error;
  const std::string header = "Время,Давление,Единица,Ток [мА],Статус\n";
  EXPECT_EQ(FileText(path), header);
  ASSERT_TRUE(log->Write(Reading(101.5f, 12, 8.0f, 0), error));
  // Read back while the log is still open: nothing waits in a buffer.
  EXPECT_EQ(FileText(path), header + "2026-12-07T17:05:30.400,101.5,[кПа],8,0x00\n");
  calib::PvReading failed;
  failed.atMs = kEpochMs + 400;
  ASSERT_TRUE(log->Write(failed, error));
  EXPECT_EQ(FileText(path), header + "2026-12-07T17:05:30.400,101.5,[кПа],8,0x00\n" +
                                "2026-12-07T17:05:30.800,,,,\n");
  log.reset();
  std::remove(path.c_str());
}

TEST_F(ReadingLogTest, BadPathsAndFullDisksAreToldInRussian) {
  const std::string dir = ::testing::TempDir();
  const std::vector<std::pair<std::string, std::string>> cases{
      {"", "Не указано имя файла CSV."},
      {dir + "k7-no-such-dir/x.csv", "Не удалось создать файл CSV: " + dir + "k7-no-such-dir/x.csv\nНет такого каталога."},
      {dir, "Не удалось создать файл CSV: " + dir + "\nЭто каталог, а не файл."},
      {"/dev/full", "Не удалось записать в файл CSV: /dev/full\nНет места на диске."},
  };
  for (const auto& [path, message] : cases) {
    std::string error;
    EXPECT_EQ(calib::ReadingLog::Create(path, error), nullptr) << path;
    EXPECT_EQ(error, message);
  }
}

TEST_F(ReadingLogTest, SummaryCountsFailuresAndSumsUpInTheFirstUnit) {
  calib::ReadingSummary summary;
  EXPECT_EQ(summary.Line(), "Показаний: 0, сбоев: 0\n");
  summary.Add(Reading(150.0f, 12, 6.0f, 0));
  summary.Add(calib::PvReading{});
  summary.Add(Reading(0.25f, 237, 12.0f, 0));  // 250 kPa
  summary.Add(Reading(200.0f, 12, 9.0f, 0));
  EXPECT_EQ(summary.Readings(), 3);
  EXPECT_EQ(summary.Failures(), 1);
  EXPECT_EQ(summary.Line(),
            "Показаний: 4, сбоев: 1; давление [кПа]: мин 150, макс 250, среднее 200; "
            "ток [мА]: мин 6, макс 12, среднее 9\n");
}

}  // namespace
