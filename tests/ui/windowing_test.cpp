#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/headless/headless_platform.h"

namespace {

using ui::ControlKind;

ui::DialogTemplate SmallTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = 42;
  tpl.caption = "Проба";
  tpl.rect = {0, 0, 100, 60};
  tpl.controls = {
      {10, ControlKind::Edit, "", {4, 4, 40, 12}, ui::kStyleUpperCase, 5},
      {11, ControlKind::Edit, "0", {4, 20, 40, 12}, ui::kStyleNone, 4},
      {12, ControlKind::CheckBox, "Флажок", {4, 36, 40, 10}},
      {13, ControlKind::ComboBox, "", {50, 4, 40, 40}},
      {14, ControlKind::PushButton, "Скрыта", {50, 20, 40, 12}, ui::kStyleHidden},
      {2, ControlKind::PushButton, "Отмена", {50, 40, 40, 12}},
  };
  return tpl;
}

// Records what reaches it, in order.
class ProbeDialog : public ui::Dialog {
 public:
  explicit ProbeDialog(ui::Window* parent = nullptr) : ui::Dialog(parent, SmallTemplate()) {}
  std::vector<std::string> events;

 protected:
  void OnCommand(int id, unsigned code) override {
    events.push_back("command " + std::to_string(id) + "/" + std::to_string(code));
  }
  void OnTimer(int id) override {
    events.push_back("timer " + std::to_string(id) + " at " +
                     std::to_string(ui::ThePlatform().NowMs()));
    if (id == 7) KillTimer(7);
  }
  ui::LResult HandleMessage(unsigned message, ui::WParam w, ui::LParam l) override {
    if (message == 117) events.push_back("broadcast " + std::to_string(w));
    return ui::Dialog::HandleMessage(message, w, l);
  }
};

TEST(Timers, FireInTimeOrderRepeatUntilKilledAndReArmOnSet) {
  ui::ScopedHeadlessPlatform platform;
  ProbeDialog dialog;
  dialog.CreateModeless();
  dialog.SetTimer(5, 300);
  dialog.SetTimer(7, 100);  // killed by its handler: one-shot
  platform->Advance(650);
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"timer 7 at 100", "timer 5 at 300",
                                                      "timer 5 at 600"}));
  EXPECT_EQ(platform->NowMs(), 650);

  dialog.events.clear();
  platform->Advance(200);  // 850
  dialog.SetTimer(5, 300);  // re-armed: next at 1150, not 900
  platform->Advance(299);
  EXPECT_TRUE(dialog.events.empty());
  platform->Advance(1);
  EXPECT_EQ(dialog.events, (std::vector<std::string>{"timer 5 at 1150"}));

  dialog.EndDialog(ui::kIdOk);
  EXPECT_FALSE(platform->TimerRunning(dialog, 5));
}

TEST(Controls, TypingFollowsLimitUpperCaseAndNotifiesOwner) {
  ui::ScopedHeadlessPlatform platform;
  ProbeDialog dialog;
  dialog.CreateModeless();
  ui::Control& edit = *dialog.Item(10);
  EXPECT_TRUE(edit.UserType("абвгд ёж"));  // limit 5 counts the terminating null
  EXPECT_EQ(edit.Text(), "АБВГ");
  edit.SetText("длинный текст программы");  // a program's own text is set whole
  EXPECT_EQ(edit.Text(), "длинный текст программы");
  EXPECT_EQ(dialog.events.back(), "command 10/2");

  ui::Control& check = *dialog.Item(12);
  EXPECT_TRUE(check.UserClick());
  EXPECT_TRUE(check.Checked());
  check.UserClick();
  EXPECT_FALSE(check.Checked());

  EXPECT_FALSE(dialog.Item(14)->UserClick());  // hidden buttons cannot be pressed
  dialog.Item(11)->SetEnabled(false);
  EXPECT_FALSE(dialog.Item(11)->UserType("7"));
  EXPECT_EQ(dialog.Item(11)->Text(), "0");
}

TEST(Controls, ComboSelectionAndTypedText) {
  ui::ScopedHeadlessPlatform platform;
  ProbeDialog dialog;
  ui::ComboBox combo(dialog, 13);
  combo.Add("[кПа]");
  combo.Add("[Па]");
  combo.SetSelection(1);
  EXPECT_EQ(combo.Text(), "[Па]");
  combo.SetSelection(5);
  EXPECT_EQ(combo.Selection(), -1);
  dialog.CreateModeless();
  dialog.Item(13)->UserType("[кПа]");
  EXPECT_EQ(combo.Selection(), 0);
  dialog.Item(13)->UserType("что-то");
  EXPECT_EQ(combo.Selection(), -1);
  EXPECT_TRUE(dialog.Item(13)->UserSelect(1));
  EXPECT_EQ(dialog.events.back(), "command 13/1");
}

