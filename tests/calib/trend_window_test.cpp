#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "calib/trend_window.h"
#include "tests/support/fake_link.h"
#include "tests/support/fixture_records.h"
#include "ui/headless/headless_platform.h"

namespace {

using calib::TrendSample;
using Bytes = std::vector<std::uint8_t>;

// Platform time 0 is 2026-12-07 14:00:00 in the tests' time zone (three hours east of UTC).
constexpr std::int64_t kEpochAtZero = 1796641200000;
constexpr std::uint8_t kBar = 7;  // the fixture record's unit
constexpr std::uint8_t kKpa = 12;

Bytes Command3(float current, std::uint8_t unit, float pv) {
  return ReplyData({WireFloat(current), {unit}, WireFloat(pv)});
}

std::vector<std::vector<ui::Point>> Lines(const std::vector<ui::DrawOp>& ops, ui::Color color) {
  std::vector<std::vector<ui::Point>> lines;
  for (const ui::DrawOp& op : ops) {
    if (op.kind == ui::DrawOp::Kind::Line && op.color == color) lines.push_back(op.points);
  }
  return lines;
}

std::vector<ui::Rect> Fills(const std::vector<ui::DrawOp>& ops, ui::Color color) {
  std::vector<ui::Rect> fills;
  for (const ui::DrawOp& op : ops) {
    if (op.kind == ui::DrawOp::Kind::Fill && op.color == color) fills.push_back(op.rect);
  }
  return fills;
}

std::vector<std::string> Texts(const std::vector<ui::DrawOp>& ops, ui::Color color,
                               int fontHeight = 0) {
  std::vector<std::string> texts;
  for (const ui::DrawOp& op : ops) {
    if (op.kind == ui::DrawOp::Kind::Text && op.color == color &&
        (fontHeight == 0 || op.font.height == fontHeight)) {
      texts.push_back(op.text);
    }
  }
  return texts;
}

bool Drew(const std::vector<ui::DrawOp>& ops, const std::string& text) {
  for (const ui::DrawOp& op : ops) {
    if (op.kind == ui::DrawOp::Kind::Text && op.text.find(text) != std::string::npos) return true;
  }
  return false;
}

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Trend : ::testing::Test {
  ui::ScopedHeadlessPlatform platform;
  FakeLink link;
  TDane db;
  bool changed = false;
  int memory = 0;
  std::unique_ptr<TWykres> window;

  void SetUp() override {
    setenv("TZ", "MSK-3", 1);
    tzset();
    db.Append(UnlikeDefaultsRecord());
    db.Append(BystanderRecord());
    link.Answer(3, Command3(12.0f, kBar, 1.5f));
  }
  void TearDown() override {
    window.reset();
    unsetenv("TZ");
    tzset();
  }

  TWykres& Open(int periodMs = TWykres::kDefaultPeriodMs, hart::Link* through = nullptr,
                bool useLink = true) {
    TSerialPortSettings settings;
    settings.link = useLink ? (through ? through : &link) : nullptr;
    window = std::make_unique<TWykres>(nullptr, db, changed, memory, settings, nullptr);
    window->SetWallClock(kEpochAtZero);
    window->SetPeriodMs(periodMs);
    EXPECT_TRUE(window->CreateModeless());
    return *window;
  }
  void Click(int id) { ASSERT_TRUE(window->Item(id)->UserClick()) << id; }
  const std::vector<ui::DrawOp>& Painted() {
    platform->ClearDrawing(*window);
    platform->Paint(*window);
    return platform->Drawing(*window);
  }
  std::vector<std::int64_t> Times() {
    std::vector<std::int64_t> times;
    for (std::size_t i = 0; i < window->Series().Size(); ++i) {
      times.push_back(static_cast<std::int64_t>(window->Series().At(i).timeMs) - kEpochAtZero);
    }
    return times;
  }
};

TEST_F(Trend, ReadsCommandThreeOfTheFirstRecordEveryPeriod) {
  TWykres& trend = Open();
  ASSERT_EQ(link.Requests().size(), 1u);
  EXPECT_EQ(link.Requests()[0], (Bytes{0x82, 0x26, 0x03, 0x0A, 0x1B, 0x2C, 0x03, 0x00, 0x99}));
  EXPECT_EQ(trend.preambleCount, 9);
  EXPECT_EQ(trend.Item(TWykres::kPeriodId)->Text(), "0.4");

  platform->Advance(2000);
  EXPECT_EQ(Times(), (std::vector<std::int64_t>{400, 800, 1200, 1600, 2000}));
  EXPECT_EQ(link.Requests().size(), 6u);

  // A new period counts from the last request, taken with Enter; a text that is no period
  // changes nothing and is said.
  ASSERT_TRUE(trend.Item(TWykres::kPeriodId)->UserType("1,5"));
  EXPECT_EQ(trend.PeriodMs(), 400);
  ASSERT_TRUE(trend.Item(TWykres::kPeriodId)->UserEnter());
  EXPECT_EQ(trend.PeriodMs(), 1500);
  ASSERT_TRUE(trend.Item(TWykres::kPeriodId)->UserType("0.1"));
  EXPECT_TRUE(Drew(Painted(), "Период — число от 0.4 до 60 с"));
  ASSERT_TRUE(trend.Item(TWykres::kPeriodId)->UserEnter());
  EXPECT_EQ(trend.PeriodMs(), 1500);
  EXPECT_FALSE(trend.Paused());
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text, "Период — число от 0.4 до 60 с. Период не изменён.");
  platform->ClearMessageBoxes();
  platform->Advance(4000);
  EXPECT_EQ(Times(), (std::vector<std::int64_t>{400, 800, 1200, 1600, 2000, 2400, 3900, 5400}));

