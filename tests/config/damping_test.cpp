#include <gtest/gtest.h>

#include <bit>
#include <map>
#include <string>
#include <vector>

#include "config/damping_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"

namespace {

using Damping = ListDialogTest<TDamping, CountingPanel>;

TEST_F(Damping, TemplateHoldsEveryControlAndTheTextsFit) {
  const ui::DialogTemplate tpl = TDamping::BuildTemplate();
  EXPECT_EQ(tpl.resourceId, 820);
  EXPECT_EQ(tpl.caption, "Изменение постоянной времени");
  EXPECT_EQ(tpl.fontFace, "MS Sans Serif");
  EXPECT_EQ(tpl.fontPointSize, 8);
  const std::map<int, std::string> texts{
      {802, "Постоянные времени"}, {824, "Действительная постоянная времени [секунды]"},
      {825, ""}, {821, "Новая постоянная времени"}, {826, ""},
      {822, "Выбери постоянную времени с точностью до 0,1 секунды."},
      {803, "Выбери преобразователь"}, {800, ""}, {801, "Вышли"}, {2, "Отмена"}};
  ASSERT_EQ(tpl.controls.size(), texts.size());
  for (const auto& [id, text] : texts) EXPECT_EQ(FindControl(tpl, id).text, text) << id;
  EXPECT_EQ(FindControl(tpl, 825).textLimit, 8);
  EXPECT_EQ(FindControl(tpl, 826).textLimit, 40);
  EXPECT_EQ(FindControl(tpl, 801).kind, ui::ControlKind::DefPushButton);
  EXPECT_EQ(FindControl(tpl, 802).kind, ui::ControlKind::GroupBox);
  ExpectTemplateLayoutFits(tpl);
}

TEST_F(Damping, EmptyDatabaseReportsAndSendsNothing) {
  EmptyDatabase();
  TDamping dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(801, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  platform->Advance(1000);
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.refreshes, 0);
}

TEST_F(Damping, StoresTheTypedValueAtOnceAndShowsItAfterTheReply) {
  Record().damping = 0.0f;
  platform->OnModal(TDamping::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TDamping&>(d);
    EXPECT_EQ(Text(dialog, 825), "0         ");
    EXPECT_EQ(Text(dialog, 826), "0         ");
    EXPECT_FALSE(dialog.Item(825)->Enabled());
    EXPECT_TRUE(dialog.Item(826)->Enabled());

    ASSERT_TRUE(dialog.Item(826)->UserType("0.25"));
    ASSERT_TRUE(dialog.Item(801)->UserClick());
    ExpectSentToRecord(dialog, ToRecord(0x22, {0x3E, 0x80, 0x00, 0x00}));
    EXPECT_EQ(dialog.linkParam1, 3);
    EXPECT_EQ(db.At(0).damping, 0.25f);  // stored before the transmitter confirms it
    EXPECT_EQ(Text(dialog, 825), "0         ");
    EXPECT_FALSE(changed);

    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Text(dialog, 825), "0.2500    ");
    EXPECT_EQ(Text(dialog, 826), "0.2500    ");
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_EQ(Text(panel, 746), "0.2500    ");

    // Typed values are sent as typed: no check, no rounding to 0.1 s, only the float form's bytes.
    struct Case {
      const char* typed;
      float stored;
      Bytes wire;
      const char* shown;
    };
    const Case cases[] = {
        {"1,5", 1.5f, {0x3F, 0xC0, 0x00, 0x00}, "1.500     "},
        {"-3", -3.0f, {0xC0, 0x40, 0x00, 0x00}, "-3.000    "},
        {"abc", 0.0f, {0x00, 0x00, 0x00, 0x00}, "0         "},
        {"1234567", 1234567.0f, {0x49, 0x96, 0xB4, 0x00}, "1235000   "},
        {" 2e0s", 2.0f, {0x40, 0x00, 0x00, 0x00}, "2.000     "},
        {"0.123456789", 0.123456789f, {0x3D, 0xFC, 0xD6, 0x00}, "0.1235    "},
    };
    for (const Case& c : cases) {
      ASSERT_TRUE(dialog.Item(826)->UserType(c.typed));
      dialog.Item(801)->UserClick();
      const auto request = dialog.Request();
      ASSERT_EQ(request.size(), 13u) << c.typed;
      EXPECT_EQ(Bytes(request.begin() + 8, request.begin() + 12), c.wire) << c.typed;
      EXPECT_EQ(request[12], hart::Checksum(request.first(12))) << c.typed;
      EXPECT_EQ(std::bit_cast<std::uint32_t>(db.At(0).damping),
                std::bit_cast<std::uint32_t>(c.stored))
          << c.typed;
      platform->Advance(400);
      EXPECT_EQ(Text(dialog, 825), c.shown) << c.typed;
      EXPECT_EQ(Text(dialog, 826), c.shown) << c.typed;
    }
    EXPECT_EQ(panel.refreshes, 1 + static_cast<int>(std::size(cases)));

    // Choosing the transmitter again shows the record's value in both fields.
    db.At(0).damping = 12.3439f;
    dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(800, ui::kNotifySelectionChanged));
    EXPECT_EQ(Text(dialog, 825), "12.34     ");
    EXPECT_EQ(Text(dialog, 826), "12.34     ");
    dialog.SendMessage(ui::kMsgClose);
  });
  TDamping dialog(nullptr, db, changed, memory, {}, &panel);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

