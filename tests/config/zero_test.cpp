#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "config/zero_dialog.h"
#include "tests/support/identified_record.h"
#include "ui/headless/headless_platform.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class PanelProbe : public ui::Window {
 public:
  PanelProbe() : ui::Window(nullptr) {}
  int refreshes = 0;

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override {
    if (message == kMsgShowRecord) ++refreshes;
    return ui::Window::HandleMessage(message, wParam, lParam);
  }
};

struct Zeroing : ::testing::Test {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  bool changed = false;
  int memory = 0;
  PanelProbe panel;

  void SetUp() override { db.Append(IdentifiedRecord()); }

  void Run(const std::function<void(TPvZero&)>& body) {
    platform->OnModal(TPvZero::kResourceId,
                      [&](ui::Dialog& d) { body(static_cast<TPvZero&>(d)); });
    TPvZero dialog(nullptr, db, changed, memory, {}, &panel);
    EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  }
};

TEST_F(Zeroing, ZeroSendsCommand43AndLeavesRecordAndPanelAlone) {
  db.At(0).preambles = 9;
  const TDaneIPPC before = db.At(0);
  Run([&](TPvZero& dialog) {
    EXPECT_EQ(dialog.Caption(), "Обнуление давлением");
    ui::Control& result = *dialog.Item(TPvZero::kResultId);
    EXPECT_FALSE(result.Enabled());
    EXPECT_EQ(result.TextLimit(), 10);
    EXPECT_EQ(result.Text(), "");

    const Bytes expected{0x82, 0x3F, 0x01, 0x00, 0x31, 0x0C, 0x2B, 0x00, 0xAA};
    for (int round = 1; round <= 2; ++round) {
      ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
      EXPECT_EQ(Bytes(dialog.Request().begin(), dialog.Request().end()), expected);
      EXPECT_EQ(dialog.preambleCount, 9);
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
      dialog.frame[108] = c.code;
      dialog.SendMessage(kEvStatusError);
      const ui::MessageBoxRecord& box = platform->MessageBoxes().back();
      EXPECT_EQ(box.text, c.text) << "code " << int(c.code);
      EXPECT_EQ(box.caption, c.caption) << "code " << int(c.code);
      EXPECT_EQ(box.flags, ui::kMbOk | ui::kMbIconStop);
    }
    dialog.SendMessage(kEvNoAnswer);
    EXPECT_EQ(platform->MessageBoxes().back().text,
              "Отсутствие ответа.\nВыбери следующий преобразователь!!!");
    EXPECT_EQ(platform->MessageBoxes().back().caption, "");
    EXPECT_EQ(platform->MessageBoxes().back().flags, ui::kMbOk | ui::kMbIconStop);
    dialog.SendMessage(kEvLineBusy);
    EXPECT_EQ(platform->MessageBoxes().back().text,
              "Передача или нагрузка на линии.\nПередача не возможна!!!");
    EXPECT_EQ(platform->MessageBoxes().size(), 8u);
    EXPECT_EQ(dialog.Item(TPvZero::kResultId)->Text(), "");
  });
  EXPECT_FALSE(changed);
}

TEST_F(Zeroing, EmptyDatabaseSendsNothing) {
  db.Clear();
  platform->OnModal(TPvZero::kResourceId, [](ui::Dialog&) { ADD_FAILURE(); });
  TPvZero dialog(nullptr, db, changed, memory, {}, &panel);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!");
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(TLista::kSendButtonId, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
}

}  // namespace
