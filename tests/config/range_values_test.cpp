#include <gtest/gtest.h>

#include <bit>
#include <map>
#include <string>
#include <vector>

#include "config/range_values_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"

namespace {

std::uint32_t Bits(float v) { return std::bit_cast<std::uint32_t>(v); }

struct RangeValues : ListDialogTest<TRangeVal, CountingPanel> {
  void Write(ui::Window& dialog, const char* upper, const char* lower) {
    ASSERT_TRUE(dialog.Item(840)->UserType(upper));
    ASSERT_TRUE(dialog.Item(841)->UserType(lower));
    ASSERT_TRUE(dialog.Item(801)->UserClick());
  }
};

TEST_F(RangeValues, TemplateHoldsEveryControlAndTheTextsFit) {
  const ui::DialogTemplate tpl = TRangeVal::BuildTemplate();
  EXPECT_EQ(tpl.resourceId, 830);
  EXPECT_EQ(tpl.caption, "Изменение с помощью записи величины");
  EXPECT_EQ(tpl.fontFace, "MS Sans Serif");
  EXPECT_EQ(tpl.fontPointSize, 8);
  const std::map<int, std::string> texts{
      {802, "Границы основного диапазона"}, {834, "Верхняя граница"}, {831, "Нижняя граница"},
      {832, "Минимальная ширина диапазона"}, {852, "Действительная установка преобразователя"},
      {848, "Конец диапазона"}, {849, "Начало диапазона"},
      {853, "Запиши новую установку преобразователя"}, {850, "Конец диапазона"},
      {851, "Начало диапазона"}, {803, "Выбери преобразователь"}, {800, ""}, {801, "Измени"},
      {2, "Отмена"}, {835, ""}, {836, ""}, {837, ""}, {838, ""}, {839, ""}, {840, ""}, {841, ""},
      {842, ""}, {843, ""}, {844, ""}, {845, ""}, {846, ""}, {847, ""}};
  ASSERT_EQ(tpl.controls.size(), texts.size());
  for (const auto& [id, text] : texts) EXPECT_EQ(FindControl(tpl, id).text, text) << id;
  for (int id : {835, 836, 837, 838, 839, 842, 843, 844, 845, 846, 847}) {
    EXPECT_NE(FindControl(tpl, id).style & ui::kStyleDisabled, 0u) << id;
  }
  EXPECT_EQ(FindControl(tpl, 840).textLimit, 40);
  EXPECT_EQ(FindControl(tpl, 841).textLimit, 40);
  EXPECT_EQ(FindControl(tpl, 801).kind, ui::ControlKind::DefPushButton);
  for (int id : {802, 852, 853}) EXPECT_EQ(FindControl(tpl, id).kind, ui::ControlKind::GroupBox);
  // The longest unit name, "[дюйм вод ст в 68°F]", fits its field.
  EXPECT_GE(FindControl(tpl, 842).rect.width, 4.5 * 20);
  ExpectTemplateLayoutFits(tpl);
}

TEST_F(RangeValues, EmptyDatabaseReportsAndSendsNothing) {
  EmptyDatabase();
  TRangeVal dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(801, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_FALSE(dialog.Pending().has_value());
  platform->Advance(1000);
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.refreshes, 0);
}

TEST_F(RangeValues, ShowsTheRecordAndStoresTheWrittenRangeOnTheReply) {
  platform->OnModal(TRangeVal::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TRangeVal&>(d);
    EXPECT_EQ(Text(dialog, 835), "40.00     ");
    EXPECT_EQ(Text(dialog, 836), "-1.000    ");
    EXPECT_EQ(Text(dialog, 837), "0.5000    ");
    EXPECT_EQ(Text(dialog, 838), "16.00     ");
    EXPECT_EQ(Text(dialog, 839), "-0.5000   ");
    EXPECT_EQ(Text(dialog, 840), "16.00     ");
    EXPECT_EQ(Text(dialog, 841), "-0.5000   ");
    for (int id = 842; id <= 847; ++id) EXPECT_EQ(Text(dialog, id), "[Bar]") << id;
    for (int id = 835; id <= 839; ++id) EXPECT_FALSE(dialog.Item(id)->Enabled()) << id;
    EXPECT_TRUE(dialog.Item(840)->Enabled());
    EXPECT_TRUE(dialog.Item(841)->Enabled());

    // A reply that follows no write stores nothing, yet marks the file and refreshes the panel.
    dialog.SendMessage(kEvReply);
    EXPECT_TRUE(changed);
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_EQ(Bits(db.At(0).upperRange), Bits(16.0f));
    changed = false;

    Write(dialog, "100", "-20.5");
    ExpectSentToRecord(dialog,
                       ToRecord(0x23, {0x07, 0x42, 0xC8, 0x00, 0x00, 0xC1, 0xA4, 0x00, 0x00}));
    EXPECT_EQ(dialog.linkParam1, 3);
    EXPECT_EQ(dialog.linkParam2, 26);
    platform->Advance(399);
    EXPECT_EQ(Bits(db.At(0).upperRange), Bits(16.0f));
    EXPECT_FALSE(changed);
    platform->Advance(1);
    EXPECT_TRUE(changed);
    EXPECT_EQ(db.At(0).upperRange, 100.0f);
    EXPECT_EQ(db.At(0).lowerRange, -20.5f);
    EXPECT_EQ(db.At(0).unitCode, 7);
    EXPECT_EQ(Text(dialog, 838), "100.0     ");
    EXPECT_EQ(Text(dialog, 840), "100.0     ");
    EXPECT_EQ(Text(dialog, 839), "-20.50    ");
    EXPECT_EQ(Text(dialog, 841), "-20.50    ");
    EXPECT_EQ(panel.refreshes, 2);
    EXPECT_EQ(Text(panel, 745), "100.0     ");
    EXPECT_EQ(Text(panel, 744), "-20.50    ");

    // No checks: a reversed range, an empty field (0.0), values beyond the sensor limits.
    Write(dialog, "10", "50");
    platform->Advance(400);
    EXPECT_EQ(db.At(0).upperRange, 10.0f);
    EXPECT_EQ(db.At(0).lowerRange, 50.0f);
    Write(dialog, "", "-1e6");
    EXPECT_EQ(Bytes(dialog.Request().begin() + 9, dialog.Request().begin() + 17),
              (Bytes{0x00, 0x00, 0x00, 0x00, 0xC9, 0x74, 0x24, 0x00}));
    platform->Advance(400);
    EXPECT_EQ(db.At(0).upperRange, 0.0f);
    EXPECT_EQ(db.At(0).lowerRange, -1e6f);
    EXPECT_EQ(Text(dialog, 841), "-1000000  ");

    // The record keeps the value as read; only the fields round it.
    Write(dialog, "12.3439", "0.00001");
    platform->Advance(400);
    EXPECT_EQ(Bits(db.At(0).upperRange), Bits(12.3439f));
    EXPECT_EQ(Bits(db.At(0).lowerRange), Bits(0.00001f));
    EXPECT_EQ(Text(dialog, 838), "12.34     ");
    EXPECT_EQ(Text(dialog, 840), "12.34     ");
    EXPECT_EQ(Text(dialog, 839), "0.0000    ");
    EXPECT_EQ(panel.refreshes, 5);
    dialog.Item(2)->UserClick();
  });
  TRangeVal dialog(nullptr, db, changed, memory, {}, &panel);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(RangeValues, TheRecordsUnitTravelsAndShowsBesideEveryNumber) {
  platform->OnModal(TRangeVal::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TRangeVal&>(d);
    struct Case {
      std::uint8_t code;
      const char* name;
    };
    const Case cases[] = {{7, "[Bar]"}, {237, "[МПа]"}, {20, "[Отсутствие]"}, {0, "[Отсутствие]"}};
    for (const Case& c : cases) {
      db.At(0).unitCode = c.code;
      dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(800, ui::kNotifySelectionChanged));
      for (int id = 842; id <= 847; ++id) EXPECT_EQ(Text(dialog, id), c.name) << id;
      Write(dialog, "1", "0");
      EXPECT_EQ(dialog.Request()[8], c.code);
      EXPECT_EQ(dialog.Request()[17], hart::Checksum(dialog.Request().first(17)));
      ASSERT_TRUE(dialog.Pending().has_value());
      EXPECT_EQ(dialog.Pending()->unitCode, c.code);
      platform->Advance(400);
      EXPECT_EQ(db.At(0).unitCode, c.code);
      EXPECT_FALSE(dialog.Pending().has_value());
    }
    dialog.SendMessage(ui::kMsgClose);
  });
  TRangeVal dialog(nullptr, db, changed, memory, {}, nullptr);
  dialog.Execute();
  EXPECT_TRUE(changed);
}

