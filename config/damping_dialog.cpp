#include "config/damping_dialog.h"

#include "record/float_form.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr int kRequestLinkParam1 = 3;

constexpr const char* kNotLinear =
    "Характеристика преобразователя отлична от линейной.\nИзмени характеристику на линейную.\n"
    "Постоянная времени не изменена.";
constexpr const char* kTooLarge =
    "Величина постоянной времени очень большая.\nПостоянная времени не изменена.";
constexpr const char* kNegative =
    "Величина постоянной времени меньше нуля.\nПостоянная времени не изменена.";

}  // namespace

ui::DialogTemplate TDamping::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Изменение постоянной времени";
  tpl.rect = {20, 20, 268, 130};
  AddListControls(tpl, "Постоянные времени", {7, 6, 254, 94});
  auto& c = tpl.controls;
  c.push_back({kCurrentLabel, ControlKind::Static, "Действительная постоянная времени [секунды]",
               {15, 20, 232, 8}});
  c.push_back({kCurrentField, ControlKind::Edit, "", {15, 30, 64, 12},
               ui::kStyleDisabled | ui::kStyleBorder, kCurrentTextLimit});
  c.push_back({kNewLabel, ControlKind::Static, "Новая постоянная времени", {15, 50, 232, 8}});
  c.push_back({kNewField, ControlKind::Edit, "", {15, 60, 64, 12},
               ui::kStyleBorder | ui::kStyleTabStop, kNewTextLimit});
  c.push_back({kHint, ControlKind::Static, "Выбери постоянную времени с точностью до 0,1 секунды.",
               {15, 82, 242, 8}});
  c.push_back({kSendButtonId, ControlKind::DefPushButton, "Вышли", {72, 108, 50, 14},
               ui::kStyleTabStop});
  c.push_back({ui::kIdCancel, ControlKind::PushButton, "Отмена", {146, 108, 50, 14},
               ui::kStyleTabStop});
  return tpl;
}

TDamping::TDamping(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                   const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      current_(*this, kCurrentField, kCurrentTextLimit),
      new_(*this, kNewField, kNewTextLimit) {}

// Closed before the reply: the transmitter never confirmed the values, so the record keeps what
// it held rather than an unconfirmed change that nothing marks as unsaved.
void TDamping::CleanupWindow() {
  if (beforeWrite_.GiveBack() && panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  TLista::CleanupWindow();
}

void TDamping::SetupWindow() {
  TLista::SetupWindow();
  current_.Enable(false);
  if (RecordsExist()) ShowRecord();
}

void TDamping::TransmitterSelected() {
  TLista::TransmitterSelected();
  if (RecordsExist()) ShowRecord();
}

void TDamping::ShowRecord() {
  const float damping = CurrentRecord()->damping;
  current_.ShowValue(damping);
  new_.ShowValue(damping);
}

void TDamping::Send() {
  if (!RecordsExist()) return;
  TDaneIPPC& record = *CurrentRecord();
  // Stored before the transmitter confirms it, and sent as typed: no range check, no rounding.
  // A write that fails gives the record back.
  beforeWrite_.Keep(record);
  record.damping = new_.ReadValue();
  std::uint8_t data[4];
  int length = 0;
  floatform::AppendFloat(record.damping, data, length);
  IssueLong(AddressOf(record), kCmdWriteDamping, data, record.preambles, kRequestLinkParam1);
  StartReplyTimer();
}

ui::LResult TDamping::EvReply() {
  if (hart::ShortReplyRefused(*this, kCmdWriteDamping)) return 0;
  TLista::EvReply();
  beforeWrite_.Drop();
  if (CurrentRecord() != nullptr) {
    // The damping the transmitter took replaces the one typed.
    TDaneIPPC& record = *CurrentRecord();
    record.damping = hart::ReadBack(record.damping, hart::DataFloat(Reply(), 0));
    ShowRecord();
  }
  if (panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  return 0;
}

ui::LResult TDamping::EvNoAnswer() {
  if (beforeWrite_.GiveBack() && panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TDamping::EvLineBusy() {
  if (beforeWrite_.GiveBack() && panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  return TLista::EvLineBusy();
}

ui::LResult TDamping::EvStatusError() {
  if (beforeWrite_.GiveBack() && panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  switch (Reply()[hart::kReplyResponseCode]) {
    case 1:
      MessageBox(kNotLinear, hart::texts::kSetupError, ui::kMbOk | ui::kMbIconStop);
      break;
    case 3:
      MessageBox(kTooLarge, hart::texts::kSetupError, ui::kMbOk | ui::kMbIconStop);
      break;
    case 4:
      MessageBox(kNegative, hart::texts::kRangeError, ui::kMbOk | ui::kMbIconStop);
      break;
    default:
      MessageBox(hart::texts::kStatusNotZero, hart::texts::kRangeError,
                 ui::kMbOk | ui::kMbIconStop);
      break;
  }
  return 0;
}
