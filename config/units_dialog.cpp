#include "config/units_dialog.h"

#include <array>

#include "fields/catalogues.h"
#include "hart/frame.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr std::uint8_t kCmdWriteUnit = 44;
constexpr std::uint8_t kCmdReadLimits = 14;
constexpr std::uint8_t kCmdReadRange = 15;
constexpr int kLinkParam1 = 3;
constexpr std::uint8_t kUnitNotInTransmitter = 4;

constexpr const char* kUnitRefused = "Отсутствие этой единицы в преобразователе.\nВыбери другую единицу.";
constexpr const char* kUnitErrorCaption = "ОШИБКА ВЫБОРА ЕДИНИЦЫ";
constexpr const char* kNotAListedUnit = "Такой единицы нет в списке.\nВыбери единицу из списка.";

// A value held as a float, rescaled; the product is taken in double.
float Scaled(float value, double ratio) {
  return static_cast<float>(static_cast<double>(value) * ratio);
}

// The record keeps its own conversion of each value where the transmitter's reading agrees with
// it as far as the wire carries it.
void ReadBackScaled(float& value, double ratio, std::span<std::uint8_t> reply, std::size_t at) {
  value = hart::ReadBack(Scaled(value, ratio), hart::DataFloat(reply, at));
}

}  // namespace

ui::DialogTemplate TUnits::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Изменение единиц";
  tpl.rect = {20, 20, 160, 112};
  AddListControls(tpl, "Выбор единицы", {7, 5, 146, 76});
  tpl.controls.push_back(
      {kUnitFieldLabel, ControlKind::Static, "Действительная единица", {15, 18, 110, 8}});
  tpl.controls.push_back({kUnitFieldId, ControlKind::Edit, "", {15, 28, 130, 12},
                          ui::kStyleDisabled | ui::kStyleReadOnly | ui::kStyleBorder});
  tpl.controls.push_back(
      {kUnitComboLabel, ControlKind::Static, "Смена измерения", {15, 46, 110, 8}});
  tpl.controls.push_back({kUnitComboId, ControlKind::ComboBox, "", {15, 56, 130, 12},
                          ui::kStyleBorder | ui::kStyleTabStop});
  tpl.controls.push_back(
      {kSendButtonId, ControlKind::DefPushButton, "Вышли", {22, 90, 50, 14}, ui::kStyleTabStop});
  tpl.controls.push_back(
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {88, 90, 50, 14}, ui::kStyleTabStop});
  return tpl;
}

TUnits::TUnits(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
               const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      unitField_(*this, kUnitFieldId),
      unitCombo_(*this, kUnitComboId) {}

void TUnits::SetupWindow() {
  TLista::SetupWindow();
  unitCombo_.Fill();
  unitField_.Enable(false);
  if (RecordsExist()) ShowRecordUnit();
}

void TUnits::TransmitterSelected() {
  TLista::TransmitterSelected();
  if (RecordsExist()) ShowRecordUnit();
}

void TUnits::ShowRecordUnit() {
  const TDaneIPPC* record = CurrentRecord();
  if (record == nullptr) return;
  unitField_.ShowUnit(record->unitCode);
  unitCombo_.SelectUnit(record->unitCode);
}

void TUnits::CloseWindow(int result) {
  if (awaited_ != 0) return;
  TLista::CloseWindow(result);
}

void TUnits::Send() {
  if (!RecordsExist()) return;
  const TDaneIPPC* record = CurrentRecord();
  if (record == nullptr) return;
  // Typed text that names no unit would go out as code 0.
  if (unitCombo_.Selection() < 0) {
    MessageBox(kNotAListedUnit, kUnitErrorCaption, ui::kMbOk | ui::kMbIconExclamation);
    return;
  }
  // The old unit is the one the field shows, so a code without a catalogue entry converts as
  // pascals.
  unitField_.LookUpShownUnit();
  oldFactor_ = unitField_.Factor();
  const std::array<std::uint8_t, 1> unit{static_cast<std::uint8_t>(unitCombo_.SelectedUnit())};
  IssueLong(AddressOf(*record), kCmdWriteUnit, unit, record->preambles, kLinkParam1);
  StartReplyTimer();
  awaited_ = kCmdWriteUnit;
}

void TUnits::RequestRead(std::uint8_t command) {
  const TDaneIPPC* record = CurrentRecord();
  BuildCommand(record->manufacturerId, record->deviceType, record->preambles, record->deviceId,
               command, kLinkParam1);
  StartReplyTimer();
  awaited_ = command;
}

// The new unit is the one the transmitter confirms: the code sent, as every transmitter echoes
// it, never what the drop-down shows by now. The values come back with 14 and 15.
void TUnits::AcceptWrittenUnit(TDaneIPPC& record) {
  const double fromOld = 1.0 / oldFactor_;
  const std::uint8_t code = hart::DataByte(Reply(), 0);
  const double newFactor = config::UnitByIndex(config::UnitIndexOfCode(code)).factor;
  record.unitCode = code;
  unitField_.ShowUnit(record.unitCode);
  unitCombo_.SelectUnit(record.unitCode);
  ratio_ = newFactor * fromOld;
}

ui::LResult TUnits::EvReply() {
  if (awaited_ != 0 && hart::ShortReplyRefused(*this, awaited_)) return 0;
  TLista::EvReply();
  TDaneIPPC* record = CurrentRecord();
  if (record != nullptr) {
    const auto reply = Reply();
    switch (awaited_) {
      case kCmdWriteUnit:
        AcceptWrittenUnit(*record);
        RequestRead(kCmdReadLimits);
        break;
      case kCmdReadLimits:
        ReadBackScaled(record->upperSensorLimit, ratio_, reply, 4);
        ReadBackScaled(record->lowerSensorLimit, ratio_, reply, 8);
        ReadBackScaled(record->minimumSpan, ratio_, reply, 12);
        RequestRead(kCmdReadRange);
        break;
      case kCmdReadRange:
        ReadBackScaled(record->upperRange, ratio_, reply, 3);
        ReadBackScaled(record->lowerRange, ratio_, reply, 7);
        awaited_ = 0;
        break;
      default:
        break;
    }
  }
  if (panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  return 0;
}

ui::LResult TUnits::EvNoAnswer() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  awaited_ = 0;
  return 0;
}

// A busy line ends the exchange as surely as silence does: no reply follows, and a change still
// awaited would keep the dialog from closing for good.
ui::LResult TUnits::EvLineBusy() {
  awaited_ = 0;
  return TLista::EvLineBusy();
}

ui::LResult TUnits::EvStatusError() {
  const bool refused = Reply()[hart::kReplyResponseCode] == kUnitNotInTransmitter;
  MessageBox(refused ? kUnitRefused : hart::texts::kStatusNotZero, kUnitErrorCaption,
             ui::kMbOk | ui::kMbIconStop);
  awaited_ = 0;
  return 0;
}
