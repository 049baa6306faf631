#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "calib/fixed_current_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"

namespace {

// The command-40 frame with the four data bytes given.
Bytes Command40(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  return ToRecord(0x28, {b0, b1, b2, b3});
}

using FixedCurrent = ListDialogTest<TUstawPrad>;

TEST_F(FixedCurrent, TypedCurrentGoesOutAndComesBackConfirmed) {
  const TDaneIPPC before = db.At(0);
  Run([&](TUstawPrad& dialog) {
    EXPECT_EQ(dialog.Caption(), "Установка постоянного тока в линии");
    EXPECT_EQ(dialog.Item(TLista::kSendButtonId)->Text(), "Установи Напряжение");
    EXPECT_EQ(dialog.Item(TUstawPrad::kFinishButtonId)->Text(), "Закончи");
    EXPECT_EQ(dialog.Item(TUstawPrad::kFinishButtonId)->Kind(), ui::ControlKind::DefPushButton);
    ui::Control& field = *dialog.Item(TUstawPrad::kCurrentId);
    EXPECT_TRUE(field.Visible());
    EXPECT_TRUE(field.Enabled());
    EXPECT_EQ(field.TextLimit(), 40);

    struct Case {
      const char* typed;
      Bytes frame;
      const char* shown;
    };
    const Case cases[] = {
        {"12", Command40(0x41, 0x40, 0x00, 0x00), "12.00     "},
        // The lowest mantissa byte is dropped on the wire; the field shows what was typed.
        {"12.345", Command40(0x41, 0x45, 0x85, 0x00), "12.35     "},
        {"4", Command40(0x40, 0x80, 0x00, 0x00), "4.000     "},
        {"", Command40(0, 0, 0, 0), "0         "},
        {"мА", Command40(0, 0, 0, 0), "0         "},
        {"-1,5", Command40(0xBF, 0xC0, 0x00, 0x00), "-1.500    "},  // a decimal comma
        {"25.5", Command40(0x41, 0xCC, 0x00, 0x00), "25.50     "},  // no range check
    };
    for (const Case& c : cases) {
      changed = false;
      ASSERT_TRUE(field.UserType(c.typed));
      ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
      ExpectSentToRecord(dialog, c.frame);
      EXPECT_EQ(dialog.linkParam1, 3);
      EXPECT_EQ(field.Text(), "") << c.typed;
      EXPECT_EQ(dialog.AwaitedCommand(), 40);
      platform->Advance(400);
      EXPECT_TRUE(changed);
      EXPECT_EQ(field.Text(), c.shown) << c.typed;
      EXPECT_EQ(dialog.AwaitedCommand(), 40);
    }

    ASSERT_TRUE(field.UserType("7"));
    ASSERT_TRUE(dialog.Item(TUstawPrad::kFinishButtonId)->UserClick());
    EXPECT_EQ(Sent(dialog), Command40(0, 0, 0, 0));
    EXPECT_EQ(field.Text(), "");
    platform->Advance(400);
    EXPECT_EQ(field.Text(), "0         ");
    dialog.Item(ui::kIdCancel)->UserClick();
  });
  EXPECT_EQ(db.At(0), before);
  EXPECT_EQ(panel.refreshes, 0);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(FixedCurrent, OnlyTheLastOfQuickPressesIsConfirmedAndClosingSendsNothing) {
  Run([&](TUstawPrad& dialog) {
    ui::Control& field = *dialog.Item(TUstawPrad::kCurrentId);
    field.UserType("20");
    dialog.Item(TLista::kSendButtonId)->UserClick();
    platform->Advance(300);
    dialog.Item(TUstawPrad::kFinishButtonId)->UserClick();
    platform->Advance(300);
    EXPECT_EQ(field.Text(), "");
    platform->Advance(100);
    EXPECT_EQ(field.Text(), "0         ");
    EXPECT_EQ(dialog.Value(), 0.0f);

    field.UserType("20");
    dialog.Item(TLista::kSendButtonId)->UserClick();
    dialog.SendMessage(ui::kMsgClose);
    platform->Advance(1000);
    EXPECT_EQ(field.Text(), "");  // no reply reached the closed dialog
  });
}

TEST_F(FixedCurrent, FailureMessages) {
  Run([&](TUstawPrad& dialog) {
    struct Case {
      std::uint8_t code;
      const char* text;
      const char* caption;
    };
    const Case cases[] = {
        {3, "Величина калибровки очень большая.\nКалибровка напряжения не изменена.",
         "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {4, "Величина калибровки очень маленькая.\nКалибровка напряжения не изменена.",
         "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {10, "Ошибка токового кода.\nУстанови соответствующее напряжение на линии.",
         "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
        {11, "Адрес датчика отличный от нуля.\nУстанови адрес датчика на ноль.",
         "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
        {2, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!", ""},
        {12, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!", ""},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << "code " << int(c.code));
      dialog.frame[108] = c.code;
      dialog.SendMessage(kEvStatusError);
      ExpectLastBox(c.text, c.caption);
    }
    dialog.SendMessage(kEvNoAnswer);
    ExpectLastBox("Отсутствие ответа.\nВыбери следующий преобразователь!!!", "");
    dialog.SendMessage(kEvLineBusy);
    EXPECT_EQ(LastBox().text, "Передача или нагрузка на линии.\nПередача не возможна!!!");
    EXPECT_EQ(platform->MessageBoxes().size(), 8u);
    // Nothing was awaited, so a stray reply shows nothing.
    dialog.SendMessage(kEvReply);
    EXPECT_TRUE(changed);
    EXPECT_EQ(dialog.Item(TUstawPrad::kCurrentId)->Text(), "");
  });
}

TEST_F(FixedCurrent, EmptyDatabaseSendsNothing) {
  EmptyDatabase();
  TUstawPrad dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(TLista::kSendButtonId, ui::kNotifyClicked));
  dialog.SendMessage(ui::kMsgCommand,
                     ui::MakeWParam(TUstawPrad::kFinishButtonId, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_EQ(dialog.AwaitedCommand(), 0);
}

TEST_F(FixedCurrent, FromAnotherTransmitterTheCurrentSetIsShown) {
  FakeLink link;
  link.Answer(40, WireFloat(11.5f));
  const TDaneIPPC before = db.At(0);
  Run(
      [&](TUstawPrad& dialog) {
        ui::Control& field = *dialog.Item(TUstawPrad::kCurrentId);
        ASSERT_TRUE(field.UserType("12"));
        ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
        EXPECT_EQ(link.Requests().back(), Command40(0x41, 0x40, 0x00, 0x00));
        platform->Advance(400);
        EXPECT_TRUE(changed);
        EXPECT_EQ(field.Text(), "11.50     ");

        // The confirmation cut short: the field stays empty, the general message comes.
        link.Answer(40, {0x41, 0x40});
        ASSERT_TRUE(field.UserType("13"));
        ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
        platform->Advance(400);
        EXPECT_EQ(field.Text(), "");
        ASSERT_EQ(platform->MessageBoxes().size(), 1u);
        EXPECT_EQ(platform->MessageBoxes()[0].text,
                  "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
        EXPECT_EQ(platform->MessageBoxes()[0].caption, "");
        dialog.Item(ui::kIdCancel)->UserClick();
      },
      {{}, nullptr, &link});
  EXPECT_EQ(db.At(0), before);
}

}  // namespace
