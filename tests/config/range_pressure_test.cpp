#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "config/range_pressure_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"

namespace {

std::uint32_t Bits(float v) { return std::bit_cast<std::uint32_t>(v); }

struct RangePressure : ListDialogTest<TZeroSpan> {
  void SetUp() override {
    Record().upperRange = 100.0f;
    Record().lowerRange = 0.0f;
  }

  std::string Result(TZeroSpan& d) { return d.Item(TZeroSpan::kResultId)->Text(); }
};

TEST_F(RangePressure, EachSetWritesItsEndThenReadsBack) {
  Run([&](TZeroSpan& dialog) {
    EXPECT_EQ(dialog.Caption(), "Изменение с помощью заданного давления");
    dialog.Item(TZeroSpan::kResultId)->SetText("старое");
    ASSERT_TRUE(dialog.Item(TZeroSpan::kSetEndButtonId)->UserClick());
    ExpectSentToRecord(dialog, ToRecord(0x24));
    EXPECT_EQ(dialog.linkParam1, 3);
    EXPECT_EQ(Result(dialog), "");
    EXPECT_EQ(dialog.AwaitedCommand(), 36);
    EXPECT_FALSE(changed);

    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Result(dialog), "Диапазон изменен");
    EXPECT_EQ(Bits(db.At(0).upperRange), Bits(125.0f));
    EXPECT_EQ(Bits(db.At(0).lowerRange), Bits(0.0f));
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_EQ(dialog.AwaitedCommand(), 15);
    ExpectSentToRecord(dialog, ToRecord(0x0F));

    changed = false;
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(dialog.AwaitedCommand(), 0);
    EXPECT_EQ(panel.refreshes, 2);  // the read-back's reply refreshes too
    EXPECT_EQ(Result(dialog), "Диапазон изменен");
    platform->Advance(2000);
    EXPECT_EQ(panel.refreshes, 2);

    ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
    ExpectSentToRecord(dialog, ToRecord(0x25));
    EXPECT_EQ(dialog.AwaitedCommand(), 37);
    platform->Advance(400);
    EXPECT_EQ(Result(dialog), "Ноль изменен");
    EXPECT_EQ(Bits(db.At(0).lowerRange), Bits(5.0f));
    EXPECT_EQ(Bits(db.At(0).upperRange), Bits(125.0f));
    EXPECT_EQ(dialog.Request()[6], 0x0F);
    platform->Advance(400);
    EXPECT_EQ(panel.refreshes, 4);

    // Selecting the transmitter clears the result.
    dialog.SendMessage(ui::kMsgCommand,
                       ui::MakeWParam(TLista::kListBoxId, ui::kNotifySelectionChanged));
    EXPECT_EQ(Result(dialog), "");
    dialog.Item(ui::kIdCancel)->UserClick();
  });
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(RangePressure, ANewSetReplacesAPendingOneAndClosingIsNotBlocked) {
  Run([&](TZeroSpan& dialog) {
    dialog.Item(TZeroSpan::kSetEndButtonId)->UserClick();
    platform->Advance(200);
    dialog.Item(TLista::kSendButtonId)->UserClick();
    platform->Advance(399);
    EXPECT_EQ(panel.refreshes, 0);
    platform->Advance(1);
    EXPECT_EQ(panel.refreshes, 1);
    EXPECT_EQ(Bits(db.At(0).lowerRange), Bits(5.0f));
    EXPECT_EQ(Bits(db.At(0).upperRange), Bits(100.0f));
    EXPECT_EQ(dialog.AwaitedCommand(), 15);
    dialog.SendMessage(ui::kMsgClose);
    platform->Advance(1000);
    EXPECT_EQ(panel.refreshes, 1);
  });
}

TEST_F(RangePressure, FailureEventsByResponseCodeAndAwaitedCommand) {
  Run([&](TZeroSpan& dialog) {
    auto raise = [&](int button, std::uint8_t code) {
      dialog.Item(button)->UserClick();
      dialog.frame[108] = code;
      dialog.SendMessage(kEvStatusError);
      EXPECT_EQ(dialog.AwaitedCommand(), 0) << "code " << int(code);
      return Result(dialog);
    };
    const int start = TLista::kSendButtonId;
    const int end = TZeroSpan::kSetEndButtonId;
    const char* error = "ОШИБКА ИЗМЕНЕНИЯ ДИАПАЗОНА";

    EXPECT_EQ(raise(start, 9), "Ноль не изменен");
    ExpectLastBox("Изменение вне\nверхнего диапазона преобразователя.\nУстановки не изменены.",
                  error);
    EXPECT_EQ(raise(end, 10), "Ноль не изменен");
    ExpectLastBox("Изменение вне\nнижнего диапазона преобразователя.\nУстановки не изменены.",
                  error);
    EXPECT_EQ(raise(start, 5), "");
    ExpectLastBox("Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!", error);

    dialog.Item(end)->UserClick();
    dialog.SendMessage(kEvLineBusy);
    ExpectLastBox("Передача или нагрузка на линии.\nПередача не возможна!!!", "");
    EXPECT_EQ(dialog.AwaitedCommand(), 36);
    dialog.SendMessage(kEvNoAnswer);
    ExpectLastBox("Отсутствие ответа.\nВыбери следующий преобразователь!!!", "");
    EXPECT_EQ(dialog.AwaitedCommand(), 0);

    // The reply arriving after the reset finds nothing awaited: the record stays.
    platform->Advance(400);
    EXPECT_EQ(Bits(db.At(0).lowerRange), Bits(0.0f));
    EXPECT_EQ(Bits(db.At(0).upperRange), Bits(100.0f));
    EXPECT_EQ(panel.refreshes, 1);
  });
}

TEST_F(RangePressure, EmptyDatabaseSendsNothing) {
  EmptyDatabase();
  TZeroSpan dialog(nullptr, db, changed, memory, {}, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(TLista::kSendButtonId, ui::kNotifyClicked));
  dialog.SendMessage(ui::kMsgCommand,
                     ui::MakeWParam(TZeroSpan::kSetEndButtonId, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_EQ(dialog.AwaitedCommand(), 0);
}

TEST_F(RangePressure, FromAnotherTransmitterTheRangeComesFromTheReadBack) {
  FakeLink link;
  link.likeARealLink = true;
  link.Answer(15, ReplyData({{250, 0, 12}, WireFloat(120.5f), {0x3E, 0x80, 0x00, 0x33},
                             WireFloat(0.0f), {250, 63}}));
  Run(
      [&](TZeroSpan& dialog) {
        ASSERT_TRUE(dialog.Item(TZeroSpan::kSetEndButtonId)->UserClick());
        platform->Advance(400);
        // 36 carries no data: the record waits for what 15 reads back.
        EXPECT_EQ(Result(dialog), "Диапазон изменен");
        EXPECT_EQ(Bits(db.At(0).upperRange), Bits(100.0f));
        EXPECT_EQ(dialog.AwaitedCommand(), 15);
        platform->Advance(400);
        EXPECT_EQ(Bits(db.At(0).upperRange), Bits(120.5f));
        EXPECT_EQ(Bits(db.At(0).lowerRange), Bits(0.25f));
        EXPECT_EQ(panel.refreshes, 2);
        EXPECT_TRUE(platform->MessageBoxes().empty());

        // 14 is a warning: the end was set, its caution shown, and the range read back.
        const struct {
          int button;
          std::uint8_t command;
          const char *text, *caption, *field;
        } warnings[] = {
            {TLista::kSendButtonId, 37,
             "Изменения установки\nширины диапазона преобразователя.\nУстановки изменены.",
             "ВНИМАНИЕ ИЗМЕНЕНИЯ ДИАПАЗОНА!", "Ноль изменен"},
            {TZeroSpan::kSetEndButtonId, 36,
             "Код ответа 14: Предупреждение: ширина диапазона слишком мала.", "",
             "Диапазон изменен"},
        };
        for (const auto& w : warnings) {
          link.Answer(w.command, {}, 14);
          ASSERT_TRUE(dialog.Item(w.button)->UserClick());
          platform->Advance(400);
          ASSERT_FALSE(platform->MessageBoxes().empty());
          EXPECT_EQ(LastBox().text, w.text);
          EXPECT_EQ(LastBox().caption, w.caption);
          EXPECT_EQ(Result(dialog), w.field);
          EXPECT_EQ(dialog.AwaitedCommand(), 15);
          platform->Advance(400);
          link.Answer(w.command, {});
        }
        platform->ClearMessageBoxes();

        // A read-back without the lower range value stores nothing.
        link.Answer(15, ReplyData({{250, 0, 12}, WireFloat(90.0f)}));
        ASSERT_TRUE(dialog.Item(TLista::kSendButtonId)->UserClick());
        platform->Advance(800);
        EXPECT_EQ(Result(dialog), "Ноль изменен");
        EXPECT_EQ(Bits(db.At(0).upperRange), Bits(120.5f));
        EXPECT_EQ(Bits(db.At(0).lowerRange), Bits(0.25f));
        EXPECT_EQ(dialog.AwaitedCommand(), 0);
        EXPECT_EQ(panel.refreshes, 7);
        ExpectLastBox("Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
                      "ОШИБКА ИЗМЕНЕНИЯ ДИАПАЗОНА");
        EXPECT_EQ(platform->MessageBoxes().size(), 1u);
        dialog.Item(ui::kIdCancel)->UserClick();
      },
      {{}, nullptr, &link});
}

}  // namespace