  const TrendSample last = *trend.Series().LastReading();
  EXPECT_EQ(last.pv, 1.5f);
  EXPECT_EQ(last.current, 12.0f);
  EXPECT_EQ(last.unitCode, kBar);
  // Reading changes nothing in the record; failures and readings show no boxes.
  EXPECT_FALSE(changed);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(Trend, DrawsPointsGapsAndTicksOnTheVirtualClock) {
  TWykres& trend = Open(10000);
  const struct {
    float pv;
    float current;
    std::uint8_t code;
  } replies[] = {{1.0f, 12.0f, 0}, {1.5f, 14.0f, 0}, {2.0f, 16.0f, 0},
                 {0.0f, 0.0f, 0x10}, {1.0f, 12.0f, 0}, {2.0f, 16.0f, 0}};
  for (const auto& r : replies) {
    link.Answer(3, r.code ? Bytes{} : Command3(r.current, kBar, r.pv), r.code);
    platform->Advance(10000);
  }
  ASSERT_EQ(Times(), (std::vector<std::int64_t>{400, 10400, 20400, 30400, 40400, 50400}));
  EXPECT_EQ(trend.Series().Failures(), 1);

  const auto& ops = Painted();
  const std::vector<ui::Rect> plots = Fills(ops, TWykres::kPlotBackground);
  ASSERT_EQ(plots.size(), 1u);
  const ui::Rect p = plots[0];
  const int bottom = p.y + p.height;
  // Ten minutes from the first reading, on the platform's clock.
  const auto x = [&p](std::int64_t t) {
    return p.x + static_cast<int>(std::lround((t - 400) * p.width / 600000.0));
  };
  const auto y = [&](double v, double low, double high) {
    return bottom - static_cast<int>(std::lround((v - low) / (high - low) * p.height));
  };

  // Each run of readings is one line; the failed reading is a gap, shaded, and not a zero.
  using Line = std::vector<ui::Point>;
  EXPECT_EQ(Lines(ops, TWykres::kPvColor),
            (std::vector<Line>{{{x(400), y(1.0, 1, 2)}, {x(10400), y(1.5, 1, 2)}, {x(20400), y(2.0, 1, 2)}},
                               {{x(40400), y(1.0, 1, 2)}, {x(50400), y(2.0, 1, 2)}}}));
  EXPECT_EQ(Lines(ops, TWykres::kCurrentColor),
            (std::vector<Line>{{{x(400), y(12, 12, 17)}, {x(10400), y(14, 12, 17)}, {x(20400), y(16, 12, 17)}},
                               {{x(40400), y(12, 12, 17)}, {x(50400), y(16, 12, 17)}}}));
  EXPECT_EQ(Fills(ops, TWykres::kGapColor),
            (std::vector<ui::Rect>{{x(20400), p.y, x(30400) - x(20400), p.height}}));

  // Ticks: 1-2-5 steps on both axes with as many steps each, round minutes below.
  EXPECT_EQ(Texts(ops, TWykres::kPvColor, 13),
            (std::vector<std::string>{"1.0", "1.2", "1.4", "1.6", "1.8", "2.0", "[Bar]"}));
  EXPECT_EQ(Texts(ops, TWykres::kCurrentColor, 13),
            (std::vector<std::string>{"12", "13", "14", "15", "16", "17", "[мА]"}));
  const std::vector<std::string> time = Texts(ops, TWykres::kTextColor, 13);
  ASSERT_EQ(time.size(), 11u);  // the session line, then the minutes
  EXPECT_EQ(time[0], "Показаний: 6   сбоев связи: 1   период 10 с");
  EXPECT_EQ(std::vector<std::string>(time.begin() + 1, time.end()),
            (std::vector<std::string>{"14:01", "14:02", "14:03", "14:04", "14:05", "14:06",
                                      "14:07", "14:08", "14:09", "14:10"}));

  // The last value, and the range and mean of what is in view, in Russian.
  EXPECT_EQ(Texts(ops, TWykres::kPvColor, 15),
            (std::vector<std::string>{"Давление [Bar]", "2.000", "1.000", "2.000", "1.500"}));
  EXPECT_EQ(Texts(ops, TWykres::kCurrentColor, 15),
            (std::vector<std::string>{"Ток [мА]", "16.00", "12.00", "16.00", "14.00"}));
  EXPECT_TRUE(Drew(ops, "на экране 07.12.2026 14:00:00 – 14:10:00"));
}

TEST_F(Trend, ScrollsBackOverTheSessionPausesAndClears) {
  TWykres& trend = Open();
  platform->Advance(20 * 60 * 1000);
  ASSERT_EQ(trend.Series().Size(), 3000u);
  EXPECT_TRUE(trend.Following());
  EXPECT_EQ(trend.ViewEndMs() - kEpochAtZero, 1200000);
  EXPECT_TRUE(trend.Item(TWykres::kBackId)->Enabled());
  EXPECT_FALSE(trend.Item(TWykres::kForwardId)->Enabled());
  EXPECT_FALSE(trend.Item(TWykres::kNowId)->Enabled());

  Click(TWykres::kBackId);
  EXPECT_EQ(trend.ViewEndMs() - kEpochAtZero, 900000);
  EXPECT_FALSE(trend.Following());
  Click(TWykres::kBackId);  // no further than the first reading
  EXPECT_EQ(trend.ViewStartMs() - kEpochAtZero, 400);
  EXPECT_FALSE(trend.Item(TWykres::kBackId)->Enabled());
  platform->Advance(4000);
  EXPECT_EQ(trend.ViewEndMs() - kEpochAtZero, 600400);  // the view stays put while readings come
  EXPECT_TRUE(Drew(Painted(), "на экране 07.12.2026 14:00:00 – 14:10:00"));
  Click(TWykres::kForwardId);
  EXPECT_EQ(trend.ViewEndMs() - kEpochAtZero, 900400);
  Click(TWykres::kNowId);
  EXPECT_TRUE(trend.Following());
  EXPECT_EQ(trend.ViewEndMs() - kEpochAtZero, 1204000);

  // Paused: no requests, the picture holds still; continued: a break, and reading again.
  Click(TWykres::kPauseId);
  EXPECT_EQ(trend.Item(TWykres::kPauseId)->Text(), "Продолжить");
  platform->Advance(400);  // the reading under way still comes
  const std::size_t requests = link.Requests().size();
  const std::size_t samples = trend.Series().Size();
  platform->Advance(20000);
  EXPECT_EQ(link.Requests().size(), requests);
  EXPECT_EQ(trend.Series().Size(), samples);
  EXPECT_EQ(trend.ViewEndMs() - kEpochAtZero, 1204000);
  EXPECT_TRUE(Drew(Painted(), "ПАУЗА"));
  Click(TWykres::kPauseId);
  EXPECT_EQ(trend.Item(TWykres::kPauseId)->Text(), "Пауза");
  platform->Advance(400);
  EXPECT_EQ(link.Requests().size(), requests + 2);  // the second goes out as the first is read
  ASSERT_EQ(trend.Series().Size(), samples + 2);
  EXPECT_EQ(trend.Series().At(samples).kind, TrendSample::kBreak);
  EXPECT_EQ(trend.Series().At(samples + 1).kind, TrendSample::kReading);

  // Asked first: Нет keeps the readings.
  platform->QueueAnswer(ui::kIdNo);
  Click(TWykres::kClearId);
  EXPECT_EQ(trend.Series().Size(), samples + 2);
  platform->QueueAnswer(ui::kIdYes);
  Click(TWykres::kClearId);
  EXPECT_EQ(trend.Series().Size(), 0u);
  EXPECT_EQ(trend.Series().Readings(), 0);
  EXPECT_TRUE(Drew(Painted(), "Ожидание показаний…"));
  platform->Advance(800);
  EXPECT_EQ(trend.Series().Size(), 2u);
  EXPECT_EQ(static_cast<std::uint64_t>(trend.ViewStartMs()), trend.Series().At(0).timeMs);
}

TEST_F(Trend, StaysOffTheLineWhileAnOperationDialogRuns) {
  TWykres& trend = Open();
  platform->Advance(800);
  ui::DialogTemplate tpl;
  tpl.resourceId = 999;
  ui::Dialog operation(nullptr, tpl);
  std::size_t during = 0;
  platform->OnModal(999, [&](ui::Dialog& d) {
    const std::size_t before = link.Requests().size();
    platform->Advance(3000);
    during = link.Requests().size() - before;
    d.EndDialog(ui::kIdOk);
  });
  operation.Execute();
  EXPECT_EQ(during, 0u);
  const std::size_t samples = trend.Series().Size();
  platform->Advance(800);
  ASSERT_GT(trend.Series().Size(), samples);
  EXPECT_EQ(trend.Series().At(samples).kind, TrendSample::kBreak);
}

TEST_F(Trend, FailuresOfEveryKindAreCountedGapsWithoutMessages) {
  TWykres& trend = Open();
  platform->Advance(400);
  link.Answer(3, {}, 0x10);                  // status error
  platform->Advance(400);
  link.Answer(3, {}, FakeLink::kBusy);       // line busy
  platform->Advance(400);
  link.Answer(3, WireFloat(4.0f));           // too short for its data
  platform->Advance(400);
  link.Answer(3, Command3(16.0f, kBar, 2.0f));
  link.Forget(trend);                        // the request gave way to another dialog's
  platform->Advance(TWykres::kWatchdogMs);
  platform->Advance(400);

  std::vector<int> kinds;
  for (std::size_t i = 0; i < trend.Series().Size(); ++i) kinds.push_back(trend.Series().At(i).kind);
  EXPECT_EQ(kinds, (std::vector<int>{0, 1, 1, 1, 1, 0}));
  EXPECT_EQ(trend.Series().At(1).hasStatus, 1u);  // the status error came with a reply
  EXPECT_EQ(trend.Series().At(4).timeMs, kEpochAtZero + 1600 + TWykres::kWatchdogMs);
  EXPECT_EQ(trend.Series().Failures(), 4);
  EXPECT_TRUE(platform->MessageBoxes().empty());
  const auto& ops = Painted();
  EXPECT_EQ(Fills(ops, TWykres::kGapColor).size(), 1u);
  for (const std::string& label : Texts(ops, TWykres::kPvColor, 13)) EXPECT_NE(label, "0.0");
}

TEST_F(Trend, WritesCsvAsItGoesAndSavesItsPicture) {
  TWykres& trend = Open();
  platform->Advance(1200);
  const std::string path = ::testing::TempDir() + "k7_trend.csv";
  platform->QueueFileAnswer(path);
  Click(TWykres::kSaveCsvId);
  const ui::FileDialogData& asked = platform->FileDialogs().back();
  EXPECT_EQ(asked.fileName, "тренд 662316 2026-12-07 14-00.csv");
  EXPECT_EQ(asked.defaultExt, "csv");
  const std::string header = "Время,Давление,Единица,Ток [мА],Статус\n";
  const std::string held = "2026-12-07T14:00:00.400,1.5,[Bar],12,0x00\n"
                           "2026-12-07T14:00:00.800,1.5,[Bar],12,0x00\n"
                           "2026-12-07T14:00:01.200,1.5,[Bar],12,0x00\n";
  EXPECT_EQ(FileText(path), header + held);
  link.Answer(3, {}, FakeLink::kBusy);
  platform->Advance(400);
  EXPECT_EQ(FileText(path), header + held + "2026-12-07T14:00:01.600,,,,\n");
  EXPECT_TRUE(Drew(Painted(), "запись в файл: k7_trend.csv"));

  // A file that cannot be made is said, and the log under way goes on.
  platform->QueueFileAnswer(::testing::TempDir() + "k7-no-such-dir/x.csv");
  Click(TWykres::kSaveCsvId);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text, "Не удалось создать файл CSV: " +
                                                  ::testing::TempDir() +
                                                  "k7-no-such-dir/x.csv\nНет такого каталога.");
  EXPECT_EQ(platform->MessageBoxes()[0].flags, ui::kMbOk | ui::kMbIconStop);
  EXPECT_EQ(trend.Log()->Name(), path);

