#include "config/zero_dialog.h"

#include "hart/operator_texts.h"

namespace {

using ui::ControlKind;

constexpr int kLinkParam1 = 3;

constexpr const char* kTitle = "Обнуление давлением";
constexpr const char* kZeroOk = "Ноль OK";

constexpr const char* kZeroError = "ОШИБКА ОБНУЛЕНИЯ";

struct StatusMessage {
  const char* text;
  const char* caption;
};

StatusMessage ZeroStatus(std::uint8_t responseCode) {
  switch (responseCode) {
    case 2:
      return {hart::texts::kWrongUnitChoice, hart::texts::kRangeError};
    case 9:
      return {"Обнуление вне диапазона\nверхней границы (+)5%.\nОбнуление не изменено.",
              kZeroError};
    case 10:
      return {"Обнуление вне диапазона\nнижней границы (-)5%.\nОбнуление не изменено.",
              kZeroError};
    case 16:
      return {"Преобразователь занят.\nПовтори попытку связи еще раз.", "ОШИБКА ПЕРЕДАЧИ"};
    default:
      return {hart::texts::kStatusNotZero, hart::texts::kRangeError};
  }
}

}  // namespace

ui::DialogTemplate TPvZero::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = kTitle;
  tpl.rect = {20, 20, 200, 72};
  tpl.controls = {
      {kResultLabelId, ControlKind::Static, "Режим Обнуления", {14, 20, 76, 8}},
      {kResultId, ControlKind::Edit, "", {94, 18, 90, 12},
       ui::kStyleBorder | ui::kStyleMultiline | ui::kStyleDisabled, kResultLimit},
      {kSendButtonId, ControlKind::DefPushButton, "Обнули", {6, 52, 60, 14}, ui::kStyleTabStop},
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {134, 52, 60, 14}, ui::kStyleTabStop},
  };
  AddListControls(tpl, "", {6, 4, 188, 40});
  return tpl;
}

TPvZero::TPvZero(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                 const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      result_(*this, kResultId, kResultLimit) {}

void TPvZero::SetupWindow() {
  TLista::SetupWindow();
  SetCaption(kTitle);
  result_.Enable(false);
}

void TPvZero::TransmitterSelected() {
  TLista::TransmitterSelected();
  if (RecordsExist()) result_.SetText(kZeroOk);
}

void TPvZero::Send() {
  if (!RecordsExist()) return;
  const TDaneIPPC& record = *CurrentRecord();
  result_.SetText("");
  BuildCommand(record.manufacturerId, record.deviceType, record.preambles, record.deviceId,
               kCmdSetPvZero, kLinkParam1);
  StartReplyTimer();
}

// Zeroing changes nothing in the record, so the data panel is not refreshed.
ui::LResult TPvZero::EvReply() {
  TLista::EvReply();
  result_.SetText(kZeroOk);
  return 0;
}

ui::LResult TPvZero::EvNoAnswer() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TPvZero::EvStatusError() {
  const StatusMessage message = ZeroStatus(Reply()[hart::kReplyResponseCode]);
  MessageBox(message.text, message.caption, ui::kMbOk | ui::kMbIconStop);
  return 0;
}