TEST(Controls, RangeValidatorFiltersAndRefuses) {
  ui::ScopedHeadlessPlatform platform;
  ProbeDialog dialog;
  ui::Edit edit(dialog, 11);
  edit.SetValidator(0, 15);
  dialog.CreateModeless();
  dialog.Item(11)->UserType("1a-5");  // letters and minus are refused for a minimum of 0
  EXPECT_EQ(edit.Text(), "15");
  EXPECT_TRUE(edit.IsValid());
  dialog.Item(11)->UserType("+16");
  EXPECT_FALSE(edit.IsValid());
  ASSERT_EQ(platform->MessageBoxes().size(), 1u);
  EXPECT_EQ(platform->MessageBoxes()[0].text, "Value is not in the range 0 to 15.");
  // A dialog with an invalid field does not close.
  dialog.CloseWindow();
  EXPECT_FALSE(dialog.Ended());
  dialog.Item(11)->UserType("3");
  dialog.CloseWindow();
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(dialog.Result(), ui::kIdCancel);

  ProbeDialog negative;
  ui::Edit signedEdit(negative, 11);
  signedEdit.SetValidator(-5, 5);
  negative.CreateModeless();
  negative.Item(11)->UserType("-4");
  EXPECT_EQ(signedEdit.Text(), "-4");
  EXPECT_TRUE(signedEdit.IsValid());
}

TEST(Modal, HandlerDrivesTheDialogOrTheClockRunsUntilItEnds) {
  ui::ScopedHeadlessPlatform platform;
  platform->OnModal(42, [&](ui::Dialog& dialog) {
    EXPECT_EQ(platform->ModalDepth(), 1);
    dialog.Item(12)->UserClick();
    dialog.Item(2)->UserClick();
  });
  ProbeDialog first;
  EXPECT_EQ(first.Execute(), ui::kIdCancel);
  EXPECT_TRUE(first.Item(12)->Checked());
  EXPECT_FALSE(platform->IsAlive(first));

  // Without a handler the clock runs until a timer ends the dialog.
  platform->ClearModalHandlers();
  class Closing : public ProbeDialog {
   protected:
    void SetupWindow() override { SetTimer(1, 1500); }
    void OnTimer(int) override { EndDialog(ui::kIdOk); }
  } second;
  EXPECT_EQ(second.Execute(), ui::kIdOk);
  EXPECT_EQ(platform->NowMs(), 1500);

  // A handler that leaves the dialog running gets it cancelled.
  platform->OnModal(42, [](ui::Dialog&) {});
  ProbeDialog third;
  EXPECT_EQ(third.Execute(), ui::kIdCancel);
}

TEST(MessageBoxes, RecordedAndAnsweredFromTheQueue) {
  ui::ScopedHeadlessPlatform platform;
  ProbeDialog dialog;
  EXPECT_EQ(dialog.MessageBox("Первый", "", ui::kMbOk | ui::kMbIconStop), ui::kIdOk);
  EXPECT_EQ(dialog.MessageBox("Второй", "Вопрос", ui::kMbYesNoCancel | ui::kMbIconQuestion),
            ui::kIdYes);
  platform->QueueAnswer(ui::kIdCancel);
  EXPECT_EQ(dialog.MessageBox("Третий", "Вопрос", ui::kMbYesNoCancel), ui::kIdCancel);
  ASSERT_EQ(platform->MessageBoxes().size(), 3u);
  EXPECT_EQ(platform->MessageBoxes()[1].caption, "Вопрос");
  EXPECT_EQ(platform->MessageBoxes()[0].flags & ui::kMbIconMask, ui::kMbIconStop);

  ui::FileDialogData data{"Файл измерений (*.pom)|*.pom|", "POM", 0, ""};
  platform->QueueFileAnswer("/tmp/a.pom");
  EXPECT_TRUE(ui::ThePlatform().OpenFileDialog(&dialog, data));
  EXPECT_EQ(data.fileName, "/tmp/a.pom");
  EXPECT_FALSE(ui::ThePlatform().SaveFileDialog(&dialog, data));  // nothing queued: cancelled
  EXPECT_EQ(data.fileName, "/tmp/a.pom");
}

