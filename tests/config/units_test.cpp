#include <gtest/gtest.h>

#include <vector>

#include "config/units_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/fixture_records.h"
#include "tests/support/list_dialog_test.h"

namespace {

struct Units : ListDialogTest<TUnits> {
  // The record in kilopascals with the identified transmitter's limits and range; its address
  // and preamble count stay unlike the defaults.
  void InKilopascals() {
    TDaneIPPC& r = Record();
    r.unitCode = 12;
    r.upperSensorLimit = 249.99609375f;
    r.lowerSensorLimit = 0.0f;
    r.minimumSpan = 24.99951171875f;
    r.upperRange = 249.99609375f;
    r.lowerRange = 0.0f;
  }

  static std::string Field(ui::Dialog& dialog) { return dialog.Item(TUnits::kUnitFieldId)->Text(); }
  static int ComboSelection(ui::Dialog& dialog) {
    return dialog.Item(TUnits::kUnitComboId)->Selection();
  }
  void Choose(ui::Dialog& dialog, int listIndex) {
    ASSERT_TRUE(dialog.Item(TUnits::kUnitComboId)->UserSelect(listIndex));
  }
  void ChangeTo(ui::Dialog& dialog, int listIndex) {
    Choose(dialog, listIndex);
    ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
    platform->Advance(1200);
    ASSERT_EQ(static_cast<TUnits&>(dialog).AwaitedCommand(), 0);
  }
};

TEST_F(Units, TemplateAndTheRecordsUnitAtSetUp) {
  Run([&](TUnits& d) {
    EXPECT_EQ(d.Caption(), "Изменение единиц");
    EXPECT_EQ(d.Item(TLista::kGroupBoxId)->Text(), "Выбор единицы");
    EXPECT_EQ(d.Item(812)->Text(), "Действительная единица");
    EXPECT_EQ(d.Item(813)->Text(), "Смена измерения");
    EXPECT_EQ(d.Item(TLista::kSendButtonId)->Text(), "Вышли");
    EXPECT_EQ(d.Item(TLista::kSendButtonId)->Kind(), ui::ControlKind::DefPushButton);
    EXPECT_EQ(d.Item(ui::kIdCancel)->Text(), "Отмена");
    EXPECT_EQ(d.Item(TUnits::kUnitComboId)->Kind(), ui::ControlKind::ComboBox);
    EXPECT_FALSE(d.Item(TUnits::kUnitFieldId)->Enabled());
    EXPECT_FALSE(d.Item(TLista::kListBoxId)->Visible());
    EXPECT_FALSE(d.Item(TLista::kListLabelId)->Visible());

    const ui::Rect dialogArea{0, 0, d.Template().rect.width, d.Template().rect.height};
    const ui::Rect group = d.Item(TLista::kGroupBoxId)->RectDu();
    std::vector<ui::Rect> placed;
    for (const auto& control : d.Controls()) {
      if (!control->Visible() || control->Id() == TLista::kGroupBoxId) continue;
      const ui::Rect r = control->RectDu();
      EXPECT_TRUE(Inside(r, dialogArea)) << control->Id();
      if (control->Id() >= 811 && control->Id() <= 814) {
        EXPECT_TRUE(Inside(r, group)) << control->Id();
      } else {
        EXPECT_FALSE(Overlap(r, group)) << control->Id();
      }
      for (const ui::Rect& other : placed) EXPECT_FALSE(Overlap(r, other)) << control->Id();
      placed.push_back(r);
    }

    EXPECT_EQ(Field(d), "[Bar]");
    EXPECT_EQ(d.Item(TUnits::kUnitComboId)->Items().size(), 18u);
    EXPECT_EQ(ComboSelection(d), 7);
    EXPECT_EQ(d.Item(TUnits::kUnitComboId)->Text(), "[Bar]");

    // Another selection shows the record's unit again.
    Record().unitCode = 238;
    d.SendMessage(ui::kMsgCommand, ui::MakeWParam(TLista::kListBoxId, ui::kNotifySelectionChanged));
    EXPECT_EQ(Field(d), "[дюйм вод ст в 4°C]");
    EXPECT_EQ(ComboSelection(d), 16);
    Record().unitCode = 20;
    d.SendMessage(ui::kMsgCommand, ui::MakeWParam(TLista::kListBoxId, ui::kNotifySelectionChanged));
    EXPECT_EQ(Field(d), "[Отсутствие]");
    EXPECT_EQ(ComboSelection(d), 0);
  });
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.refreshes, 0);
}

TEST_F(Units, EmptyDatabaseReportsAndNeverBuildsARequest) {
  EmptyDatabase();
  TUnits dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  dialog.Item(TLista::kSendButtonId)->UserClick();
  platform->Advance(2000);
  EXPECT_TRUE(dialog.Request().empty());
  EXPECT_EQ(dialog.AwaitedCommand(), 0);
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.refreshes, 0);
}

