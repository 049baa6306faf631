#include "config/transfer_function_dialog.h"

#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr int kRequestLinkParam1 = 3;

constexpr const char* kChoiceCaption = "ОШИБКА ВЫБОРА ХАРАКТЕРИСТИКИ";
constexpr const char* kNotAvailable =
    "Отсутствие этой характеристики в преобразователе.\nВыбери другую характеристику.";
constexpr const char* kDampingSet =
    "Постоянная времени отлична от нуля.\nУбери постоянную времени.\nХарактеристика не изменена.";

}  // namespace

ui::DialogTemplate TChka::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Изменение характеристики преобразования";
  tpl.rect = {20, 20, 234, 92};
  AddListControls(tpl, "Выбор характеристики", {7, 6, 160, 78});
  auto& c = tpl.controls;
  c.push_back(
      {kCurrentLabel, ControlKind::Static, "Действительная характеристика", {15, 20, 145, 8}});
  c.push_back({kCurrentField, ControlKind::Edit, "", {15, 30, 100, 12},
               ui::kStyleDisabled | ui::kStyleReadOnly | ui::kStyleBorder});
  c.push_back({kNewLabel, ControlKind::Static, "Новая характеристика", {15, 50, 145, 8}});
  c.push_back({kNewCombo, ControlKind::ComboBox, "", {15, 60, 100, 12},
               ui::kStyleBorder | ui::kStyleTabStop});
  c.push_back({kSendButtonId, ControlKind::DefPushButton, "Вышли", {176, 10, 50, 14},
               ui::kStyleTabStop});
  c.push_back({ui::kIdCancel, ControlKind::PushButton, "Отмена", {176, 30, 50, 14},
               ui::kStyleTabStop});
  return tpl;
}

TChka::TChka(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
             const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      current_(*this, kCurrentField),
      new_(*this, kNewCombo) {}

void TChka::SetupWindow() {
  TLista::SetupWindow();
  new_.Fill();
  current_.Enable(false);
  if (RecordsExist()) ShowRecord();
}

void TChka::TransmitterSelected() {
  TLista::TransmitterSelected();
  if (RecordsExist()) ShowRecord();
}

void TChka::ShowRecord() {
  const TDaneIPPC& record = *CurrentRecord();
  current_.ShowCharacteristic(record.transferFunction);
  new_.SelectCharacteristic(record.transferFunction);
}

void TChka::Send() {
  if (!RecordsExist()) return;
  const TDaneIPPC& record = *CurrentRecord();
  // Typed text that names no characteristic would go out as the linear one.
  if (new_.Selection() < 0) {
    MessageBox("Такой характеристики нет в списке.\nВыбери характеристику из списка.", "",
               ui::kMbOk | ui::kMbIconExclamation);
    return;
  }
  const std::uint8_t data[] = {static_cast<std::uint8_t>(new_.SelectedCharacteristic())};
  IssueLong(AddressOf(record), kCmdWriteTransferFunction, data, record.preambles,
            kRequestLinkParam1);
  awaitedCommand_ = kCmdWriteTransferFunction;
  StartReplyTimer();
}

ui::LResult TChka::EvReply() {
  if (awaitedCommand_ == kCmdWriteTransferFunction &&
      hart::ShortReplyRefused(*this, kCmdWriteTransferFunction)) {
    return 0;
  }
  TLista::EvReply();
  if (awaitedCommand_ == kCmdWriteTransferFunction && CurrentRecord() != nullptr) {
    // The code the transmitter confirms is the one kept.
    const std::uint8_t code = hart::DataByte(Reply(), 0);
    CurrentRecord()->transferFunction = code;
    current_.ShowCharacteristic(code);
    new_.SelectCharacteristic(code);
    awaitedCommand_ = 0;
  }
  if (panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  return 0;
}

ui::LResult TChka::EvNoAnswer() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TChka::EvStatusError() {
  switch (Reply()[hart::kReplyResponseCode]) {
    case 2:
      MessageBox(kNotAvailable, kChoiceCaption, ui::kMbOk | ui::kMbIconStop);
      break;
    case 4:
      MessageBox(kDampingSet, hart::texts::kSetupError, ui::kMbOk | ui::kMbIconStop);
      break;
    default:
      MessageBox(hart::texts::kStatusNotZero, kChoiceCaption, ui::kMbOk | ui::kMbIconStop);
      break;
  }
  return 0;
}
