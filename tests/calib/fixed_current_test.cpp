#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "calib/fixed_current_dialog.h"
#include "tests/support/fake_link.h"
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

// The command-40 frame to the identified transmitter with the four data bytes given.
Bytes Command40(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  Bytes frame{0x82, 0x3F, 0x01, 0x00, 0x31, 0x0C, 0x28, 0x04, b0, b1, b2, b3};
  std::uint8_t sum = 0;
  for (std::uint8_t b : frame) sum ^= b;
  frame.push_back(sum);
  return frame;
}

struct FixedCurrent : ::testing::Test {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  bool changed = false;
  int memory = 0;
  PanelProbe panel;

  void SetUp() override { db.Append(IdentifiedRecord()); }

  void Run(const std::function<void(TUstawPrad&)>& body,
           const TSerialPortSettings& settings = {}) {
    platform->OnModal(TUstawPrad::kResourceId,
                      [&](ui::Dialog& d) { body(static_cast<TUstawPrad&>(d)); });
    TUstawPrad dialog(nullptr, db, changed, memory, settings, &panel);
    EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  }
};

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
        {"-1,5", Command40(0xBF, 0x80, 0x00, 0x00), "-1.000    "},  // a comma ends the number
        {"25.5", Command40(0x41, 0xCC, 0x00, 0x00), "25.50     "},  // no range check
    };
    for (const Case& c : cases) {
      changed = false;
      ASSERT_TRUE(field.UserType(c.typed));
      ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
      EXPECT_EQ(Bytes(dialog.Request().begin(), dialog.Request().end()), c.frame) << c.typed;
      EXPECT_EQ(dialog.preambleCount, 5);
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
    EXPECT_EQ(Bytes(dialog.Request().begin(), dialog.Request().end()), Command40(0, 0, 0, 0));
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
    // Nothing was awaited, so a stray reply shows nothing.
    dialog.SendMessage(kEvReply);
    EXPECT_TRUE(changed);
    EXPECT_EQ(dialog.Item(TUstawPrad::kCurrentId)->Text(), "");
  });
}

TEST_F(FixedCurrent, EmptyDatabaseSendsNothing) {
  db.Clear();
  platform->OnModal(TUstawPrad::kResourceId, [](ui::Dialog&) { ADD_FAILURE(); });
  TUstawPrad dialog(nullptr, db, changed, memory, {}, &panel);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!");
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(TLista::kSendButtonId, ui::kNotifyClicked));
  dialog.SendMessage(ui::kMsgCommand,
                     ui::MakeWParam(TUstawPrad::kFinishButtonId, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_EQ(dialog.AwaitedCommand(), 0);
}

TEST_F(FixedCurrent, WithARealLinkTheCurrentSetIsShown) {
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