TEST_F(Units, KilopascalsToPascalsInThreeTransactions) {
  InKilopascals();
  Run([&](TUnits& d) {
    Choose(d, 11);
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    ExpectSentToRecord(d, ToRecord(0x2C, {0x0B}));
    EXPECT_EQ(d.linkParam1, 3);
    EXPECT_EQ(d.AwaitedCommand(), 44);
    EXPECT_EQ(Record().unitCode, 12);  // nothing changes before the reply

    // Closing is ignored until the change is complete.
    EXPECT_TRUE(d.Item(ui::kIdCancel)->UserClick());
    d.SendMessage(ui::kMsgClose);
    EXPECT_FALSE(d.Ended());

    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Record().unitCode, 11);
    EXPECT_EQ(Field(d), "[Па]");
    EXPECT_EQ(ComboSelection(d), 11);
    EXPECT_DOUBLE_EQ(d.Ratio(), 1000.0);
    ExpectSentToRecord(d, ToRecord(0x0E));
    EXPECT_EQ(d.AwaitedCommand(), 14);
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_EQ(Record().upperSensorLimit, 249.99609375f);

    platform->Advance(400);
    EXPECT_EQ(Record().upperSensorLimit, 249996.09375f);
    EXPECT_EQ(Record().lowerSensorLimit, 0.0f);
    EXPECT_EQ(Record().minimumSpan, 24999.51171875f);
    EXPECT_EQ(Record().upperRange, 249.99609375f);
    ExpectSentToRecord(d, ToRecord(0x0F));
    EXPECT_EQ(d.AwaitedCommand(), 15);
    EXPECT_EQ(panel.refreshes, 2);
    d.SendMessage(ui::kMsgClose);
    EXPECT_FALSE(d.Ended());

    platform->Advance(400);
    EXPECT_EQ(Record().upperRange, 249996.09375f);
    EXPECT_EQ(Record().lowerRange, 0.0f);
    EXPECT_EQ(d.AwaitedCommand(), 0);
    EXPECT_EQ(panel.refreshes, 3);
    platform->Advance(4000);
    EXPECT_EQ(panel.refreshes, 3);
    EXPECT_EQ(Record().upperRange, 249996.09375f);

    EXPECT_TRUE(d.Item(ui::kIdCancel)->UserClick());
    EXPECT_TRUE(d.Ended());
  });
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(Units, ConversionsBetweenUnits) {
  TDaneIPPC& r = Record();
  r.unitCode = 7;
  r.upperRange = 2.5f;
  r.lowerRange = -1.0f;
  r.upperSensorLimit = 10.0f;
  r.lowerSensorLimit = -1.0f;
  r.minimumSpan = 0.5f;
  Run([&](TUnits& d) {
    EXPECT_EQ(Field(d), "[Bar]");
    EXPECT_EQ(ComboSelection(d), 7);

    // The unit already set: all three commands, and nothing changes.
    ChangeTo(d, 7);
    EXPECT_DOUBLE_EQ(d.Ratio(), 1.0);
    EXPECT_EQ(Sent(d).at(6), 15);
    EXPECT_EQ(r.upperRange, 2.5f);
    EXPECT_EQ(r.minimumSpan, 0.5f);
    EXPECT_EQ(panel.refreshes, 3);

    // Bar to megapascals: the code 237 travels as 0xED.
    Choose(d, 15);
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    ExpectSentToRecord(d, ToRecord(0x2C, {0xED}));
    platform->Advance(1200);
    EXPECT_EQ(r.unitCode, 237);
    EXPECT_EQ(Field(d), "[МПа]");
    EXPECT_EQ(ComboSelection(d), 15);
    EXPECT_EQ(r.upperRange, 0.25f);
    EXPECT_EQ(r.lowerRange, -0.1f);
    EXPECT_EQ(r.upperSensorLimit, 1.0f);
    EXPECT_EQ(r.lowerSensorLimit, -0.1f);
    EXPECT_EQ(r.minimumSpan, 0.05f);

    // A code without an entry converts as pascals.
    r.unitCode = 20;
    r.upperRange = 2500.0f;
    d.SendMessage(ui::kMsgCommand, ui::MakeWParam(TLista::kListBoxId, ui::kNotifySelectionChanged));
    EXPECT_EQ(Field(d), "[Отсутствие]");
    ChangeTo(d, 12);
    EXPECT_DOUBLE_EQ(d.Ratio(), 0.001);
    EXPECT_EQ(r.unitCode, 12);
    EXPECT_EQ(r.upperRange, 2.5f);

    // "[Отсутствие]" stores code 0 and converts to pascals.
    ChangeTo(d, 0);
    EXPECT_EQ(Sent(d).size(), 9u);
    EXPECT_EQ(r.unitCode, 0);
    EXPECT_EQ(Field(d), "[Отсутствие]");
    EXPECT_EQ(r.upperRange, 2500.0f);

    // Pascals to inches of water at 4 °C, rounded once, from the double product.
    ChangeTo(d, 16);
    EXPECT_EQ(r.unitCode, 238);
    EXPECT_EQ(r.upperRange, static_cast<float>(2500.0 * 0.004014752));
  });
}