// The value is stored as it is sent; a transmitter that refuses it, or a line that never
// carries it, leaves the record with the damping it had.
TEST_F(Damping, ARefusedWriteLeavesTheRecordAsItWas) {
  const TDaneIPPC before = Record();
  platform->OnModal(TDamping::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TDamping&>(d);
    const char* const other = "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!";
    const EventCase cases[] = {
        {kEvNoAnswer, 0, "Отсутствие ответа.\nВыбери следующий преобразователь!!!", ""},
        {kEvStatusError, 1,
         "Характеристика преобразователя отлична от линейной.\nИзмени характеристику на "
         "линейную.\nПостоянная времени не изменена.",
         "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
        {kEvStatusError, 3,
         "Величина постоянной времени очень большая.\nПостоянная времени не изменена.",
         "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
        {kEvStatusError, 4,
         "Величина постоянной времени меньше нуля.\nПостоянная времени не изменена.",
         "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {kEvStatusError, 2, other, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {kEvStatusError, 5, other, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {kEvStatusError, 0, other, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {kEvLineBusy, 0, "Передача или нагрузка на линии.\nПередача не возможна!!!", ""},
    };
    for (const EventCase& c : cases) {
      ASSERT_TRUE(dialog.Item(826)->UserType("-1"));
      ASSERT_TRUE(dialog.Item(801)->UserClick());
      EXPECT_EQ(Record().damping, -1.0f) << c.text;  // stored as it is sent
      ASSERT_NO_FATAL_FAILURE(ExpectOnlyBox(dialog, c));
      EXPECT_TRUE(Record() == before) << c.text;
      EXPECT_EQ(Text(dialog, 825), "1.500     ");
    }
    // The write that follows is taken as usual.
    platform->ClearMessageBoxes();
    ASSERT_TRUE(dialog.Item(826)->UserType("2"));
    ASSERT_TRUE(dialog.Item(801)->UserClick());
    platform->Advance(400);
    EXPECT_EQ(Record().damping, 2.0f);
    EXPECT_TRUE(platform->MessageBoxes().empty());
  });
  TDamping dialog(nullptr, db, changed, memory, {}, &panel);
  dialog.Execute();
  // Each record given back is shown again, and the write taken at last.
  EXPECT_EQ(panel.refreshes, 9);
}

// Closed before its reply, a write was never confirmed: the record is as it was, with nothing
// changed that the data file would not know of.
TEST_F(Damping, ClosedBeforeTheReplyTheRecordIsAsItWas) {
  const TDaneIPPC before = Record();
  platform->OnModal(TDamping::kResourceId, [&](ui::Dialog& dialog) {
    ASSERT_TRUE(dialog.Item(826)->UserType("7"));
    ASSERT_TRUE(dialog.Item(801)->UserClick());
    EXPECT_EQ(Record().damping, 7.0f);
    ASSERT_TRUE(dialog.Item(ui::kIdCancel)->UserClick());
  });
  TDamping dialog(nullptr, db, changed, memory, {}, &panel);
  dialog.Execute();
  platform->Advance(1000);
  EXPECT_TRUE(Record() == before);
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.refreshes, 1);  // the record given back is shown again
}

TEST_F(Damping, FromAnotherTransmitterTheConfirmedValueIsStored) {
  FakeLink link;
  link.Answer(34, {0x3F, 0x00, 0x00, 0x7F});  // 0.5 once the lowest byte is dropped
  platform->OnModal(TDamping::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TDamping&>(d);
    dialog.Item(826)->UserType("0.25");
    dialog.Item(801)->UserClick();
    EXPECT_EQ(link.Requests().back()[6], 34);
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(db.At(0).damping, 0.5f);
    EXPECT_EQ(Text(dialog, 825), "0.5000    ");
    EXPECT_EQ(Text(dialog, 826), "0.5000    ");
    EXPECT_EQ(panel.refreshes, 1);

    // A confirmation without its float: the general message; the record keeps what it held.
    link.Answer(34, {0x40});
    dialog.Item(826)->UserType("2");
    dialog.Item(801)->UserClick();
    platform->Advance(400);
    EXPECT_EQ(db.At(0).damping, 0.5f);
    EXPECT_EQ(Text(dialog, 825), "0.5000    ");
    EXPECT_EQ(panel.refreshes, 2);  // given back and shown again
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    EXPECT_EQ(LastBox().caption, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");
  });
  TDamping dialog(nullptr, db, changed, memory, {{}, nullptr, &link}, &panel);
  dialog.Execute();
}

}  // namespace