  // A log that can no longer be written stops, saying so; the readings go on.
  char room[250];  // the header and the four readings held, not one more
  std::FILE* small = fmemopen(room, sizeof room, "w");
  std::string error;
  ASSERT_TRUE(trend.StartLog(calib::ReadingLog::OnStream(small, "память", error), error));
  link.Answer(3, Command3(12.0f, kBar, 1.5f));
  platform->Advance(1200);
  EXPECT_EQ(trend.Log(), nullptr);
  ASSERT_EQ(platform->MessageBoxes().size(), 2u);
  EXPECT_EQ(platform->MessageBoxes()[1].text,
            "Не удалось записать в файл CSV: память\nНе все данные записаны.\nЗапись в файл остановлена.");
  EXPECT_EQ(trend.Series().LastReading()->timeMs, kEpochAtZero + 2800);
  std::fclose(small);

  platform->QueueFileAnswer("trend.png");
  Click(TWykres::kSavePngId);
  EXPECT_EQ(platform->FileDialogs().back().defaultExt, "png");
  ASSERT_EQ(platform->ImageRequests().size(), 1u);
  EXPECT_EQ(platform->ImageRequests()[0].window, &trend);
  EXPECT_EQ(platform->ImageRequests()[0].path, "trend.png");
  // The chart only: the rows of buttons stay out of the picture.
  ASSERT_TRUE(platform->ImageRequests()[0].part);
  const ui::Rect pause = trend.Item(TWykres::kPeriodId)->RectDu();
  EXPECT_GT(platform->ImageRequests()[0].part->y,
            (pause.y + pause.height) * trend.ClientRect().height / TWykres::Template().rect.height);
  std::remove(path.c_str());
}

