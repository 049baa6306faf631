#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config/transfer_function_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"

namespace {

using TransferFunction = ListDialogTest<TChka, CountingPanel>;

TEST_F(TransferFunction, TemplateHoldsEveryControlAndTheTextsFit) {
  const ui::DialogTemplate tpl = TChka::BuildTemplate();
  EXPECT_EQ(tpl.resourceId, 920);
  EXPECT_EQ(tpl.caption, "Изменение характеристики преобразования");
  EXPECT_EQ(tpl.fontFace, "MS Sans Serif");
  EXPECT_EQ(tpl.fontPointSize, 8);
  const std::map<int, std::string> texts{
      {802, "Выбор характеристики"}, {812, "Действительная характеристика"}, {811, ""},
      {813, "Новая характеристика"}, {814, ""}, {803, "Выбери преобразователь"}, {800, ""},
      {801, "Вышли"}, {2, "Отмена"}};
  ASSERT_EQ(tpl.controls.size(), texts.size());
  for (const auto& [id, text] : texts) EXPECT_EQ(FindControl(tpl, id).text, text) << id;
  EXPECT_EQ(FindControl(tpl, 814).kind, ui::ControlKind::ComboBox);
  EXPECT_EQ(FindControl(tpl, 801).kind, ui::ControlKind::DefPushButton);
  EXPECT_EQ(FindControl(tpl, 802).kind, ui::ControlKind::GroupBox);
  ExpectTemplateLayoutFits(tpl);
}

TEST_F(TransferFunction, EmptyDatabaseReportsAndSendsNothing) {
  EmptyDatabase();
  TChka dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(801, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_EQ(dialog.AwaitedCommand(), 0);
  platform->Advance(1000);
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.refreshes, 0);
}

TEST_F(TransferFunction, WritesTheSelectedCodeAndConfirmsItOnTheReply) {
  Record().transferFunction = 0;
  platform->OnModal(TChka::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TChka&>(d);
    // Set-up: the current characteristic in the greyed field and selected in the drop-down.
    EXPECT_EQ(Text(dialog, 811), "Линейная");
    EXPECT_FALSE(dialog.Item(811)->Enabled());
    EXPECT_EQ(dialog.Item(814)->Items(),
              (std::vector<std::string>{"Линейная", "Корень 2 ст.", "", "", "", ""}));
    EXPECT_EQ(dialog.Item(814)->Selection(), 0);

    ASSERT_TRUE(dialog.Item(814)->UserSelect(1));
    ASSERT_TRUE(dialog.Item(801)->UserClick());
    ExpectSentToRecord(dialog, ToRecord(0x2F, {0x01}));
    EXPECT_EQ(dialog.linkParam1, 3);
    EXPECT_EQ(dialog.linkParam2, 26);
    EXPECT_EQ(dialog.AwaitedCommand(), 47);
    platform->Advance(399);
    EXPECT_EQ(db.At(0).transferFunction, 0);  // nothing until the transmitter confirms
    EXPECT_FALSE(changed);

    platform->Advance(1);
    EXPECT_EQ(db.At(0).transferFunction, 1);
    EXPECT_EQ(dialog.Reply()[hart::kReplyData], 1);
    EXPECT_EQ(Text(dialog, 811), "Корень 2 ст.");
    EXPECT_EQ(dialog.Item(814)->Selection(), 1);
    EXPECT_EQ(dialog.AwaitedCommand(), 0);
    EXPECT_TRUE(changed);
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_EQ(Text(panel, 747), "Корень 2 ст.");

    // An unnamed slot is accepted too; its name is empty.
    ASSERT_TRUE(dialog.Item(814)->UserSelect(3));
    dialog.Item(801)->UserClick();
    EXPECT_EQ(Sent(dialog), ToRecord(0x2F, {0x03}));
    platform->Advance(400);
    EXPECT_EQ(db.At(0).transferFunction, 3);
    EXPECT_EQ(Text(dialog, 811), "");
    EXPECT_EQ(panel.refreshes, 2);

    // A reply with no write awaited still marks the file and refreshes the panel.
    changed = false;
    dialog.SendMessage(kEvReply);
    EXPECT_TRUE(changed);
    EXPECT_EQ(db.At(0).transferFunction, 3);
    EXPECT_EQ(panel.refreshes, 3);
    dialog.Item(2)->UserClick();
  });
  TChka dialog(nullptr, db, changed, memory, {}, &panel);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

// The operator may move the drop-down while the write waits for its reply: the record takes the
// characteristic that was sent.
TEST_F(TransferFunction, TheCodeSentIsStoredWhateverTheDropDownShowsByTheReply) {
  struct Case {
    int sent;
    int shownAfter;
    const char* name;
  };
  const Case cases[] = {{0, 1, "Линейная"}, {3, 0, ""}, {1, 2, "Корень 2 ст."}};
  Run([&](TChka& d) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.sent);
      ASSERT_TRUE(d.Item(814)->UserSelect(c.sent));
      ASSERT_TRUE(d.Item(801)->UserClick());
      platform->Advance(200);
      ASSERT_TRUE(d.Item(814)->UserSelect(c.shownAfter));
      platform->Advance(200);
      EXPECT_EQ(Record().transferFunction, c.sent);
      EXPECT_EQ(Text(d, 811), c.name);
      EXPECT_EQ(d.Item(814)->Selection(), c.sent);
      EXPECT_EQ(Text(panel, 747), c.name);
    }
  });
}

