#include <gtest/gtest.h>

#include "record/packed_text.h"
#include "data/selection_list.h"
#include "ui/headless/headless_platform.h"

namespace {

constexpr int kResource = 890;

ui::DialogTemplate ListTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResource;
  tpl.rect = {0, 0, 160, 80};
  tpl.controls.push_back(
      {TLista::kSendButtonId, ui::ControlKind::DefPushButton, "Вышли", {10, 50, 50, 14}});
  tpl.controls.push_back({ui::kIdCancel, ui::ControlKind::PushButton, "Отмена", {70, 50, 50, 14}});
  TLista::AddListControls(tpl);
  return tpl;
}

class ProbeList : public TLista {
 public:
  ProbeList(TDane& db, bool& changed, int& memory)
      : TLista(nullptr, ListTemplate(), db, changed, memory, {}, nullptr) {}
  using TLista::list_;
  int sends = 0;
  std::string ListLine(int i) { return list_.State().Items().at(static_cast<std::size_t>(i)); }
  int ListCount() { return list_.Count(); }

 protected:
  void Send() override {
    ++sends;
    if (RecordsExist()) RequestCommand(*CurrentRecord(), 3, 3);
  }
};

TDaneIPPC Record(std::int32_t id, const char* tag) {
  TDaneIPPC record;
  record.deviceId = id;
  packed::EncodeFromEntry(tag, 8, record.tag);
  return record;
}

struct Fixture : ::testing::Test {
  ui::ScopedHeadlessPlatform platform;
  TDane db;
  bool changed = false;
  int memory = 0;
};

using SelectionList = Fixture;

TEST_F(SelectionList, EmptyDatabaseReportsAndCancels) {
  platform->OnModal(kResource, [](ui::Dialog&) { ADD_FAILURE() << "an empty list must not run"; });
  ProbeList dialog(db, changed, memory);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text,
            "Отсутствие рапорта преобразователя.\nВыполни идентификацию!!!");
  EXPECT_EQ(platform->MessageBoxes()[0].caption, "");
  EXPECT_EQ(platform->MessageBoxes()[0].flags & ui::kMbIconMask, ui::kMbIconStop);
  EXPECT_EQ(dialog.ListLine(0), "Файл пустой");
  EXPECT_FALSE(dialog.RecordsExist());
  EXPECT_EQ(memory, -1);  // nothing was selected in the list
}

TEST_F(SelectionList, ListsRecordsActsOnTheFirstAndMarksEveryReply) {
  db.Append(Record(12556, "PP11334"));
  db.Append(Record(77, "ДАВЛЕНИЕ"));
  db.Append(Record(5, "X"));
  platform->OnModal(kResource, [&](ui::Dialog& d) {
    auto& dialog = static_cast<ProbeList&>(d);
    EXPECT_EQ(dialog.ListCount(), 3);
    EXPECT_EQ(dialog.ListLine(0), "1:  12556");
    EXPECT_EQ(dialog.ListLine(2), "3:  5");
    EXPECT_FALSE(dialog.Item(TLista::kListBoxId)->Visible());
    EXPECT_FALSE(dialog.Item(TLista::kListLabelId)->Visible());
    EXPECT_EQ(dialog.CurrentRecord(), &db.At(0));
    dialog.Item(TLista::kSendButtonId)->UserClick();
    EXPECT_FALSE(changed);
    platform->Advance(400);
    EXPECT_TRUE(changed);
    dialog.Item(ui::kIdCancel)->UserClick();
  });
  ProbeList dialog(db, changed, memory);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  EXPECT_EQ(dialog.sends, 1);
  EXPECT_TRUE(platform->MessageBoxes().empty());
  EXPECT_EQ(memory, 0);
}

TEST_F(SelectionList, PopUpReListsByTagOrNumber) {
  db.Append(Record(12556, "PP11334"));
  db.Append(Record(77, "ДАВЛЕНИЕ"));
  memory = 1;
  platform->OnModal(kResource, [&](ui::Dialog& d) {
    auto& dialog = static_cast<ProbeList&>(d);
    platform->QueuePopupAnswer(1);
    dialog.SendMessage(ui::kMsgRButtonDown, 0);
    ASSERT_EQ(platform->PopupMenus().size(), 1u);
    EXPECT_EQ(platform->PopupMenus()[0],
              (std::vector<std::string>{"С помощью номера", "С помощью определителя"}));
    // By tag: the six-bit characters, not the Cyrillic the panel shows.
    EXPECT_EQ(dialog.ListLine(0), "1:  PP11334 ");
    EXPECT_EQ(dialog.ListLine(1), "2:  ]AB'EH%E");
    EXPECT_EQ(dialog.CurrentRecord(), &db.At(1));  // the remembered index
    platform->QueuePopupAnswer(0);
    dialog.SendMessage(ui::kMsgRButtonDown, 0);
    EXPECT_EQ(dialog.ListLine(1), "2:  77");
    dialog.SendMessage(ui::kMsgRButtonDown, 0);  // dismissed: nothing changes
    EXPECT_EQ(dialog.ListLine(1), "2:  77");
    // A selection in the (hidden) list goes back to the first record.
    dialog.SendMessage(ui::kMsgCommand,
                       ui::MakeWParam(TLista::kListBoxId, ui::kNotifySelectionChanged));
  });
  ProbeList dialog(db, changed, memory);
  dialog.Execute();
  EXPECT_EQ(dialog.CurrentRecord(), &db.At(0));
}

TEST_F(SelectionList, StaleSelectionMemoryFallsBackToTheFirstRecord) {
  db.Append(Record(1, "A"));
  memory = -1;
  platform->OnModal(kResource, [&](ui::Dialog& d) {
    auto& dialog = static_cast<ProbeList&>(d);
    EXPECT_EQ(dialog.list_.Selection(), -1);
    platform->QueuePopupAnswer(0);
    dialog.SendMessage(ui::kMsgRButtonDown, 0);
    EXPECT_EQ(dialog.CurrentRecord(), &db.At(0));
    dialog.SendMessage(ui::kMsgClose);
  });
  ProbeList dialog(db, changed, memory);
  EXPECT_EQ(dialog.Execute(), ui::kIdCancel);
  EXPECT_FALSE(changed);
}

}  // namespace
