#include "calib/current_calibration_dialog.h"

#include "calib/current_status.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr int kValueLimit = 40;
constexpr int kLinkParam1 = 3;

constexpr const char* kTabTexts[2] = {"Калибровка 4", "Калибровка 20"};
constexpr const char* kSetTexts[2] = {"Установи 4 [мА]", "Установи 20 [мА]"};
constexpr const char* kTrimTexts[2] = {"Калибровка 4 [мА]", "Калибровка 20 [мА]"};
constexpr float kFixedCurrent[2] = {4.0f, 20.0f};
constexpr std::uint8_t kTrimCommand[2] = {TKalPradu::kCmdTrim4, TKalPradu::kCmdTrim20};
// Command 40 with 0.0 takes the transmitter out of fixed-current mode.
constexpr float kLeaveFixedCurrent = 0.0f;

// Unlike the fixed loop current dialog, this one keeps the range caption on the general message.
constexpr const char* kOtherStatusCaption = hart::texts::kRangeError;

}  // namespace

ui::DialogTemplate TKalPradu::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Калибровка напряжения";
  tpl.rect = {20, 20, 320, 160};
  const std::uint32_t valueStyle = ui::kStyleBorder | ui::kStyleTabStop;
  tpl.controls = {
      {kReadingId, ControlKind::Edit, "", {22, 56, 90, 12}, valueStyle | ui::kStyleUpperCase,
       kValueLimit},
      {kTrimButtonId, ControlKind::PushButton, "", {206, 55, 92, 14}, ui::kStyleTabStop},
      {kInstructionId, ControlKind::Static,
       "Запиши величину силы тока, считанную с амперметра [мА]", {22, 40, 276, 10},
       ui::kStyleCenter},
      {kConfirmedCurrentId, ControlKind::Edit, "", {22, 92, 90, 12}, valueStyle, kValueLimit},
      {kSendButtonId, ControlKind::PushButton, "", {206, 91, 92, 14}, ui::kStyleTabStop},
      {kFinishButtonId, ControlKind::DefPushButton, "Закончи", {178, 138, 64, 14},
       ui::kStyleTabStop},
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {250, 138, 64, 14}, ui::kStyleTabStop},
      {kTabId, ControlKind::Tab, "", {6, 6, 308, 124}, ui::kStyleTabStop},
  };
  AddListControls(tpl, "Калибровка 4/20 [мА]", {14, 24, 292, 98});
  return tpl;
}

TKalPradu::TKalPradu(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                     const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      reading_(*this, kReadingId, kValueLimit),
      confirmedCurrent_(*this, kConfirmedCurrentId, kValueLimit),
      tab_(*this, kTabId),
      trimButton_(*this, kTrimButtonId) {}

void TKalPradu::SetupWindow() {
  TLista::SetupWindow();
  confirmedCurrent_.Enable(false);
  tab_.Clear();
  for (const char* text : kTabTexts) tab_.Add(text);
  tab_.SetSelection(0);
  SetButtonTexts();
}

bool TKalPradu::TabIsKnown() const {
  const int tab = tab_.Selection();
  return tab == 0 || tab == 1;
}

void TKalPradu::SetButtonTexts() {
  if (!TabIsKnown()) return;
  ui::ControlRef(*this, kSendButtonId).SetText(kSetTexts[tab_.Selection()]);
  trimButton_.SetText(kTrimTexts[tab_.Selection()]);
}

void TKalPradu::OnNotify(int id, unsigned code) {
  if (id == kTabId && code == ui::kNotifyTabChanged) {
    SetButtonTexts();
    TransmitterSelected();
  }
}

void TKalPradu::OnCommand(int id, unsigned code) {
  if (code != ui::kNotifyClicked) return;
  if (id == kTrimButtonId) Trim();
  if (id == kFinishButtonId) Finish();
}

void TKalPradu::Send() {
  if (!RecordsExist() || !TabIsKnown()) return;
  value_ = kFixedCurrent[tab_.Selection()];
  awaited_ = kCmdFixedCurrent;
  RequestFloat(*CurrentRecord(), kCmdFixedCurrent, value_, kLinkParam1);
}

void TKalPradu::Trim() {
  if (!RecordsExist() || !TabIsKnown()) return;
  value_ = reading_.ReadValue();
  awaited_ = kTrimCommand[tab_.Selection()];
  RequestFloat(*CurrentRecord(), awaited_, value_, kLinkParam1);
  reading_.SetText("");
}

void TKalPradu::Finish() {
  if (!RecordsExist()) return;
  value_ = kLeaveFixedCurrent;
  awaited_ = kCmdFixedCurrent;
  RequestFloat(*CurrentRecord(), kCmdFixedCurrent, value_, kLinkParam1);
}

// The transmitter confirms the current it set; the record is not touched.
ui::LResult TKalPradu::EvReply() {
  const bool confirming =
      awaited_ == kCmdFixedCurrent || awaited_ == kCmdTrim4 || awaited_ == kCmdTrim20;
  if (confirming && hart::ShortReplyRefused(*this, awaited_)) return 0;
  TLista::EvReply();
  if (!confirming) return 0;
  const float confirmed = hart::ReadBack(value_, hart::DataFloat(Reply(), 0));
  if (awaited_ == kCmdFixedCurrent) confirmedCurrent_.ShowValue(confirmed);
  if (awaited_ == kCmdTrim4 || awaited_ == kCmdTrim20) reading_.ShowValue(confirmed);
  return 0;
}

ui::LResult TKalPradu::EvNoAnswer() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TKalPradu::EvStatusError() {
  const calib::StatusMessage message =
      calib::CurrentStatus(Reply()[hart::kReplyResponseCode], kOtherStatusCaption);
  MessageBox(message.text, message.caption, ui::kMbOk | ui::kMbIconStop);
  return 0;
}