TEST_F(RangeValues, FailureEventsShowTheirMessagesAndTheRecordKeepsItsRange) {
  platform->OnModal(TRangeVal::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TRangeVal&>(d);
    Write(dialog, "200", "10");

    const char* const caption = "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ";
    const char* const other = "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!";
    const EventCase cases[] = {
        {kEvNoAnswer, 0, "Отсутствие ответа.\nВыбери следующий преобразователь!!!", ""},
        {kEvStatusError, 2,
         "Неправильный выбор. Проверь соответствие единиц.\nНоль, Диапазон не изменен.", caption},
        {kEvStatusError, 9, "Очень большая величина Нуля.\nНоль, Диапазон не изменен.", caption},
        {kEvStatusError, 10, "Очень низкая величина Нуля.\nНоль, Диапазон не изменен.", caption},
        {kEvStatusError, 11, "Очень большая величина Диапазона.\nНоль, Диапазон не изменен.",
         caption},
        {kEvStatusError, 12, "Очень низкая величина Диапазона.\nНоль, Диапазон не изменен.",
         caption},
        {kEvStatusError, 13, "Ноль, Диапазон вне допустимого.\nНоль, Диапазон не изменен.",
         caption},
        {kEvStatusError, 14, "Ширина диапазона малая.\nНоль, Диапазон не изменен.", caption},
        {kEvStatusError, 1, other, caption},
        {kEvStatusError, 8, other, caption},
        {kEvStatusError, 15, other, caption},
        {kEvLineBusy, 0, "Передача или нагрузка на линии.\nПередача не возможна!!!", ""},
    };
    for (const EventCase& c : cases) ASSERT_NO_FATAL_FAILURE(ExpectOnlyBox(dialog, c));
    EXPECT_EQ(Bits(db.At(0).upperRange), Bits(16.0f));
    EXPECT_EQ(db.At(0).lowerRange, -0.5f);
    EXPECT_EQ(Text(dialog, 838), "16.00     ");
    EXPECT_FALSE(changed);
    EXPECT_EQ(panel.refreshes, 0);
  });
  TRangeVal dialog(nullptr, db, changed, memory, {}, &panel);
  dialog.Execute();
  platform->Advance(1000);  // the dialog is gone: no reply stores the failed write
  EXPECT_EQ(Bits(db.At(0).upperRange), Bits(16.0f));
}