TEST_F(Trend, OpenShowsTheOneWindowAndNeedsATransmitter) {
  TSerialPortSettings settings;
  settings.link = &link;
  TDane empty;
  EXPECT_EQ(TWykres::Open(window, nullptr, empty, changed, memory, settings, nullptr), nullptr);
  EXPECT_EQ(window, nullptr);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!");
  EXPECT_TRUE(link.Requests().empty());

  TWykres* first = TWykres::Open(window, nullptr, db, changed, memory, settings, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(platform->IsShown(*first));
  EXPECT_EQ(TWykres::Open(window, nullptr, db, changed, memory, settings, nullptr), first);
  EXPECT_EQ(link.Requests().size(), 1u);
  Click(ui::kIdCancel);
  EXPECT_FALSE(first->IsCreated());
  platform->Advance(2000);
  EXPECT_EQ(link.Requests().size(), 1u);  // closed: nothing more is read
  ASSERT_NE(TWykres::Open(window, nullptr, db, changed, memory, settings, nullptr), nullptr);
  EXPECT_TRUE(window->IsCreated());
}

TEST_F(Trend, PlotsInTheRecordsUnitAndReadsTheSimulatedTransmitter) {
  // A reply in kPa is drawn in the record's bar.
  link.Answer(3, Command3(8.0f, kKpa, 150.0f));
  TWykres& trend = Open();
  platform->Advance(400);
  EXPECT_EQ(trend.PlotUnit(), kBar);
  EXPECT_FLOAT_EQ(*calib::ChannelValue(*trend.Series().LastReading(), calib::Channel::Pv, kBar), 1.5f);
  window.reset();

  // The built-in simulated transmitter's 152.23 and 6.2, in the record's unit, every bit of the
  // IEEE 754 singles its reply carries, not the three bytes a record keeps.
  TWykres& simulated = Open(TWykres::kDefaultPeriodMs, nullptr, false);
  platform->Advance(800);
  ASSERT_EQ(simulated.Series().Size(), 2u);
  const calib::PvReading r = simulated.Series().LastReading()->ToReading();
  EXPECT_EQ(std::bit_cast<std::uint32_t>(r.pv), 0x43183AE1u);       // 152.23
  EXPECT_EQ(std::bit_cast<std::uint32_t>(r.current), 0x40C66666u);  // 6.2
  EXPECT_EQ(r.unitCode, kBar);
}

// The window outlives the database's storage: a file opened meanwhile grows it elsewhere, and
// the simulated transmitter must mirror the record where it is now.
TEST_F(Trend, ReadsTheFirstRecordWhereverTheDatabaseHoldsItNow) {
  TWykres& trend = Open(TWykres::kDefaultPeriodMs, nullptr, false);
  platform->Advance(400);
  for (int i = 0; i < 40; ++i) db.Append(BystanderRecord());  // the storage moves
  db.At(0).deviceId = 0x010203;
  platform->Advance(800);
  EXPECT_EQ(trend.Series().Size(), 3u);
}

}  // namespace
