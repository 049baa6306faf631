#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config/transfer_function_dialog.h"
#include "data/data_panel.h"
#include "tests/support/fake_link.h"
#include "tests/support/identified_record.h"
#include "ui/headless/headless_platform.h"
#include "ui/utf8.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The real data panel, counting the refreshes it is asked for.
class CountingPanel : public TMonitorHart {
 public:
  explicit CountingPanel(TDane& db) : TMonitorHart(nullptr, db) {}
  int shows = 0;

 protected:
  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override {
    if (message == kMsgShowRecord) ++shows;
    return TMonitorHart::HandleMessage(message, wParam, lParam);
  }
};

const ui::ControlTemplate& Find(const ui::DialogTemplate& tpl, int id) {
  for (const auto& c : tpl.controls)
    if (c.id == id) return c;
  ADD_FAILURE() << "no control " << id;
  return tpl.controls.front();
}

// Visible controls lie inside the dialog, leave 4.5 units per character and never overlap.
void ExpectLayoutFits(const ui::DialogTemplate& tpl) {
  std::vector<ui::ControlTemplate> shown;
  for (const auto& c : tpl.controls) {
    if (c.style & ui::kStyleHidden) continue;
    const bool group = c.kind == ui::ControlKind::GroupBox;
    EXPECT_LE(c.rect.x + c.rect.width, tpl.rect.width) << c.id;
    EXPECT_LE(c.rect.y + c.rect.height, tpl.rect.height) << c.id;
    EXPECT_GE(c.rect.width, 4.5 * static_cast<double>(ui::utf8::Length(c.text)) + (group ? 8 : 0))
        << c.id;
    if (!group) shown.push_back(c);
  }
  for (std::size_t i = 0; i < shown.size(); ++i) {
    for (std::size_t j = i + 1; j < shown.size(); ++j) {
      const ui::Rect& a = shown[i].rect;
      const ui::Rect& b = shown[j].rect;
      EXPECT_TRUE(a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y ||
                  b.y + b.height <= a.y)
          << shown[i].id << " overlaps " << shown[j].id;
    }
  }
}

struct Fixture : ::testing::Test {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  bool changed = false;
  int memory = 0;
  CountingPanel panel{db};

  std::string Text(ui::Window& w, int id) { return w.Item(id)->Text(); }
  Bytes Sent(const TChka& d) { return Bytes(d.Request().begin(), d.Request().end()); }
  const ui::MessageBoxRecord& LastBox() { return platform->MessageBoxes().back(); }
};

using TransferFunction = Fixture;

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
  for (const auto& [id, text] : texts) EXPECT_EQ(Find(tpl, id).text, text) << id;
  EXPECT_EQ(Find(tpl, 814).kind, ui::ControlKind::ComboBox);
  EXPECT_EQ(Find(tpl, 801).kind, ui::ControlKind::DefPushButton);
  EXPECT_EQ(Find(tpl, 802).kind, ui::ControlKind::GroupBox);
  ExpectLayoutFits(tpl);
}

TEST_F(TransferFunction, EmptyDatabaseReportsAndSendsNothing) {
  platform->OnModal(TChka::kResourceId, [](ui::Dialog&) { ADD_FAILURE() << "must not run"; });
  TChka dialog(nullptr, db, changed, memory, {}, &panel);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(LastBox().text, "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!");
  dialog.SendMessage(ui::kMsgCommand, ui::MakeWParam(801, ui::kNotifyClicked));
  EXPECT_EQ(dialog.requestLength, 0);
  EXPECT_EQ(dialog.AwaitedCommand(), 0);
  platform->Advance(1000);
  EXPECT_FALSE(changed);
  EXPECT_EQ(panel.shows, 0);
}

TEST_F(TransferFunction, WritesTheSelectedCodeAndConfirmsItOnTheReply) {
  TDaneIPPC record = IdentifiedRecord();
  record.preambles = 7;
  db.Append(record);
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
    EXPECT_EQ(Sent(dialog),
              (Bytes{0x82, 0x3F, 0x01, 0x00, 0x31, 0x0C, 0x2F, 0x01, 0x01, 0xAE}));
    EXPECT_EQ(dialog.preambleCount, 7);
    EXPECT_EQ(dialog.frameIsLong, 1);
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
    EXPECT_EQ(panel.shows, 1);
    EXPECT_EQ(Text(panel, 747), "Корень 2 ст.");

    // An unnamed slot is accepted too; its name is empty.
    ASSERT_TRUE(dialog.Item(814)->UserSelect(3));
    dialog.Item(801)->UserClick();
    EXPECT_EQ(dialog.Request()[8], 3);
    EXPECT_EQ(dialog.Request()[9], 0xAC);
    platform->Advance(400);
    EXPECT_EQ(db.At(0).transferFunction, 3);
    EXPECT_EQ(Text(dialog, 811), "");
    EXPECT_EQ(panel.shows, 2);

    // A reply with no write awaited still marks the file and refreshes the panel.
    changed = false;
    dialog.SendMessage(kEvReply);
    EXPECT_TRUE(changed);
    EXPECT_EQ(db.At(0).transferFunction, 3);
    EXPECT_EQ(panel.shows, 3);
    dialog.Item(2)->UserClick();
  });
  TChka dialog(nullptr, db, changed, memory, {}, &panel);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  EXPECT_TRUE(platform->MessageBoxes().empty());
}

TEST_F(TransferFunction, UnmatchedCodeAndReselectionAndClosingDuringAWrite) {
  TDaneIPPC record = IdentifiedRecord();
  record.transferFunction = 100;  // a name identification could not match
  db.Append(record);
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

TEST_F(TransferFunction, FailureEventsShowTheirMessagesAndKeepTheAwaitedCommand) {
  db.Append(IdentifiedRecord());
  platform->OnModal(TChka::kResourceId, [&](ui::Dialog& d) {
    auto& dialog = static_cast<TChka&>(d);
    dialog.Item(814)->UserSelect(1);
    dialog.Item(801)->UserClick();

    struct Case {
      unsigned event;
      std::uint8_t code;
      const char* text;
      const char* caption;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
      platform->ClearMessageBoxes();
      dialog.frame[108] = c.code;
      dialog.SendMessage(c.event);
      ASSERT_EQ(platform->MessageBoxes().size(), 1u) << c.text;
      EXPECT_EQ(LastBox().text, c.text);
      EXPECT_EQ(LastBox().caption, c.caption);
      EXPECT_EQ(LastBox().flags, ui::kMbOk | ui::kMbIconStop);
      EXPECT_EQ(dialog.AwaitedCommand(), 47);
    }
    EXPECT_EQ(db.At(0).transferFunction, 0);
    EXPECT_FALSE(changed);
    EXPECT_EQ(panel.shows, 0);
  });
  TChka dialog(nullptr, db, changed, memory, {}, &panel);
  dialog.Execute();
}

TEST_F(TransferFunction, WithARealLinkTheConfirmedCodeIsStored) {
  db.Append(IdentifiedRecord());
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
    EXPECT_EQ(panel.shows, 1);
    ASSERT_EQ(platform->MessageBoxes().size(), 1u);
    EXPECT_EQ(LastBox().text, "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!");
    EXPECT_EQ(LastBox().caption, "ОШИБКА ВЫБОРА ХАРАКТЕРИСТИКИ");
  });
  TChka dialog(nullptr, db, changed, memory, {{}, nullptr, &link}, &panel);
  dialog.Execute();
}

}  // namespace
