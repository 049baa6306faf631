#include <gtest/gtest.h>

#include "data/data_panel.h"
#include "record/packed_text.h"
#include "hart/protokol.h"
#include "tests/support/fixture_records.h"
#include "ui/headless/headless_platform.h"

namespace {

std::string Field(TMonitorHart& panel, int id) { return panel.Item(id)->Text(); }

TEST(DataPanel, ShowsTheDefaultRecordGreyedAndReadOnly) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  TMonitorHart panel(nullptr, db);
  panel.CreateModeless();
  panel.SendMessage(kMsgShowRecord);
  EXPECT_EQ(panel.Caption(), "Данные преобразователя");
  EXPECT_EQ(Field(panel, 731), "Отсутствие Информации.");
  EXPECT_EQ(Field(panel, 732), "0");
  EXPECT_EQ(Field(panel, 733), "0");
  EXPECT_EQ(Field(panel, 734), "0");
  EXPECT_EQ(Field(panel, 735), "        ");
  EXPECT_EQ(Field(panel, 736), std::string(16, ' '));
  EXPECT_EQ(Field(panel, 737), "0-0-1900");
  EXPECT_EQ(Field(panel, 738), "0");
  EXPECT_EQ(Field(panel, 739), std::string(32, ' '));
  EXPECT_EQ(Field(panel, 740), "[Отсутствие]");
  EXPECT_EQ(Field(panel, 741), "0         ");
  EXPECT_EQ(Field(panel, 747), "Линейная");
  for (const auto& row : TMonitorHart::Rows()) {
    if (row.fieldId != 731) {
      EXPECT_FALSE(panel.Item(row.fieldId)->Enabled()) << row.fieldId;
    }
    EXPECT_EQ(panel.Item(row.labelId)->Text(), row.label);
  }
  EXPECT_FALSE(panel.Item(731)->Visible());
  EXPECT_FALSE(panel.Item(711)->Visible());
}

TEST(DataPanel, ShowsPlaceZeroAfterGrowthAndAfterClearing) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  TMonitorHart panel(nullptr, db);
  for (int i = 0; i < 12; ++i) {
    TDaneIPPC record;
    record.deviceId = 1000 + i;
    record.deviceType = 3;
    record.dateDay = 31;
    record.dateMonth = 8;
    record.dateYear = 130;
    record.unitCode = 237;
    record.damping = 0.5f;
    record.upperRange = 249.99609375f;
    packed::EncodeFromEntry("ДАВЛЕНИЕ", 8, record.tag);
    ASSERT_TRUE(db.Append(record));
  }
  ASSERT_EQ(db.Capacity(), 21u);
  panel.SendMessage(kMsgShowRecord);
  EXPECT_EQ(Field(panel, 731), "TDG-4300");
  EXPECT_EQ(Field(panel, 732), "1000");
  EXPECT_EQ(Field(panel, 735), "ДАВЛЕНИЕ");
  EXPECT_EQ(Field(panel, 737), "31-8-2030");
  EXPECT_EQ(Field(panel, 740), "[МПа]");
  EXPECT_EQ(Field(panel, 745), "250.0     ");
  EXPECT_EQ(Field(panel, 746), "0.5000    ");

  db.Clear();
  panel.SendMessage(kMsgShowRecord);
  EXPECT_EQ(Field(panel, 732), "1000");
}

// Day and month are read as signed bytes, the year unsigned, as the printed report does.
TEST(DataPanel, ShowsTheDateDayAndMonthSignedAndTheYearUnsigned) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  ASSERT_TRUE(db.Append(UnlikeDefaultsRecord()));
  TMonitorHart panel(nullptr, db);
  struct Case {
    std::uint8_t day, month, year;
    const char* shown;
  };
  const Case cases[] = {
      {14, 3, 121, "14-3-2021"},    {200, 12, 99, "-56-12-1999"}, {31, 255, 130, "31--1-2030"},
      {127, 127, 127, "127-127-2027"}, {128, 128, 255, "-128--128-2155"}, {0, 0, 0, "0-0-1900"},
  };
  for (const Case& c : cases) {
    db.At(0).dateDay = c.day;
    db.At(0).dateMonth = c.month;
    db.At(0).dateYear = c.year;
    panel.SendMessage(kMsgShowRecord);
    EXPECT_EQ(Field(panel, 737), c.shown);
  }
  EXPECT_EQ(Field(panel, 732), "662316");  // the record's own, not a default
}

TEST(DataPanel, DocksAtTheBottomOfItsMainWindowOnce) {
  ui::ScopedHeadlessPlatform platform;
  ui::Window main(nullptr);
  main.Create();
  main.MoveWindow({10, 20, 800, 600});
  TDane db;
  TMonitorHart panel(&main, db);
  panel.CreateModeless();
  const int height = panel.ClientRect().height;
  platform->Advance(100);
  EXPECT_EQ(panel.WindowRect(), (ui::Rect{10, 620 - height, 800, height}));
  main.MoveWindow({0, 0, 400, 300});
  platform->Advance(1000);
  EXPECT_EQ(panel.WindowRect().width, 800);
  EXPECT_FALSE(platform->TimerRunning(panel, TMonitorHart::kDockTimerId));
}

}  // namespace
