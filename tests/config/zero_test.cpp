#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "config/zero_dialog.h"
#include "tests/support/list_dialog_test.h"

namespace {

using Zeroing = ListDialogTest<TPvZero>;

TEST_F(Zeroing, ZeroSendsCommand43AndLeavesRecordAndPanelAlone) {
  const TDaneIPPC before = db.At(0);
  Run([&](TPvZero& dialog) {
    EXPECT_EQ(dialog.Caption(), "Обнуление давлением");
    ui::Control& result = *dialog.Item(TPvZero::kResultId);
    EXPECT_FALSE(result.Enabled());
    EXPECT_EQ(result.TextLimit(), 10);
    EXPECT_EQ(result.Text(), "");

    for (int round = 1; round <= 2; ++round) {
      ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
      ExpectSentToRecord(dialog, ToRecord(0x2B));
      EXPECT_EQ(dialog.linkParam1, 3);
      EXPECT_EQ(result.Text(), "");
      EXPECT_EQ(changed, round == 2);
      platform->Advance(400);
      EXPECT_TRUE(changed);
      EXPECT_EQ(result.Text(), "Ноль OK");
    }
    result.SetText("");
    dialog.SendMessage(ui::kMsgCommand,
                       ui::MakeWParam(TLista::kListBoxId, ui::kNotifySelectionChanged));
    EXPECT_EQ(result.Text(), "Ноль OK");
  });
  EXPECT_EQ(db.At(0), before);
  EXPECT_EQ(panel.refreshes, 0);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(Zeroing, FailureMessages) {
  Run([&](TPvZero& dialog) {
    struct Case {
      std::uint8_t code;
      const char* text;
      const char* caption;
    };
    const char* other = "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!";
    const Case cases[] = {
        {2, "Неправильный выбор. Проверь соответствие единиц.\nНоль, Диапазон не изменен.",
         "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {9, "Обнуление вне диапазона\nверхней границы (+)5%.\nОбнуление не изменено.",
         "ОШИБКА ОБНУЛЕНИЯ"},
        {10, "Обнуление вне диапазона\nнижней границы (-)5%.\nОбнуление не изменено.",
         "ОШИБКА ОБНУЛЕНИЯ"},
        {16, "Преобразователь занят.\nПовтори попытку связи еще раз.", "ОШИБКА ПЕРЕДАЧИ"},
        {1, other, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
        {14, other, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
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
    EXPECT_EQ(dialog.Item(TPvZero::kResultId)->Text(), "");
  });
  EXPECT_FALSE(changed);
}

TEST_F(Zeroing, EmptyDatabaseSendsNothing) {
  EmptyDatabase();
  TPvZero dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(TLista::kSendButtonId, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
}

}  // namespace