TEST_F(TransferFunction, UnmatchedCodeAndReselectionAndClosingDuringAWrite) {
  Record().transferFunction = 100;  // a name identification could not match
  platform->OnModal(TChka::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TChka&>(d);
    EXPECT_EQ(Text(dialog, 811), "");
    EXPECT_EQ(dialog.Item(814)->Selection(), 0);

    db.At(0).transferFunction = 1;
    dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(800, ui::kNotifySelectionChanged));
    EXPECT_EQ(Text(dialog, 811), "Корень 2 ст.");
    EXPECT_EQ(dialog.Item(814)->Selection(), 1);

    // Closing is not blocked by a write in progress, and no reply follows.
    dialog.Item(814)->UserSelect(0);
    dialog.Item(801)->UserClick();
    EXPECT_EQ(dialog.AwaitedCommand(), 47);
    dialog.Item(2)->UserClick();
    EXPECT_TRUE(dialog.Ended());
  });
  TChka dialog(nullptr, db, changed, memory, {}, nullptr);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  platform->Advance(1000);
  EXPECT_EQ(db.At(0).transferFunction, 1);
  EXPECT_FALSE(changed);
}

TEST_F(TransferFunction, TextThatNamesNoCharacteristicIsRefusedAndNothingIsSent) {
  platform->OnModal(TChka::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TChka&>(d);
    ASSERT_TRUE(dialog.Item(814)->UserType("Корень"));
    dialog.Item(801)->UserClick();
    EXPECT_EQ(dialog.requestLength, 0);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Такой характеристики нет в списке.\nВыбери характеристику из списка.");
    dialog.Item(2)->UserClick();
  });
  TChka dialog(nullptr, db, changed, memory, {}, nullptr);
  dialog.Execute();
  EXPECT_FALSE(changed);
}

TEST_F(TransferFunction, FailureEventsShowTheirMessagesAndKeepTheAwaitedCommand) {
  platform->OnModal(TChka::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TChka&>(d);
    dialog.Item(814)->UserSelect(0);
    dialog.Item(801)->UserClick();

    const EventCase cases[] = {
        {kEvNoAnswer, 0, "Отсутствие ответа.\nВыбери следующий преобразователь!!!", ""},
        {kEvStatusError, 2,
         "Отсутствие этой характеристики в преобразователе.\nВыбери другую характеристику.",
         "ОШИБКА ВЫБОРА ХАРАКТЕРИСТИКИ"},
        {kEvStatusError, 4,
         "Постоянная времени отлична от нуля.\nУбери постоянную времени.\n"
         "Характеристика не изменена.",
         "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
        {kEvStatusError, 1, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
         "ОШИБКА ВЫБОРА ХАРАКТЕРИСТИКИ"},
        {kEvStatusError, 3, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
         "ОШИБКА ВЫБОРА ХАРАКТЕРИСТИКИ"},
        {kEvLineBusy, 0, "Передача или нагрузка на линии.\nПередача не возможна!!!", ""},
    };
    for (const EventCase& c : cases) {
      ASSERT_NO_FATAL_FAILURE(ExpectOnlyBox(dialog, c));
      EXPECT_EQ(dialog.AwaitedCommand(), 47);
    }
    EXPECT_EQ(db.At(0).transferFunction, 1);
    EXPECT_FALSE(changed);
    EXPECT_EQ(panel.refreshes, 0);
  });
  TChka dialog(nullptr, db, changed, memory, {}, &panel);
  dialog.Execute();
}

TEST_F(TransferFunction, FromAnotherTransmitterTheConfirmedCodeIsStored) {
  FakeLink link;
  link.Answer(47, {0});  // the transmitter stays linear
  platform->OnModal(TChka::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TChka&>(d);
    ASSERT_TRUE(dialog.Item(814)->UserSelect(1));
    dialog.Item(801)->UserClick();
    EXPECT_EQ(link.Requests().back()[8], 1);
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(db.At(0).transferFunction, 0);
    EXPECT_EQ(Text(dialog, 811), "Линейная");
    EXPECT_EQ(dialog.Item(814)->Selection(), 0);
    EXPECT_EQ(dialog.AwaitedCommand(), 0);

    link.Answer(47, {});
    ASSERT_TRUE(dialog.Item(814)->UserSelect(1));
    dialog.Item(801)->UserClick();
    platform->Advance(400);
    EXPECT_EQ(db.At(0).transferFunction, 0);
    EXPECT_EQ(panel.refreshes, 1);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    EXPECT_EQ(LastBox().caption, "ОШИБКА ВЫБОРА ХАРАКТЕРИСТИКИ");
  });
  TChka dialog(nullptr, db, changed, memory, {{}, nullptr, &link}, &panel);
  dialog.Execute();
}

}  // namespace
