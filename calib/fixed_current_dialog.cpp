#include "calib/fixed_current_dialog.h"

#include "calib/current_status.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr int kLinkParam1 = 3;
// Command 40 with this current leaves fixed-current mode.
constexpr float kLeaveFixedCurrent = 0.0f;

// The general status message goes without a caption here.
constexpr const char* kOtherStatusCaption = "";

}  // namespace

ui::DialogTemplate TUstawPrad::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Установка постоянного тока в линии";
  tpl.rect = {20, 20, 250, 74};
  tpl.controls = {
      {kCurrentId, ControlKind::Edit, "", {16, 20, 108, 12},
       ui::kStyleBorder | ui::kStyleTabStop, kCurrentLimit},
      {kSendButtonId, ControlKind::PushButton, "Установи Напряжение", {130, 19, 106, 14},
       ui::kStyleTabStop},
      {kFinishButtonId, ControlKind::DefPushButton, "Закончи", {6, 54, 60, 14},
       ui::kStyleTabStop},
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {184, 54, 60, 14}, ui::kStyleTabStop},
  };
  AddListControls(tpl, "", {6, 4, 238, 42});
  return tpl;
}

TUstawPrad::TUstawPrad(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                       const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      current_(*this, kCurrentId, kCurrentLimit) {}

void TUstawPrad::SetupWindow() {
  TLista::SetupWindow();
  current_.Enable(true);
  current_.Show(true);
}

void TUstawPrad::OnCommand(int id, unsigned code) {
  if (id == kFinishButtonId && code == ui::kNotifyClicked) Finish();
}

// No range check: the transmitter judges the current, 0.0 included.
void TUstawPrad::Send() {
  if (!RecordsExist()) return;
  RequestCurrent(current_.ReadValue());
}

void TUstawPrad::Finish() {
  if (!RecordsExist()) return;
  RequestCurrent(kLeaveFixedCurrent);
}

void TUstawPrad::RequestCurrent(float value) {
  value_ = value;
  awaited_ = kCmdFixedCurrent;
  RequestFloat(*CurrentRecord(), kCmdFixedCurrent, value_, kLinkParam1);
  current_.SetText("");
}

// The reply confirms the current that was set; the record does not change.
ui::LResult TUstawPrad::EvReply() {
  if (awaited_ == kCmdFixedCurrent && hart::ShortReplyRefused(*this, kCmdFixedCurrent)) return 0;
  TLista::EvReply();
  if (awaited_ == kCmdFixedCurrent) {
    current_.ShowValue(hart::ReadBack(value_, hart::DataFloat(Reply(), 0)));
  }
  return 0;
}

ui::LResult TUstawPrad::EvNoAnswer() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TUstawPrad::EvStatusError() {
  const calib::StatusMessage message =
      calib::CurrentStatus(Reply()[hart::kReplyResponseCode], kOtherStatusCaption);
  MessageBox(message.text, message.caption, ui::kMbOk | ui::kMbIconStop);
  return 0;
}