// The operator may move the drop-down while the write waits for its reply: the record takes the
// unit that was sent and its values are converted to it.
TEST_F(Units, TheUnitSentIsStoredWhateverTheDropDownShowsByTheReply) {
  struct Case {
    int sent;              // list index chosen when "Вышли" is pressed
    const char* shownAfter;  // what the drop-down shows 200 ms later
    std::uint8_t code;
    double factor;         // units per pascal of the unit sent
    const char* name;
  };
  const Case cases[] = {
      {11, "[Bar]", 11, 1.0, "[Па]"},
      {15, "[Отсутствие]", 237, 0.000001, "[МПа]"},
      {12, "[бар]", 12, 0.001, "[кПа]"},
  };
  constexpr double kBar = 0.00001;
  Run([&](TUnits& d) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Record() = UnlikeDefaultsRecord();  // in bar, upper range 16
      d.SendMessage(ui::kMsgCommand,
                    ui::MakeWParam(TLista::kListBoxId, ui::kNotifySelectionChanged));
      Choose(d, c.sent);
      ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
      platform->Advance(200);
      ASSERT_TRUE(d.Item(TUnits::kUnitComboId)->UserType(c.shownAfter));
      platform->Advance(1200);
      ASSERT_EQ(d.AwaitedCommand(), 0);
      EXPECT_EQ(Record().unitCode, c.code);
      EXPECT_EQ(Field(d), c.name);
      EXPECT_EQ(ComboSelection(d), c.sent);
      EXPECT_EQ(Record().upperRange, static_cast<float>(16.0 * (c.factor * (1.0 / kBar))));
      EXPECT_EQ(Record().upperSensorLimit, static_cast<float>(40.0 * (c.factor * (1.0 / kBar))));
    }
  });
}

TEST_F(Units, TextThatNamesNoUnitIsRefusedAndNothingIsSent) {
  InKilopascals();
  Run([&](TUnits& d) {
    ASSERT_TRUE(d.Item(TUnits::kUnitComboId)->UserType("[бар]"));
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    EXPECT_EQ(d.requestLength, 0);
    EXPECT_EQ(d.AwaitedCommand(), 0);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Такой единицы нет в списке.\nВыбери единицу из списка.");
    platform->Advance(1200);
    EXPECT_EQ(Record().unitCode, 12);
  });
}

TEST_F(Units, SendingAgainRestartsFromTheUnitShown) {
  InKilopascals();
  Run([&](TUnits& d) {
    Choose(d, 11);
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    platform->Advance(400);
    EXPECT_EQ(d.AwaitedCommand(), 14);
    // The field shows pascals by now, so the restarted change converts by 1.
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    EXPECT_EQ(Sent(d).at(6), 44);
    EXPECT_EQ(d.AwaitedCommand(), 44);
    platform->Advance(1200);
    EXPECT_DOUBLE_EQ(d.Ratio(), 1.0);
    EXPECT_EQ(Record().upperSensorLimit, 249.99609375f);
    EXPECT_EQ(Record().upperRange, 249.99609375f);
    EXPECT_EQ(d.AwaitedCommand(), 0);
    EXPECT_EQ(panel.refreshes, 4);
  });
}

