#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <vector>

#include "calib/trend_series.h"
#include "calib/trend_window.h"

namespace {

using calib::AxisScale;
using calib::TrendSample;

std::vector<std::string> Labels(const AxisScale& s) {
  std::vector<std::string> out;
  for (int i = 0; i <= s.Intervals(); ++i) out.push_back(calib::TickText(s.Tick(i), s.decimals));
  return out;
}

calib::PvReading Reading(std::int64_t at, float pv, std::uint8_t unit, float current) {
  calib::PvReading r;
  r.atMs = at;
  r.ok = true;
  r.pv = pv;
  r.unitCode = unit;
  r.current = current;
  r.deviceStatus = 0x40;
  return r;
}

calib::PvReading Failure(std::int64_t at) {
  calib::PvReading r;
  r.atMs = at;
  return r;
}

TEST(AxisScale, OneTwoFiveStepsCoverTheDataTightly) {
  struct Case {
    double min, max;
    int maxIntervals;
    std::vector<std::string> labels;
  };
  const std::vector<Case> cases{
      {1.0, 2.0, 7, {"1.0", "1.2", "1.4", "1.6", "1.8", "2.0"}},
      {3.7, 18.2, 6, {"0", "5", "10", "15", "20"}},
      {-0.3, 0.74, 5, {"-0.5", "0.0", "0.5", "1.0"}},
      {101.2, 101.9, 6, {"101.2", "101.4", "101.6", "101.8", "102.0"}},
      {0.3, 0.7, 4, {"0.3", "0.4", "0.5", "0.6", "0.7"}},  // 0.3 / 0.1 is 2.99... in binary
      {0.0012, 0.0047, 4, {"0.001", "0.002", "0.003", "0.004", "0.005"}},
      {-2500.0, 12500.0, 4, {"-5000", "0", "5000", "10000", "15000"}},
      // A flat reading gets a hundredth of its value either side; zero gets 1.
      {152.23, 152.23, 6, {"150", "151", "152", "153", "154"}},
      {0.0, 0.0, 4, {"-1.0", "-0.5", "0.0", "0.5", "1.0"}},
  };
  for (const Case& c : cases) {
    const AxisScale s = calib::NiceScale(c.min, c.max, c.maxIntervals);
    EXPECT_EQ(Labels(s), c.labels) << c.min << ".." << c.max;
    EXPECT_LE(s.Intervals(), c.maxIntervals) << c.min;
    EXPECT_LE(s.low, c.min + s.step * 1e-6);
    EXPECT_GE(s.high, c.max - s.step * 1e-6);
  }

  // The second axis: exactly as many steps as the first, the data in the middle.
  EXPECT_EQ(Labels(calib::NiceScaleIntervals(6.2, 6.2, 4)),
            (std::vector<std::string>{"6.10", "6.15", "6.20", "6.25", "6.30"}));
  EXPECT_EQ(Labels(calib::NiceScaleIntervals(4.0, 20.0, 5)),
            (std::vector<std::string>{"0", "5", "10", "15", "20", "25"}));
  EXPECT_EQ(Labels(calib::NiceScaleIntervals(11.9, 12.1, 4)),
            (std::vector<std::string>{"11.90", "11.95", "12.00", "12.05", "12.10"}));
  EXPECT_EQ(Labels(calib::NiceScaleIntervals(12.0, 13.0, 6)),
            (std::vector<std::string>{"12.0", "12.2", "12.4", "12.6", "12.8", "13.0", "13.2"}));

  // Time: seconds and minutes in 1, 2, 5, 10, 15, 30; then hours.
  EXPECT_EQ(calib::NiceTimeStepMs(600000, 10), 60000);
  EXPECT_EQ(calib::NiceTimeStepMs(600000, 5), 120000);
  EXPECT_EQ(calib::NiceTimeStepMs(600000, 40), 15000);
  EXPECT_EQ(calib::NiceTimeStepMs(600000, 100), 10000);
  EXPECT_EQ(calib::NiceTimeStepMs(600000, 3), 300000);
  EXPECT_EQ(calib::NiceTimeStepMs(3 * 86400000LL, 2), 86400000);

  // Decimal points whatever the locale.
  if (std::setlocale(LC_ALL, "ru_RU.utf8") != nullptr) {
    EXPECT_EQ(calib::TickText(6.15, 2), "6.15");
    EXPECT_EQ(calib::ValueText(152.23f), "152.23");
    EXPECT_EQ(calib::ParseSeconds("1.5"), 1.5);
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(calib::TickText(-1e-12, 1), "0.0");
  EXPECT_EQ(calib::ValueText(152.23f), "152.23");
  EXPECT_EQ(calib::ValueText(1234567.0), "1.23457e+06");
}

TEST(PeriodText, SecondsFromPointOrCommaWithinTheLimits) {
  EXPECT_EQ(TWykres::PeriodOfText("0.4"), 400);
  EXPECT_EQ(TWykres::PeriodOfText(" 0,45 "), 450);
  EXPECT_EQ(TWykres::PeriodOfText("2"), 2000);
  EXPECT_EQ(TWykres::PeriodOfText("60"), 60000);
  EXPECT_EQ(TWykres::PeriodOfText("60.0004"), 60000);
  for (const char* bad : {"", " ", "0.3", "60.1", "-1", "1e1", "1.2.3", "0x10", "1 с", "inf", ","}) {
    EXPECT_EQ(TWykres::PeriodOfText(bad), std::nullopt) << bad;
  }
}

TEST(TrendSeries, RingKeepsTheNewestAndCountsEverything) {
  calib::TrendSeries series(4);
  series.Add(Reading(100, 1.0f, 12, 4.0f));
  series.AddBreak(150);
  series.AddBreak(160);  // nothing new
  series.Add(Failure(200));
  series.Add(Reading(300, 3.0f, 12, 6.0f));
  ASSERT_EQ(series.Size(), 4u);
  EXPECT_EQ(series.At(1).kind, TrendSample::kBreak);
  EXPECT_EQ(series.At(2).kind, TrendSample::kFailure);
  EXPECT_TRUE(std::isnan(series.At(2).pv));
  EXPECT_FALSE(series.At(2).hasStatus);

  series.Add(Reading(400, 4.0f, 237, 8.0f));
  series.Add(Failure(500));
  ASSERT_EQ(series.Size(), 4u);
  const std::vector<std::int64_t> times{200, 300, 400, 500};
  for (std::size_t i = 0; i < times.size(); ++i) EXPECT_EQ(series.At(i).timeMs, times[i]);
  EXPECT_EQ(series.FirstAtOrAfter(0), 0u);
  EXPECT_EQ(series.FirstAtOrAfter(301), 2u);
  EXPECT_EQ(series.FirstAtOrAfter(501), 4u);
  EXPECT_EQ(series.Readings(), 5);
  EXPECT_EQ(series.Failures(), 2);
  ASSERT_TRUE(series.LastReading());
  const calib::PvReading last = series.LastReading()->ToReading();
  EXPECT_EQ(last.atMs, 400);
  EXPECT_EQ(last.pv, 4.0f);
  EXPECT_EQ(last.unitCode, 237);
  EXPECT_EQ(last.current, 8.0f);
  EXPECT_EQ(last.deviceStatus, 0x40);
  EXPECT_EQ(series.StorageBytes(), 4 * sizeof(TrendSample));

  series.Clear();
  EXPECT_EQ(series.Size(), 0u);
  EXPECT_EQ(series.Readings(), 0);
  EXPECT_FALSE(series.LastReading());
  EXPECT_EQ(series.StorageBytes(), 0u);
}

TEST(TrendSeries, StatisticsOfASpanInThePlottedUnit) {
  calib::TrendSeries series;
  series.Add(Reading(1000, 150.0f, 12, 6.0f));   // kPa
  series.Add(Failure(1400));
  series.Add(Reading(1800, 0.25f, 237, 12.0f));  // MPa: 250 kPa
  series.Add(Reading(2200, 200.0f, 12, 9.0f));
  series.Add(Reading(2600, 999.0f, 12, 20.0f));  // beyond the span

  const calib::SpanStats pv = calib::StatsOver(series, calib::Channel::Pv, 12, 1000, 2200);
  EXPECT_EQ(pv.readings, 3);
  EXPECT_EQ(pv.failures, 1);
  EXPECT_DOUBLE_EQ(pv.min, 150.0);
  EXPECT_NEAR(pv.max, 250.0, 1e-3);
  EXPECT_NEAR(pv.Mean(), 200.0, 1e-3);
  const calib::SpanStats ma = calib::StatsOver(series, calib::Channel::Current, 12, 1001, 3000);
  EXPECT_EQ(ma.readings, 3);
  EXPECT_DOUBLE_EQ(ma.min, 9.0);
  EXPECT_DOUBLE_EQ(ma.max, 20.0);
  EXPECT_DOUBLE_EQ(ma.Mean(), 41.0 / 3);

  EXPECT_FLOAT_EQ(calib::ConvertPressure(1.0f, 7, 12), 100.0f);  // bar to kPa
  EXPECT_EQ(calib::ConvertPressure(1.0f, 7, 99), 1.0f);         // unknown: as it came
  EXPECT_EQ(calib::StatsOver(series, calib::Channel::Pv, 12, 3000, 4000).readings, 0);
}

}  // namespace