TEST_F(RangeValues, FromAnotherTransmitterTheConfirmedUnitAndRangeAreStored) {
  FakeLink link;
  link.Answer(35, ReplyData({{237}, WireFloat(0.25f), {0xBC, 0x00, 0x00, 0x11}}));
  platform->OnModal(TRangeVal::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TRangeVal&>(d);
    Write(dialog, "100", "-20.5");
    EXPECT_EQ(link.Requests().back()[8], 7);
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(db.At(0).unitCode, 237);
    EXPECT_EQ(db.At(0).upperRange, 0.25f);
    EXPECT_EQ(db.At(0).lowerRange, -0.0078125f);
    EXPECT_EQ(Text(dialog, 838), "0.2500    ");
    EXPECT_EQ(Text(dialog, 844), "[МПа]");
    EXPECT_FALSE(dialog.Pending());
    EXPECT_EQ(panel.refreshes, 1);

    // Unit and upper value only: nothing stored, the general message.
    link.Answer(35, ReplyData({{12}, WireFloat(100.0f)}));
    Write(dialog, "100", "0");
    platform->Advance(400);
    EXPECT_EQ(db.At(0).unitCode, 237);
    EXPECT_EQ(db.At(0).upperRange, 0.25f);
    EXPECT_EQ(panel.refreshes, 1);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    EXPECT_EQ(LastBox().caption, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");
  });
  TRangeVal dialog(nullptr, db, changed, memory, {{}, nullptr, &link}, &panel);
  dialog.Execute();
}

}  // namespace
