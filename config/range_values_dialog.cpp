#include "config/range_values_dialog.h"

#include <vector>

#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr int kRequestLinkParam1 = 3;


const char* StatusText(std::uint8_t responseCode) {
  switch (responseCode) {
    case 2: return hart::texts::kWrongUnitChoice;
    case 9: return "Очень большая величина Нуля.\nНоль, Диапазон не изменен.";
    case 10: return "Очень низкая величина Нуля.\nНоль, Диапазон не изменен.";
    case 11: return "Очень большая величина Диапазона.\nНоль, Диапазон не изменен.";
    case 12: return "Очень низкая величина Диапазона.\nНоль, Диапазон не изменен.";
    case 13: return "Ноль, Диапазон вне допустимого.\nНоль, Диапазон не изменен.";
    case 14: return "Ширина диапазона малая.\nНоль, Диапазон не изменен.";
    default: return hart::texts::kStatusNotZero;
  }
}

// Layout: a label column, a value column and a unit column inside three group boxes.
constexpr int kGroupX = 7;
constexpr int kGroupWidth = 303;
constexpr int kLabelX = 15;
constexpr int kLabelWidth = 130;
constexpr int kValueX = 150;
constexpr int kValueWidth = 56;
constexpr int kUnitX = 210;
constexpr int kUnitWidth = 92;
constexpr int kEditHeight = 12;
constexpr int kLabelHeight = 8;

void AddRow(std::vector<ui::ControlTemplate>& c, int y, int labelId, const char* label,
            int valueId, std::uint32_t valueStyle, int valueLimit, int unitId) {
  c.push_back({labelId, ControlKind::Static, label, {kLabelX, y + 2, kLabelWidth, kLabelHeight}});
  c.push_back({valueId, ControlKind::Edit, "", {kValueX, y, kValueWidth, kEditHeight},
               valueStyle | ui::kStyleBorder, valueLimit});
  if (unitId != 0) {
    c.push_back({unitId, ControlKind::Edit, "", {kUnitX, y, kUnitWidth, kEditHeight},
                 ui::kStyleDisabled | ui::kStyleReadOnly | ui::kStyleBorder});
  }
}

}  // namespace

ui::DialogTemplate TRangeVal::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Изменение с помощью записи величины";
  tpl.rect = {20, 20, 318, 202};
  // The list base's group box frames the sensor limits.
  AddListControls(tpl, "Границы основного диапазона", {kGroupX, 6, kGroupWidth, 62});
  auto& c = tpl.controls;
  constexpr auto kShown = ui::kStyleDisabled;
  constexpr auto kTyped = ui::kStyleTabStop;
  AddRow(c, 18, kUpperLimitLabel, "Верхняя граница", kUpperLimit, kShown, 0, kUpperLimitUnit);
  AddRow(c, 34, kLowerLimitLabel, "Нижняя граница", kLowerLimit, kShown, 0, kLowerLimitUnit);
  AddRow(c, 50, kMinimumSpanLabel, "Минимальная ширина диапазона", kMinimumSpan, kShown, 0, 0);

  c.push_back({kCurrentRangeGroup, ControlKind::GroupBox,
               "Действительная установка преобразователя", {kGroupX, 74, kGroupWidth, 46}});
  AddRow(c, 86, kUpperRangeLabel, "Конец диапазона", kUpperRange, kShown, 0, kUpperRangeUnit);
  AddRow(c, 102, kLowerRangeLabel, "Начало диапазона", kLowerRange, kShown, 0, kLowerRangeUnit);

  c.push_back({kNewRangeGroup, ControlKind::GroupBox, "Запиши новую установку преобразователя",
               {kGroupX, 126, kGroupWidth, 46}});
  AddRow(c, 138, kNewUpperLabel, "Конец диапазона", kNewUpper, kTyped, kNewValueTextLimit,
         kNewUpperUnit);
  AddRow(c, 154, kNewLowerLabel, "Начало диапазона", kNewLower, kTyped, kNewValueTextLimit,
         kNewLowerUnit);

  c.push_back({kSendButtonId, ControlKind::DefPushButton, "Измени", {95, 180, 50, 14},
               ui::kStyleTabStop});
  c.push_back({ui::kIdCancel, ControlKind::PushButton, "Отмена", {173, 180, 50, 14},
               ui::kStyleTabStop});
  return tpl;
}

