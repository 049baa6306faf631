#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <set>
#include <vector>

#include "calib/pressure_calibration_dialog.h"
#include "tests/support/fake_link.h"
#include "tests/support/list_dialog_test.h"

namespace {

struct KalCisnienia : ListDialogTest<TKalCisnienia> {
  TSerialPortSettings settings;

  // Runs the dialog with `body` as the operator, then closes it.
  void Run(const std::function<void(TKalCisnienia&)>& body) { RunThenCancel(body, settings); }
};

TEST_F(KalCisnienia, TemplateHoldsEveryControlLaidOutWithoutOverlap) {
  const ui::DialogTemplate tpl = TKalCisnienia::BuildTemplate();
  EXPECT_EQ(tpl.resourceId, 900);
  EXPECT_EQ(tpl.caption, "Калибровка давления");
  EXPECT_EQ(tpl.fontFace, "MS Sans Serif");
  EXPECT_EQ(tpl.fontPointSize, 8);

  auto find = [&](int id) -> const ui::ControlTemplate& { return FindControl(tpl, id); };
  EXPECT_EQ(find(802).kind, ui::ControlKind::GroupBox);
  EXPECT_EQ(find(802).text, "Калибровка начала и конца установленного диапазона");
  EXPECT_EQ(find(802).style & ui::kStyleHidden, 0u);
  EXPECT_EQ(find(902).text, "Запиши величину давления установленную с задатчика.");
  EXPECT_NE(find(902).style & ui::kStyleCenter, 0u);
  EXPECT_EQ(find(901).textLimit, 40);
  EXPECT_NE(find(901).style & ui::kStyleUpperCase, 0u);
  EXPECT_EQ(find(906).textLimit, 40);
  for (int unit : {907, 908}) {
    EXPECT_EQ(find(unit).kind, ui::ControlKind::Edit);
    EXPECT_EQ(find(unit).textLimit, 20);
    EXPECT_NE(find(unit).style & ui::kStyleDisabled, 0u);
  }
  EXPECT_EQ(find(903).kind, ui::ControlKind::Tab);
  EXPECT_EQ(find(904).kind, ui::ControlKind::PushButton);
  EXPECT_EQ(find(801).kind, ui::ControlKind::PushButton);
  EXPECT_EQ(find(2).text, "Отмена");
  EXPECT_NE(find(800).style & ui::kStyleHidden, 0u);
  EXPECT_NE(find(803).style & ui::kStyleHidden, 0u);

  // The page's controls sit inside the frame, the frame under the tab strip, all in the dialog;
  // no two of them overlap, and the longest texts they ever carry fit.
  const ui::Rect tab = find(903).rect;
  const ui::Rect frame = find(802).rect;
  EXPECT_TRUE(Inside(frame, tab));
  EXPECT_GE(frame.y, tab.y + 14);
  EXPECT_TRUE(Inside(tab, {0, 0, tpl.rect.width, tpl.rect.height}));
  const std::vector<int> page{907, 901, 904, 902, 908, 906, 801};
  for (int id : page) EXPECT_TRUE(Inside(find(id).rect, frame)) << id;
  std::vector<int> separate = page;
  separate.push_back(2);
  ExpectApart(tpl, separate);
  EXPECT_TRUE(Fits(find(902).text, find(902).rect));
  EXPECT_TRUE(Fits(find(802).text, frame));
  EXPECT_TRUE(Fits("Калибруй начало", find(904).rect));
  EXPECT_TRUE(Fits("Читай Давление", find(801).rect));
  EXPECT_TRUE(Fits("[дюйм вод ст в 68°F]", find(907).rect));
  EXPECT_TRUE(Fits("Калибровка начала", {0, 0, tab.width / 2, 0}));
}

TEST_F(KalCisnienia, SetUpAndTabsShowTheSamePageWithItsOwnButtonText) {
  Run([&](TKalCisnienia& d) {
    const ui::Control& tab = *d.Item(903);
    EXPECT_EQ(tab.Items(), (std::vector<std::string>{"Калибровка начала", "Калибровка конца"}));
    EXPECT_EQ(tab.Selection(), 0);
    EXPECT_EQ(Text(d, 907), "[Bar]");
    EXPECT_EQ(Text(d, 908), "[Bar]");
    EXPECT_EQ(d.UnitCode(), 7);

    // Both points use one page: the same controls shown and enabled, only 904 relabelled.
    auto shown = [&] {
      std::set<int> ids;
      for (const auto& c : d.Controls())
        if (c->Visible()) ids.insert(c->Id());
      return ids;
    };
    auto enabled = [&] {
      std::set<int> ids;
      for (const auto& c : d.Controls())
        if (c->Visible() && c->Enabled()) ids.insert(c->Id());
      return ids;
    };
    const std::set<int> page{802, 907, 901, 904, 902, 908, 906, 801, 903, 2};
    const std::set<int> usable{802, 901, 904, 902, 801, 903, 2};
    EXPECT_EQ(shown(), page);
    EXPECT_EQ(enabled(), usable);
    EXPECT_EQ(Text(d, 801), "Читай Давление");
    EXPECT_EQ(Text(d, 904), "Калибруй начало");

    d.Item(901)->UserType("1.5");
    d.Item(906)->SetText("stale");
    ASSERT_TRUE(d.Item(903)->UserSelect(1));
    EXPECT_EQ(shown(), page);
    EXPECT_EQ(enabled(), usable);
    EXPECT_EQ(Text(d, 801), "Читай Давление");
    EXPECT_EQ(Text(d, 904), "Калибруй конец");
    EXPECT_EQ(Text(d, 901), "");  // a tab change empties both value fields
    EXPECT_EQ(Text(d, 906), "");
    EXPECT_EQ(Text(d, 907), "[Bar]");

    ASSERT_TRUE(d.Item(903)->UserSelect(0));
    EXPECT_EQ(Text(d, 904), "Калибруй начало");
    EXPECT_FALSE(d.Item(906)->UserType("5"));  // the reading is the transmitter's
  });
  EXPECT_TRUE(platform->MessageBoxes().empty());
  EXPECT_FALSE(changed);
}

TEST_F(KalCisnienia, ReadingShowsTheSimulatedPressureOfEachTab) {
  Run([&](TKalCisnienia& d) {
    d.Item(907)->SetText("stale");
    d.Item(908)->SetText("stale");
    ASSERT_TRUE(d.Item(801)->UserClick());
    ExpectSentToRecord(d, ToRecord(0x01));
    EXPECT_EQ(d.linkParam1, 3);
    EXPECT_EQ(d.AwaitedCommand(), 1);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(d.Value()), 0x4016147Bu);
    platform->Advance(399);
    EXPECT_FALSE(changed);
    EXPECT_EQ(Text(d, 906), "");
    platform->Advance(1);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Text(d, 906), "2.345     ");
    EXPECT_EQ(Text(d, 907), "[Bar]");
    EXPECT_EQ(Text(d, 908), "[Bar]");
    EXPECT_EQ(d.AwaitedCommand(), 0);

    d.Item(903)->UserSelect(1);
    d.Item(801)->UserClick();
    EXPECT_EQ(std::bit_cast<std::uint32_t>(d.Value()), 0x4376E666u);
    platform->Advance(400);
    EXPECT_EQ(Text(d, 906), "246.9     ");
    platform->Advance(2000);  // one request, one reply
  });
  EXPECT_EQ(db.At(0).unitCode, 7);
  EXPECT_EQ(panel.refreshes, 0);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(KalCisnienia, CalibrationSendsThePointAndShowsItsNewReading) {
  Run([&](TKalCisnienia& d) {
    d.Item(908)->SetText("keep");
    d.Item(907)->SetText("stale");
    d.Item(901)->UserType("1.5");
    ASSERT_TRUE(d.Item(904)->UserClick());
    ExpectSentToRecord(d, ToRecord(0x43, {0x00, 0x07, 0x3F, 0xC0, 0x00, 0x00}));
    EXPECT_EQ(d.AwaitedCommand(), 67);
    EXPECT_EQ(Text(d, 901), "");  // emptied at once
    EXPECT_FALSE(changed);
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Text(d, 901), "0         ");
    EXPECT_EQ(Text(d, 907), "[Bar]");
    EXPECT_EQ(Text(d, 908), "keep");  // only the calibration row's unit is shown again
    EXPECT_EQ(d.AwaitedCommand(), 0);

    d.Item(903)->UserSelect(1);
    d.Item(901)->UserType("250");
    d.Item(904)->UserClick();
    ExpectSentToRecord(d, ToRecord(0x44, {0x00, 0x07, 0x43, 0x7A, 0x00, 0x00}));
    platform->Advance(400);
    EXPECT_EQ(Text(d, 901), "250.0     ");
    EXPECT_EQ(d.Value(), 250.0f);

    // Nothing typed, or letters only: 0.0 goes out.
    d.Item(901)->UserType("abc");
    d.Item(904)->UserClick();
    const Bytes zero(d.Request().begin() + 10, d.Request().begin() + 14);
    EXPECT_EQ(zero, (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(d.Value(), 0.0f);
    platform->Advance(400);
    EXPECT_EQ(Text(d, 901), "250.0     ");
  });
  EXPECT_EQ(panel.refreshes, 0);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(KalCisnienia, MegapascalRecordAndALaterPressReplacingTheAwaitedCommand) {
  db.At(0).unitCode = 237;
  Run([&](TKalCisnienia& d) {
    EXPECT_EQ(Text(d, 907), "[МПа]");
    EXPECT_EQ(Text(d, 908), "[МПа]");
    d.Item(801)->UserClick();
    platform->Advance(200);
    d.Item(901)->UserType("0");
    d.Item(904)->UserClick();  // within the reading's 400 ms
    ExpectSentToRecord(d, ToRecord(0x43, {0x00, 0xED, 0x00, 0x00, 0x00, 0x00}));
    platform->Advance(399);
    EXPECT_FALSE(changed);
    platform->Advance(1);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Text(d, 906), "");  // the reading never completed
    EXPECT_EQ(Text(d, 901), "0         ");
    EXPECT_EQ(d.AwaitedCommand(), 0);
    // A reply with nothing awaited only marks the change.
    changed = false;
    d.Item(901)->SetText("x");
    d.SendMessage(kEvReply);
    EXPECT_TRUE(changed);
    EXPECT_EQ(Text(d, 901), "x");
  });
  EXPECT_EQ(db.At(0).unitCode, 237);
}

TEST_F(KalCisnienia, FailureEventsByAwaitedCommandAndResponseCode) {
  struct Case {
    std::uint8_t code;
    const char* text;
    const char* caption;
  };
  const Case cases[] = {
      {3, "Величина калибровки очень большая.\nКалибровка не изменена.",
       "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
      {4, "Величина калибровки очень маленькая.\nКалибровка не изменена.",
       "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ"},
      {10,
       "Очень узкий диапазон калибровки\nили попытка реверса характеристики.\nКалибровка не "
       "изменена.",
       "ОШИБКА КАЛИБРОВКИ"},
      {11,
       "Преобразователь имеет АДРЕС ДАТЧИКА отличный от нуля.\nУстанови АДРЕС ДАТЧИКА равный 0 "
       "для преобразователя.",
       "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
      {12, "Неправильные единицы.\nУстанови единицы, в которых считает преобразователь.",
       "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
      {13,
       "Очень большая разница\nмежду давлением калибровки и измеренным давлением.\nПроверь "
       "герметичность системы.\nКалибровка не изменена.",
       "ОШИБКА КАЛИБРОВКИ"},
      {14,
       "Очень большая разница\nмежду давлением калибровки и измеренным давлением.\nПроверь "
       "герметичность системы.\nКалибровка не изменена.",
       "ОШИБКА КАЛИБРОВКИ"},
      {15, "Неправильный выбор измерительного канала.\nВыбери соответствующий канал.",
       "ОШИБКА УСТАНОВКИ ПРЕОБРАЗОВАТЕЛЯ"},
      {1, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!", ""},
      {16, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!", ""},
  };
  Run([&](TKalCisnienia& d) {
    // Idle: a status says nothing.
    d.frame[108] = 3;
    d.SendMessage(kEvStatusError);
    EXPECT_TRUE(platform->MessageBoxes().empty());

    d.Item(801)->UserClick();
    d.SendMessage(kEvStatusError);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    ExpectLastBox("Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!",
                  "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");
    EXPECT_EQ(d.AwaitedCommand(), 1);

    d.Item(904)->UserClick();
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << int(c.code));
      d.frame[108] = c.code;
      d.SendMessage(kEvStatusError);
      ExpectLastBox(c.text, c.caption);
      EXPECT_EQ(d.AwaitedCommand(), 67);
    }

    d.SendMessage(kEvNoAnswer);
    ExpectLastBox("Отсутствие ответа.\nВыбери следующий преобразователь!!!", "");
    d.SendMessage(kEvLineBusy);
    ExpectLastBox("Передача или нагрузка на линии.\nПередача не возможна!!!", "");
    EXPECT_EQ(d.AwaitedCommand(), 67);
    EXPECT_EQ(platform->MessageBoxes().size(), 2u + std::size(cases) + 1u);
    EXPECT_FALSE(changed);  // failures are not replies
  });
}

TEST_F(KalCisnienia, EmptyDatabaseShowsTheListMessageAndSendsNothing) {
  EmptyDatabase();
  TKalCisnienia dialog(nullptr, db, changed, memory, settings, &panel);
  ASSERT_NO_FATAL_FAILURE(ExpectRefusedForEmptyDatabase(dialog));
  // Even when driven directly, neither button builds a request.
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(801, ui::kNotifyClicked));
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(904, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_EQ(dialog.AwaitedCommand(), 0);
  platform->Advance(1000);
  EXPECT_FALSE(changed);
}

TEST_F(KalCisnienia, FromAnotherTransmitterReadingAndCalibrationComeFromTheReplies) {
  FakeLink link;
  settings.link = &link;
  link.Answer(1, ReplyData({{237}, {0x40, 0x20, 0x00, 0x99}}));
  link.Answer(67, ReplyData({{0, 12}, WireFloat(0.5f)}));
  Run([&](TKalCisnienia& d) {
    d.Item(801)->UserClick();
    platform->Advance(400);
    EXPECT_TRUE(changed);
    EXPECT_EQ(d.Value(), 2.5f);
    EXPECT_EQ(Text(d, 906), "2.500     ");
    EXPECT_EQ(Text(d, 907), "[МПа]");
    EXPECT_EQ(Text(d, 908), "[МПа]");
    EXPECT_EQ(db.At(0).unitCode, 237);
    EXPECT_EQ(panel.refreshes, 1);  // the panel shows the unit the record now holds

    d.Item(901)->UserType("1.5");
    d.Item(904)->UserClick();
    EXPECT_EQ(link.Requests().back()[9], 237);
    platform->Advance(400);
    EXPECT_EQ(Text(d, 901), "0.5000    ");
    EXPECT_EQ(Text(d, 907), "[кПа]");
    EXPECT_EQ(Text(d, 908), "[МПа]");
    EXPECT_EQ(db.At(0).unitCode, 12);
    EXPECT_EQ(panel.refreshes, 2);
    EXPECT_EQ(d.AwaitedCommand(), 0);
    EXPECT_TRUE(platform->MessageBoxes().empty());

    // A reading without its pressure: the reading's status message, nothing shown or stored.
    link.Answer(1, {237});
    d.Item(801)->UserClick();
    platform->Advance(400);
    EXPECT_EQ(Text(d, 906), "2.500     ");
    EXPECT_EQ(db.At(0).unitCode, 12);
    EXPECT_EQ(d.AwaitedCommand(), 1);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(platform->MessageBoxes()[0].text,
              "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    EXPECT_EQ(platform->MessageBoxes()[0].caption, "ОШИБКА ДИАПАЗОНА ПЕРЕМЕННОЙ");
  });
}

}  // namespace