// A long-running driver answers boxes, file dialogs and every modal dialog as they come, sees
// every timer, and forgets what it has looked at.
TEST(Answerers, AskedWhenNothingIsQueuedAndRecordsCanBeForgotten) {
  ui::ScopedHeadlessPlatform platform;
  ProbeDialog dialog;
  std::vector<std::string> asked;
  platform->OnMessageBox([&](const ui::MessageBoxRecord& box) {
    asked.push_back(box.text);
    return ui::kIdNo;
  });
  platform->QueueAnswer(ui::kIdCancel);
  EXPECT_EQ(dialog.MessageBox("Первый", "", ui::kMbYesNoCancel), ui::kIdCancel);
  EXPECT_EQ(dialog.MessageBox("Второй", "", ui::kMbYesNoCancel), ui::kIdNo);
  EXPECT_EQ(asked, (std::vector<std::string>{"Второй"}));

  std::vector<bool> saves;
  platform->OnFileDialog([&](bool save, const ui::FileDialogData& data) {
    saves.push_back(save);
    return save ? std::optional<std::string>(data.fileName + "b.pom") : std::nullopt;
  });
  ui::FileDialogData data{"", "POM", 0, "/tmp/"};
  EXPECT_FALSE(ui::ThePlatform().OpenFileDialog(&dialog, data));
  EXPECT_TRUE(ui::ThePlatform().SaveFileDialog(&dialog, data));
  EXPECT_EQ(data.fileName, "/tmp/b.pom");
  EXPECT_EQ(saves, (std::vector<bool>{false, true}));

  int any = 0;
  int own = 0;
  platform->OnAnyModal([&](ui::Dialog& d) {
    ++any;
    d.EndDialog(ui::kIdOk);
  });
  ProbeDialog modal;
  EXPECT_EQ(modal.Execute(), ui::kIdOk);
  platform->OnModal(42, [&](ui::Dialog&) { ++own; });
  ProbeDialog second;
  second.Execute();
  EXPECT_EQ(any, 1);
  EXPECT_EQ(own, 1);

  dialog.CreateModeless();
  dialog.SetTimer(7, 100);
  EXPECT_EQ(platform->Timers(), (std::vector<std::pair<const ui::Window*, int>>{{&dialog, 7}}));
  dialog.Destroy();
  EXPECT_TRUE(platform->Timers().empty());

  ASSERT_EQ(platform->MessageBoxes().size(), 2u);
  ASSERT_EQ(platform->FileDialogs().size(), 2u);
  platform->ClearRecords();
  EXPECT_TRUE(platform->MessageBoxes().empty());
  EXPECT_TRUE(platform->FileDialogs().empty());
}

TEST(Broadcast, ReachesEveryCreatedTopLevelWindowOnly) {
  ui::ScopedHeadlessPlatform platform;
  ProbeDialog top;
  ProbeDialog owned(&top);
  ProbeDialog neverCreated;
  top.CreateModeless();
  owned.CreateModeless();
  ui::ThePlatform().Broadcast(117, 1, 0);
  EXPECT_EQ(top.events, (std::vector<std::string>{"broadcast 1"}));
  EXPECT_TRUE(owned.events.empty());
  EXPECT_TRUE(neverCreated.events.empty());
}

TEST(Painting, ClientContextRecordsTextColourFontAndMode) {
  ui::ScopedHeadlessPlatform platform;
  ProbeDialog dialog;
  dialog.CreateModeless();
  {
    auto dc = dialog.ClientContext();
    dc->SetBkMode(ui::BkMode::Transparent);
    dc->SetTextColor({0, 0, 255});
    const ui::Font previous = dc->SelectFont(ui::Font{"Times New Roman", 66});
    dc->TextOut(20, 20, "    152.23");
    dc->SelectFont(previous);
    dc->TextOut(80, 90, "[mA]");
  }
  const auto& ops = platform->Drawing(dialog);
  ASSERT_EQ(ops.size(), 2u);
  EXPECT_EQ(ops[0].text, "    152.23");
  EXPECT_EQ(ops[0].font.face, "Times New Roman");
  EXPECT_EQ(ops[0].bkMode, ui::BkMode::Transparent);
  EXPECT_EQ(ops[1].font.face, "System");
  EXPECT_EQ(ops[1].color, (ui::Color{0, 0, 255}));
}

}  // namespace
