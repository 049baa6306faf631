#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "calib/current_calibration_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"

namespace {

struct KalPradu : ListDialogTest<TKalPradu> {
  TSerialPortSettings settings;

  // The operator's actions in `body`, then Cancel.
  void Run(const std::function<void(TKalPradu&)>& body) { RunThenCancel(body, settings); }
};

TEST_F(KalPradu, TemplateHoldsEveryControlLaidOutWithoutOverlap) {
  const ui::DialogTemplate tpl = TKalPradu::BuildTemplate();
  EXPECT_EQ(tpl.resourceId, 922);
  EXPECT_EQ(tpl.caption, "Калибровка напряжения");
  EXPECT_EQ(tpl.fontFace, "MS Sans Serif");
  EXPECT_EQ(tpl.fontPointSize, 8);
  auto find = [&](int id) -> const ui::ControlTemplate& { return FindControl(tpl, id); };
  EXPECT_EQ(find(802).kind, ui::ControlKind::GroupBox);
  EXPECT_EQ(find(802).text, "Калибровка 4/20 [мА]");
  EXPECT_EQ(find(802).style & ui::kStyleHidden, 0u);
  EXPECT_EQ(find(812).text, "Запиши величину силы тока, считанную с амперметра [мА]");
  EXPECT_NE(find(812).style & ui::kStyleCenter, 0u);
  EXPECT_EQ(find(811).textLimit, 40);
  EXPECT_NE(find(811).style & ui::kStyleUpperCase, 0u);
  EXPECT_EQ(find(816).textLimit, 40);
  EXPECT_EQ(find(815).kind, ui::ControlKind::DefPushButton);
  EXPECT_EQ(find(815).text, "Закончи");
  EXPECT_EQ(find(2).text, "Отмена");
  EXPECT_EQ(find(813).kind, ui::ControlKind::Tab);
  EXPECT_NE(find(800).style & ui::kStyleHidden, 0u);
  EXPECT_NE(find(803).style & ui::kStyleHidden, 0u);

  const ui::Rect tab = find(813).rect;
  const ui::Rect frame = find(802).rect;
  EXPECT_TRUE(Inside(frame, tab));
  EXPECT_GE(frame.y, tab.y + 14);
  const ui::Rect dialog{0, 0, tpl.rect.width, tpl.rect.height};
  const std::vector<int> page{811, 814, 812, 816, 801};
  for (int id : page) EXPECT_TRUE(Inside(find(id).rect, frame)) << id;
  std::vector<int> separate = page;
  separate.insert(separate.end(), {815, 2, 813});
  for (int id : separate) EXPECT_TRUE(Inside(find(id).rect, dialog)) << id;
  separate.pop_back();  // the page lies on the tab control
  ExpectApart(tpl, separate);
  EXPECT_TRUE(Fits(find(812).text, find(812).rect));
  EXPECT_TRUE(Fits("Калибровка 20 [мА]", find(814).rect));
  EXPECT_TRUE(Fits("Установи 20 [мА]", find(801).rect));
  EXPECT_TRUE(Fits("Закончи", find(815).rect));
}

TEST_F(KalPradu, TabsRelabelTheButtonsOfOneSharedPage) {
  Run([&](TKalPradu& d) {
    EXPECT_EQ(d.Item(813)->Items(), (std::vector<std::string>{"Калибровка 4", "Калибровка 20"}));
    EXPECT_EQ(d.Item(813)->Selection(), 0);
    auto shown = [&](bool needEnabled) {
      std::set<int> ids;
      for (const auto& c : d.Controls())
        if (c->Visible() && (!needEnabled || c->Enabled())) ids.insert(c->Id());
      return ids;
    };
    const std::set<int> page{802, 811, 814, 812, 816, 801, 815, 2, 813};
    const std::set<int> usable{802, 811, 814, 812, 801, 815, 2, 813};
    EXPECT_EQ(shown(false), page);
    EXPECT_EQ(shown(true), usable);
    EXPECT_EQ(Text(d, 801), "Установи 4 [мА]");
    EXPECT_EQ(Text(d, 814), "Калибровка 4 [мА]");

    d.Item(811)->UserType("3.98");
    d.Item(816)->SetText("4.000     ");
    ASSERT_TRUE(d.Item(813)->UserSelect(1));
    EXPECT_EQ(shown(false), page);
    EXPECT_EQ(shown(true), usable);
    EXPECT_EQ(Text(d, 801), "Установи 20 [мА]");
    EXPECT_EQ(Text(d, 814), "Калибровка 20 [мА]");
    EXPECT_EQ(Text(d, 815), "Закончи");
    EXPECT_EQ(Text(d, 811), "3.98");  // the fields keep their texts
    EXPECT_EQ(Text(d, 816), "4.000     ");
    ASSERT_TRUE(d.Item(813)->UserSelect(0));
    EXPECT_EQ(Text(d, 801), "Установи 4 [мА]");
    EXPECT_EQ(Text(d, 814), "Калибровка 4 [мА]");
    EXPECT_FALSE(d.Item(816)->UserType("7"));
    EXPECT_EQ(d.requestLength, 0);
  });
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(KalPradu, FixedCurrentTrimAndFinishSendAndConfirm) {
  const TDaneIPPC before = db.At(0);
  Run([&](TKalPradu& d) {
    ASSERT_TRUE(d.Item(801)->UserClick());
    ExpectSentToRecord(d, ToRecord(40, {0x40, 0x80, 0x00, 0x00}));
    EXPECT_EQ(d.linkParam1, 3);
    EXPECT_EQ(d.AwaitedCommand(), 40);
    platform->Advance(399);
    EXPECT_FALSE(changed);
    EXPECT_EQ(Text(d, 816), "");
    platform->Advance(1);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Text(d, 816), "4.000     ");
    EXPECT_EQ(d.AwaitedCommand(), 40);  // not reset by the reply

    d.Item(811)->UserType("3.98");
    ASSERT_TRUE(d.Item(814)->UserClick());
    ExpectSentToRecord(d, ToRecord(45, {0x40, 0x7E, 0xB8, 0x00}));
    EXPECT_EQ(Text(d, 811), "");  // emptied at once
    platform->Advance(400);
    EXPECT_EQ(Text(d, 811), "3.980     ");
    EXPECT_EQ(Text(d, 816), "4.000     ");

    d.Item(813)->UserSelect(1);
    d.Item(801)->UserClick();
    ExpectSentToRecord(d, ToRecord(40, {0x41, 0xA0, 0x00, 0x00}));
    platform->Advance(400);
    EXPECT_EQ(Text(d, 816), "20.00     ");

    d.Item(811)->UserType("");
    d.Item(814)->UserClick();
    ExpectSentToRecord(d, ToRecord(46, {0x00, 0x00, 0x00, 0x00}));
    platform->Advance(400);
    EXPECT_EQ(Text(d, 811), "0         ");

    // The one-float frame carries the three-byte float: the lowest mantissa byte goes.
    d.Item(813)->UserSelect(0);
    d.Item(811)->UserType("12.345");
    d.Item(814)->UserClick();
    ExpectSentToRecord(d, ToRecord(45, {0x41, 0x45, 0x85, 0x00}));
    platform->Advance(400);
    EXPECT_EQ(Text(d, 811), "12.35     ");
    d.Item(811)->UserType("12");
    d.Item(814)->UserClick();
    ExpectSentToRecord(d, ToRecord(45, {0x41, 0x40, 0x00, 0x00}));
    platform->Advance(400);

    for (int tab : {0, 1}) {
      d.Item(813)->UserSelect(tab);
      ASSERT_TRUE(d.Item(815)->UserClick());
      ExpectSentToRecord(d, ToRecord(40, {0x00, 0x00, 0x00, 0x00}));
      EXPECT_EQ(d.AwaitedCommand(), 40);
      EXPECT_EQ(Text(d, 811), "12.00     ");  // finishing leaves the reading alone
      platform->Advance(400);
      EXPECT_EQ(Text(d, 816), "0         ");
    }

    // A later press replaces the awaited request: one reply, for the trim.
    d.Item(801)->UserClick();
    platform->Advance(300);
    d.Item(811)->UserType("4.1");
    d.Item(814)->UserClick();
    platform->Advance(399);
    EXPECT_EQ(Text(d, 811), "");
    platform->Advance(1);
    EXPECT_EQ(Text(d, 811), "4.100     ");
    EXPECT_EQ(Text(d, 816), "0         ");
  });
  // The transmitter confirms currents: nothing of the record changes, the panel is left alone.
  EXPECT_EQ(db.At(0).unitCode, before.unitCode);
  EXPECT_EQ(db.At(0).upperRange, before.upperRange);
  EXPECT_EQ(panel.refreshes, 0);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(KalPradu, FailureEventsByResponseCodeWhateverIsAwaited) {
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
      // The last row keeps the range caption (the fixed loop current dialog's does not).
      {12, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
       "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
      {0x80, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
       "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
  };
  Run([&](TKalPradu& d) {
    for (int awaited : {0, 40, 46}) {
      if (awaited == 40) d.Item(801)->UserClick();
      if (awaited == 46) {
        d.Item(813)->UserSelect(1);
        d.Item(814)->UserClick();
      }
      for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << int(c.code) << " awaiting " << awaited);
        d.frame[108] = c.code;
        d.SendMessage(kEvStatusError);
        ASSERT_NO_FATAL_FAILURE(ExpectLastBox(c.text, c.caption));
        EXPECT_EQ(d.AwaitedCommand(), awaited);
      }
    }
    d.SendMessage(kEvNoAnswer);
    ExpectLastBox("Отсутствие ответа.\nВыбери следующий преобразователь!!!", "");
    d.SendMessage(kEvLineBusy);
    ExpectLastBox("Передача или нагрузка на линии.\nПередача не возможна!!!", "");
    EXPECT_EQ(d.AwaitedCommand(), 46);
    EXPECT_FALSE(changed);
  });
}

TEST_F(KalPradu, EmptyDatabaseShowsTheListMessageAndSendsNothing) {
  EmptyDatabase();
  TKalPradu dialog(nullptr, db, changed, memory, settings, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  EXPECT_EQ(platform->MessageBoxes()[0].flags & ui::kMbIconMask, ui::kMbIconStop);
  for (int id : {801, 814, 815})
    dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(id, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_EQ(dialog.AwaitedCommand(), 0);
  platform->Advance(1000);
  EXPECT_FALSE(changed);
}

TEST_F(KalPradu, FromAnotherTransmitterTheConfirmedCurrentsAreShown) {
  FakeLink link;
  settings.link = &link;
  link.Answer(40, WireFloat(20.0f));
  link.Answer(45, WireFloat(4.0f));
  link.Answer(46, {0x41});
  Run([&](TKalPradu& d) {
    d.Item(801)->UserClick();
    EXPECT_EQ(link.Requests().back(), ToRecord(40, {0x40, 0x80, 0x00, 0x00}));
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Text(d, 816), "20.00     ");

    d.Item(811)->UserType("3.98");
    d.Item(814)->UserClick();
    platform->Advance(400);
    EXPECT_EQ(Text(d, 811), "4.000     ");
    EXPECT_TRUE(platform->MessageBoxes().empty());

    // One byte of the trim's float: the general message of this dialog, the field stays empty.
    d.Item(813)->UserSelect(1);
    d.Item(811)->UserType("20.1");
    d.Item(814)->UserClick();
    platform->Advance(400);
    EXPECT_EQ(Text(d, 811), "");
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    EXPECT_EQ(platform->MessageBoxes()[0].caption, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");
  });
}

}  // namespace