TEST_F(Units, FailureEvents) {
  InKilopascals();
  Run([&](TUnits& d) {
    const auto& boxes = platform->MessageBoxes();
    Choose(d, 11);
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    d.SendMessage(kEvNoAnswer);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Отсутствие ответа.\nВыбери следующий преобразователь!!!");
    EXPECT_EQ(boxes[0].caption, "");
    EXPECT_EQ(boxes[0].flags, ui::kMbOk | ui::kMbIconStop);
    EXPECT_EQ(d.AwaitedCommand(), 0);
    EXPECT_FALSE(changed);
    // A reply that still comes only marks the change and refreshes the panel.
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_EQ(Record().unitCode, 12);
    EXPECT_EQ(Field(d), "[кПа]");
    EXPECT_FALSE(platform->TimerRunning(d, THartProtokol::kReplyTimerId));

    // Status by response code, after the write and after a read.
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    d.frame[108] = 4;
    d.SendMessage(kEvStatusError);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Отсутствие этой единицы в преобразователе.\nВыбери другую единицу.");
    EXPECT_EQ(boxes[1].caption, "ОШИБКА ВЫБОРА ЕДИНИЦЫ");
    EXPECT_EQ(boxes[1].flags, ui::kMbOk | ui::kMbIconStop);
    EXPECT_EQ(d.AwaitedCommand(), 0);
    platform->Advance(400);

    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    platform->Advance(400);
    EXPECT_EQ(d.AwaitedCommand(), 14);
    for (std::uint8_t code : {std::uint8_t{1}, std::uint8_t{5}, std::uint8_t{0}}) {
      d.frame[108] = code;
      d.SendMessage(kEvStatusError);
      EXPECT_EQ(boxes.back().text, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
      EXPECT_EQ(boxes.back().caption, "ОШИБКА ВЫБОРА ЕДИНИЦЫ");
      EXPECT_EQ(boxes.back().flags, ui::kMbOk | ui::kMbIconStop);
    }
    EXPECT_EQ(boxes.size(), 5u);
    EXPECT_EQ(d.AwaitedCommand(), 0);
    platform->Advance(400);
    EXPECT_EQ(Record().upperSensorLimit, 249.99609375f);  // the limits were never read

    // Line busy keeps the base's message and ends the step: no reply follows it, so the dialog
    // closes at once.
    ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
    d.SendMessage(kEvLineBusy);
    ASSERT_EQ(boxes.size(), 6u);
    EXPECT_EQ(boxes[5].text, "Передача или нагрузка на линии.\nПередача не возможна!!!");
    EXPECT_EQ(boxes[5].caption, "");
    EXPECT_EQ(boxes[5].flags, ui::kMbOk | ui::kMbIconStop);
    EXPECT_EQ(d.AwaitedCommand(), 0);
    d.SendMessage(ui::kMsgClose);
    EXPECT_TRUE(d.Ended());
  });
}

TEST_F(Units, FromAnotherTransmitterTheConfirmedUnitAndTheValuesReadBackAreStored) {
  FakeLink link;
  // The transmitter confirms [МПа] although [Па] was chosen: its word counts.
  link.Answer(44, {237});
  link.Answer(14, ReplyData({{0, 0, 7}, {237}, WireFloat(0.5f), WireFloat(-0.125f),
                             {0x3D, 0x80, 0x00, 0x55}}));
  link.Answer(15, ReplyData({{250, 0, 237}, WireFloat(0.375f), WireFloat(0.0078125f),
                             WireFloat(2.0f), {250, 63}}));
  Run(
      [&](TUnits& d) {
        ChangeTo(d, 11);
        ASSERT_EQ(link.Requests().size(), 3u);
        EXPECT_EQ(link.Requests()[0][8], 11);
        EXPECT_EQ(Record().unitCode, 237);
        EXPECT_EQ(Field(d), "[МПа]");
        EXPECT_EQ(ComboSelection(d), 15);
        EXPECT_EQ(Record().upperSensorLimit, 0.5f);
        EXPECT_EQ(Record().lowerSensorLimit, -0.125f);
        EXPECT_EQ(Record().minimumSpan, 0.0625f);
        EXPECT_EQ(Record().upperRange, 0.375f);
        EXPECT_EQ(Record().lowerRange, 0.0078125f);
        EXPECT_EQ(Record().damping, 1.5f);  // 15 is read for the range only
        EXPECT_EQ(panel.refreshes, 3);
        EXPECT_TRUE(platform->MessageBoxes().empty());

        // Limits cut short after the upper one: the status error's general message, the change
        // ends there and the record keeps its limits.
        link.Answer(44, {12});
        link.Answer(14, ReplyData({{0, 0, 7}, {12}, WireFloat(500.0f)}));
        Choose(d, 12);
        ASSERT_TRUE(d.Item(TLista::kSendButtonId)->UserClick());
        platform->Advance(800);
        EXPECT_EQ(Record().unitCode, 12);
        EXPECT_EQ(Record().upperSensorLimit, 0.5f);
        EXPECT_EQ(Record().minimumSpan, 0.0625f);
        EXPECT_EQ(d.AwaitedCommand(), 0);
        EXPECT_EQ(link.Requests().size(), 5u);
        EXPECT_FALSE(link.Waiting());
        EXPECT_EQ(panel.refreshes, 4);
        ASSERT_EQ(platform->MessageBoxes().size(), 1u);
        EXPECT_EQ(platform->MessageBoxes()[0].text,
                  "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
        EXPECT_EQ(platform->MessageBoxes()[0].caption, "ОШИБКА ВЫБОРА ЕДИНИЦЫ");
        EXPECT_TRUE(d.Item(ui::kIdCancel)->UserClick());
        EXPECT_TRUE(d.Ended());
      },
      {{}, nullptr, &link});
}

}  // namespace
