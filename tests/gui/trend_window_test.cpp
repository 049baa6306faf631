// The trend window in a real (off-screen) window: ten minutes of a pressure test drawn by Qt, to
// a PNG in the build folder for a person to look at, and saved by its own button.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "calib/trend_window.h"
#include "tests/support/identified_record.h"
#include "ui/qt/qt_platform.h"

namespace {

// 2026-12-07 14:00:00 in the test's time zone, three hours east of UTC.
constexpr std::int64_t kStart = 1796641200000;
constexpr std::int64_t kMinute = 60000;

// A pressure test as a technician runs it: steady at 100 kPa, a step up to 260 kPa that slowly
// leaks, twenty seconds with no answer, then down to the simulated transmitter's 152.23 kPa.
// The loop current follows the pressure on a 0..1107 kPa range.
calib::PvReading TestReading(std::int64_t at) {
  const double minutes = static_cast<double>(at - kStart) / kMinute;
  calib::PvReading r;
  r.atMs = at;
  if (minutes >= 6.0 && minutes < 6.0 + 20.0 / 60) return r;
  double pv = 100.0;
  if (minutes >= 2.0 && minutes < 2.0 + 10.0 / 60) pv = 100.0 + 160.0 * (minutes - 2.0) * 6;
  if (minutes >= 2.0 + 10.0 / 60) pv = 240.0 + 20.0 * std::exp(-(minutes - 2.2) / 1.5);
  if (minutes >= 7.0) pv = std::max(152.23, pv - 400.0 * (minutes - 7.0));
  pv += 0.6 * std::sin(minutes * 37.0) * std::sin(minutes * 5.3);
  r.ok = true;
  r.pv = static_cast<float>(pv);
  r.unitCode = 12;
  r.current = static_cast<float>(4.0 + pv * 16.0 / 1107.0);
  r.deviceStatus = 0;
  return r;
}

class TrendWindow : public ::testing::Test {
 protected:
  TrendWindow() {
    setenv("TZ", "MSK-3", 1);
    tzset();
    ui::SetPlatform(&platform_);
    db_.Append(IdentifiedRecord());
  }
  ~TrendWindow() override {
    ui::SetPlatform(nullptr);
    unsetenv("TZ");
    tzset();
  }

  ui::qt::QtPlatform platform_;
  TDane db_;
  bool changed_ = false;
  int selection_ = 0;
  TSerialPortSettings settings_;
};

TEST_F(TrendWindow, TenMinutesOfAPressureTestDrawnAndSaved) {
  TWykres trend(nullptr, db_, changed_, selection_, settings_, nullptr);
  trend.SetWallClock(kStart + 10 * kMinute - platform_.NowMs());
  ASSERT_TRUE(trend.CreateModeless());
  for (std::int64_t at = kStart + 400; at < kStart + 10 * kMinute; at += 400) {
    trend.TakeReading(TestReading(at));
  }
  const std::size_t seeded = trend.Series().Size();
  // The simulated transmitter goes on from there, in real time.
  ASSERT_TRUE(platform_.RunUntil([&] { return trend.Series().Size() >= seeded + 2; }, 3000));
  platform_.RunFor(50);
  EXPECT_TRUE(platform_.GrabToPng(trend, "trend_window.png"));

  const auto expectFits = [&] {
    for (const ui::qt::TextFit& fit : platform_.TextFits(trend)) {
      // Id 0 is the caption, which has no control.
      if (fit.id != 0 && !trend.Item(fit.id)->Visible()) continue;
      EXPECT_TRUE(fit.Fits()) << "control " << fit.id << " \"" << fit.text << "\" needs "
                              << fit.neededWidth << "x" << fit.neededHeight << ", has "
                              << fit.width << "x" << fit.height;
    }
  };
  expectFits();
  // Both curves are there, each in its colour.
  const std::optional<ui::qt::Image> image = platform_.Grab(trend);
  ASSERT_TRUE(image);
  int pv = 0;
  int current = 0;
  for (const ui::Color& c : image->pixels) {
    pv += c == TWykres::kPvColor;
    current += c == TWykres::kCurrentColor;
  }
  EXPECT_GT(pv, 1000);
  EXPECT_GT(current, 1000);

  // "Сохранить PNG…" saves the same picture through the platform.
  const std::string path = ::testing::TempDir() + "k7_trend_saved.png";
  std::remove(path.c_str());
  platform_.answerFileDialog = [&](const ui::qt::FileDialogShown&) {
    return std::optional<std::string>(path);
  };
  ASSERT_TRUE(platform_.SimulateClick(trend, TWykres::kSavePngId));
  std::ifstream saved(path, std::ios::binary);
  char signature[8] = {};
  saved.read(signature, sizeof signature);
  EXPECT_EQ(std::string(signature + 1, 3), "PNG");
  EXPECT_TRUE(platform_.MessageBoxes().empty());

  // Enter in the period field applies the period and leaves the buttons alone.
  ASSERT_TRUE(platform_.SimulateTyping(trend, TWykres::kPeriodId, "2"));  // 0.42
  EXPECT_EQ(trend.PeriodMs(), 400);
  ASSERT_TRUE(platform_.SimulateKey(trend, ui::qt::Key::Enter, TWykres::kPeriodId));
  EXPECT_EQ(trend.PeriodMs(), 420);
  EXPECT_FALSE(trend.Paused());

  // Paused, the button says "Продолжить", and that fits too.
  ASSERT_TRUE(platform_.SimulateClick(trend, TWykres::kPauseId));
  EXPECT_TRUE(trend.Paused());
  expectFits();
  trend.EndDialog(ui::kIdCancel);
}

}  // namespace
