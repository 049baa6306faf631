#include <gtest/gtest.h>

#include "record/packed_text.h"
#include "data/report.h"
#include "tests/support/identified_record.h"
#include "ui/headless/headless_platform.h"

namespace {

TEST(Report, LayoutOfPortraitAndLandscapePages) {
  const TDrukuj::Layout portrait = TDrukuj::LayoutFor(4800, 6600);
  EXPECT_EQ(portrait.x0, 506);
  EXPECT_EQ(portrait.y0, 308);
  EXPECT_EQ(portrait.dy, 123);
  EXPECT_EQ(portrait.dx, 100);
  const TDrukuj::Layout landscape = TDrukuj::LayoutFor(6600, 4800);
  EXPECT_EQ(landscape.x0, 308);
  EXPECT_EQ(landscape.y0, 506);
  EXPECT_EQ(landscape.dy, 121);
  EXPECT_EQ(landscape.dx, 123);
  const TDrukuj::Layout square = TDrukuj::LayoutFor(1000, 1000);  // a square page is landscape
  EXPECT_EQ(square.x0, 46);
  EXPECT_EQ(square.y0, 105);
}

TEST(Report, PrintsTheFirstRecordLineByLineAtItsPlace) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  TDaneIPPC record = IdentifiedRecord();
  record.damping = 0.5f;
  db.Append(record);
  TDrukuj report(db);
  EXPECT_EQ(report.Title(), "Печать Рапорта");
  ASSERT_TRUE(ui::ThePlatform().Print(nullptr, report, true));
  ASSERT_EQ(platform->PrintedPages().size(), 1u);
  const auto& ops = platform->PrintedPages()[0];
  ASSERT_EQ(ops.size(), 19u);
  EXPECT_EQ(ops[0].text, "Рапорт проверки преобразователя, составлен 7-12-2026.");
  EXPECT_EQ((std::pair{ops[0].x, ops[0].y}), (std::pair{506, 308}));
  EXPECT_EQ(ops[1].text, "Тип преобразователя: TPG-4100");
  EXPECT_EQ((std::pair{ops[1].x, ops[1].y}), (std::pair{606, 554}));
  EXPECT_EQ(ops[2].text, "Фабричный номер: 12556");
  EXPECT_EQ(ops[4].text, "Идентификационный номер: 11234");
  EXPECT_EQ(ops[5].text, "Определитель: PP11334 ");
  EXPECT_EQ(ops[6].text, "Описание: H2S04           ");
  EXPECT_EQ(ops[7].text, "Дата в преобразователе (д-м-г): 31-8-2000.");
  EXPECT_EQ(ops[9].text, "Информация: KORVALEN - TPG4100              ");
  EXPECT_EQ(ops[10].text, "Единицы: [кПа]");
  EXPECT_EQ(ops[13].text, "Минимальная ширина диапазона: 25.00     ");
  EXPECT_EQ(ops[16].text, "Постоянная времени: 0.5000    [с]");
  EXPECT_EQ(ops[17].text, "Выходная характеристика: Линейная");
  EXPECT_EQ(ops[18].text, "Рапорт составил: ..................... ");
  EXPECT_EQ((std::pair{ops[18].x, ops[18].y}), (std::pair{906, 3014}));
}

TEST(Report, OddValuesPrintAsTheyAre) {
  TDaneIPPC record;  // before any identification
  std::vector<TDrukuj::Line> lines = TDrukuj::Lines(record);
  EXPECT_EQ(lines[0].text, "Рапорт проверки преобразователя, составлен 0-0-0.");
  EXPECT_EQ(lines[7].text, "Дата в преобразователе (д-м-г): 0-0-1900.");
  EXPECT_EQ(lines[1].text, "Тип преобразователя: Отсутствие Информации.");

  record.transferFunction = 2;
  record.dateYear = 130;
  record.unitCode = 20;
  packed::EncodeFromEntry("ДАВЛЕНИЕ", 8, record.tag);
  lines = TDrukuj::Lines(record);
  EXPECT_EQ(lines[17].text, "Выходная характеристика: ");
  EXPECT_EQ(lines[7].text, "Дата в преобразователе (д-м-г): 0-0-2030.");
  EXPECT_EQ(lines[10].text, "Единицы: [Отсутствие]");
  // The printed tag keeps the six-bit characters that carry the Cyrillic.
  EXPECT_EQ(lines[5].text, "Определитель: ]AB'EH%E");
}

TEST(Report, CancelledPrintDialogPrintsNothing) {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  TDrukuj report(db);
  platform->QueuePrintAnswer(false);
  EXPECT_FALSE(ui::ThePlatform().Print(nullptr, report, true));
  EXPECT_TRUE(platform->PrintedPages().empty());
}

}  // namespace
