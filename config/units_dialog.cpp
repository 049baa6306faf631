#include "config/units_dialog.h"

#include <array>

#include "fields/catalogues.h"
#include "hart/frame.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr std::uint8_t kCmdWriteUnit = 44;
constexpr std::uint8_t kCmdReadLimits = 14;
constexpr std::uint8_t kCmdReadRange = 15;
constexpr int kLinkParam1 = 3;
constexpr std::uint8_t kUnitNotInTransmitter = 4;

constexpr const char* kNoAnswer = "Отсутствие ответа.\nВыбери следующий преобразователь!!!";
constexpr const char* kUnitRefused = "Отсутствие этой единицы в преобразователе.\nВыбери другую единицу.";
constexpr const char* kStatusNotZero =
    "Выбранный статус отличный от нуля!\nМогут быть ошибки передачи!!!";
constexpr const char* kUnitErrorCaption = "ОШИБКА ВЫБОРА ЕДИНИЦЫ";

// Rescales a value held as a float; the product is taken in double.
void Scale(float& value, double ratio) {
  value = static_cast<float>(static_cast<double>(value) * ratio);
}

}  // namespace

ui::DialogTemplate TUnits::Template() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Изменение единиц";
  tpl.rect = {20, 20, 160, 112};
  TLista::AddListControls(tpl);
  for (ui::ControlTemplate& control : tpl.controls) {
    if (control.id == kGroupBoxId) {
      control.text = "Выбор единицы";
      control.rect = {7, 5, 146, 76};
      control.style = ui::kStyleNone;
    }
  }
  tpl.controls.push_back(
      {812, ControlKind::Static, "Действительная единица", {15, 18, 110, 8}, ui::kStyleNone});
  tpl.controls.push_back({kUnitFieldId, ControlKind::Edit, "", {15, 28, 130, 12},
                          ui::kStyleDisabled | ui::kStyleReadOnly | ui::kStyleBorder});
  tpl.controls.push_back(
      {813, ControlKind::Static, "Смена измерения", {15, 46, 110, 8}, ui::kStyleNone});
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
    : TLista(parent, Template(), database, changed, selectionMemory, settings, panelWindow),
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

// The old unit is the one the field still shows, so a code without a catalogue entry converts
// as pascals.
void TUnits::AcceptWrittenUnit(TDaneIPPC& record) {
  unitField_.LookUpShownUnit();
  const double fromOld = 1.0 / unitField_.Factor();
  const int index = unitCombo_.Selection();
  int code = unitCombo_.SelectedUnit();
  // Typed text that names no unit writes code 0, so its values go to pascals, code 0's factor.
  double newFactor = index >= 0 && index < config::kUnitCount ? unitCombo_.Factor() : 1.0;
  if (RealLink()) {
    // The transmitter's confirmation rules; the values come back with 14 and 15.
    code = hart::DataByte(Reply(), 0);
    newFactor = config::UnitByIndex(config::UnitIndexOfCode(code)).factor;
  }
  record.unitCode = static_cast<std::uint8_t>(code);
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
        if (RealLink()) {
          record->upperSensorLimit = hart::DataFloat(reply, 4);
          record->lowerSensorLimit = hart::DataFloat(reply, 8);
          record->minimumSpan = hart::DataFloat(reply, 12);
        } else {
          Scale(record->upperSensorLimit, ratio_);
          Scale(record->lowerSensorLimit, ratio_);
          Scale(record->minimumSpan, ratio_);
        }
        RequestRead(kCmdReadRange);
        break;
      case kCmdReadRange:
        if (RealLink()) {
          record->upperRange = hart::DataFloat(reply, 3);
          record->lowerRange = hart::DataFloat(reply, 7);
        } else {
          Scale(record->upperRange, ratio_);
          Scale(record->lowerRange, ratio_);
        }
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
  MessageBox(kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  awaited_ = 0;
  return 0;
}

ui::LResult TUnits::EvStatusError() {
  const bool refused = Reply()[hart::kReplyResponseCode] == kUnitNotInTransmitter;
  MessageBox(refused ? kUnitRefused : kStatusNotZero, kUnitErrorCaption,
             ui::kMbOk | ui::kMbIconStop);
  awaited_ = 0;
  return 0;
}