TRangeVal::TRangeVal(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                     const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      upperLimit_(*this, kUpperLimit),
      lowerLimit_(*this, kLowerLimit),
      minimumSpan_(*this, kMinimumSpan),
      upperRange_(*this, kUpperRange),
      lowerRange_(*this, kLowerRange),
      newUpper_(*this, kNewUpper, kNewValueTextLimit),
      newLower_(*this, kNewLower, kNewValueTextLimit),
      upperLimitUnit_(*this, kUpperLimitUnit),
      lowerLimitUnit_(*this, kLowerLimitUnit),
      upperRangeUnit_(*this, kUpperRangeUnit),
      lowerRangeUnit_(*this, kLowerRangeUnit),
      newUpperUnit_(*this, kNewUpperUnit),
      newLowerUnit_(*this, kNewLowerUnit) {}

void TRangeVal::SetupWindow() {
  TLista::SetupWindow();
  for (const TEditValue* field : {&upperLimit_, &lowerLimit_, &minimumSpan_, &upperRange_,
                                  &lowerRange_}) {
    field->Enable(false);
  }
  if (RecordsExist()) Refresh();
}

void TRangeVal::TransmitterSelected() {
  TLista::TransmitterSelected();
  if (RecordsExist()) Refresh();
}

void TRangeVal::Refresh() {
  const TDaneIPPC& record = *CurrentRecord();
  upperLimit_.ShowValue(record.upperSensorLimit);
  lowerLimit_.ShowValue(record.lowerSensorLimit);
  minimumSpan_.ShowValue(record.minimumSpan);
  upperRange_.ShowValue(record.upperRange);
  newUpper_.ShowValue(record.upperRange);
  lowerRange_.ShowValue(record.lowerRange);
  newLower_.ShowValue(record.lowerRange);
  for (const TEditUnits* unit : {&upperLimitUnit_, &lowerLimitUnit_, &upperRangeUnit_,
                                 &lowerRangeUnit_, &newUpperUnit_, &newLowerUnit_}) {
    unit->ShowUnit(record.unitCode);
  }
}

void TRangeVal::Send() {
  if (!RecordsExist()) return;
  const TDaneIPPC& record = *CurrentRecord();
  // Neither the limits, the minimum span nor the order of the two values is checked here.
  pending_ = PendingWrite{newUpper_.ReadValue(), newLower_.ReadValue(), record.unitCode};
  BuildRange(record.manufacturerId, record.deviceType, record.preambles, record.deviceId,
             kCmdWriteRange, pending_->unitCode, pending_->upper, pending_->lower,
             kRequestLinkParam1);
  StartReplyTimer();
}

ui::LResult TRangeVal::EvReply() {
  if (pending_ && hart::ShortReplyRefused(*this, kCmdWriteRange)) return 0;
  TLista::EvReply();
  if (CurrentRecord() != nullptr) {
    // A reply that follows no write of this dialog has nothing to store; one that does confirms
    // the range as the transmitter took it.
    if (pending_) {
      const auto reply = Reply();
      TDaneIPPC& record = *CurrentRecord();
      record.unitCode = hart::DataByte(reply, 0);
      record.upperRange = hart::ReadBack(pending_->upper, hart::DataFloat(reply, 1));
      record.lowerRange = hart::ReadBack(pending_->lower, hart::DataFloat(reply, 5));
      pending_.reset();
    }
    Refresh();
  }
  if (panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  return 0;
}

ui::LResult TRangeVal::EvNoAnswer() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TRangeVal::EvStatusError() {
  MessageBox(StatusText(Reply()[hart::kReplyResponseCode]), hart::texts::kRangeError,
             ui::kMbOk | ui::kMbIconStop);
  return 0;
}
