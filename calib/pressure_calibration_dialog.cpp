#include "calib/pressure_calibration_dialog.h"

#include <bit>

#include "hart/operator_texts.h"
#include "hart/reply_data.h"
#include "hart/transmitter_model.h"

namespace {

using ui::ControlKind;

constexpr int kValueLimit = 40;
constexpr int kUnitLimit = 20;
constexpr int kLinkParam1 = 3;

constexpr const char* kReadText = "Читай Давление";
constexpr const char* kCalibrateText[2] = {"Калибруй начало", "Калибруй конец"};
constexpr const char* kTabTexts[2] = {"Калибровка начала", "Калибровка конца"};

// What the simulated transmitter reads on each tab, near the start and near the end of the range.
const float kSimulatedReading[2] = {std::bit_cast<float>(0x4016147Bu),
                                    std::bit_cast<float>(0x4376E666u)};

using hart::texts::kRangeError;
using hart::texts::kSetupError;
constexpr const char* kCalibrationError = "ОШИБКА КАЛИБРОВКИ";

struct StatusMessage {
  const char* text;
  const char* caption;
};

StatusMessage CalibrationStatus(std::uint8_t responseCode) {
  switch (responseCode) {
    case 3:
      return {"Величина калибровки очень большая.\nКалибровка не изменена.", kRangeError};
    case 4:
      return {"Величина калибровки очень маленькая.\nКалибровка не изменена.", kRangeError};
    case 10:
      return {"Очень узкий диапазон калибровки\nили попытка реверса характеристики.\n"
              "Калибровка не изменена.",
              kCalibrationError};
    case 11:
      return {"Преобразователь имеет АДРЕС ДАТЧИКА отличный от нуля.\n"
              "Установи АДРЕС ДАТЧИКА равный 0 для преобразователя.",
              kSetupError};
    case 12:
      return {"Неправильные единицы.\nУстанови единицы, в которых считает преобразователь.",
              kSetupError};
    case 13:
    case 14:
      return {"Очень большая разница\nмежду давлением калибровки и измеренным давлением.\n"
              "Проверь герметичность системы.\nКалибровка не изменена.",
              kCalibrationError};
    case 15:
      return {"Неправильный выбор измерительного канала.\nВыбери соответствующий канал.",
              kSetupError};
    default:
      return {hart::texts::kStatusNotZero, ""};
  }
}

}  // namespace

ui::DialogTemplate TKalCisnienia::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Калибровка давления";
  tpl.rect = {20, 20, 320, 160};
  const std::uint32_t unitStyle = ui::kStyleDisabled | ui::kStyleReadOnly | ui::kStyleBorder;
  const std::uint32_t valueStyle = ui::kStyleBorder | ui::kStyleTabStop;
  tpl.controls = {
      {kUnitCalibrationId, ControlKind::Edit, "", {118, 56, 90, 12}, unitStyle, kUnitLimit},
      {kCalibrationValueId, ControlKind::Edit, "", {22, 56, 90, 12},
       valueStyle | ui::kStyleUpperCase, kValueLimit},
      {kCalibrateButtonId, ControlKind::PushButton, "", {212, 55, 88, 14}, ui::kStyleTabStop},
      {kInstructionId, ControlKind::Static, "Запиши величину давления установленную с задатчика.",
       {22, 40, 276, 10}, ui::kStyleCenter},
      {kUnitReadingId, ControlKind::Edit, "", {118, 92, 90, 12}, unitStyle, kUnitLimit},
      {kReadingValueId, ControlKind::Edit, "", {22, 92, 90, 12}, valueStyle, kValueLimit},
      {kSendButtonId, ControlKind::PushButton, "", {212, 91, 88, 14}, ui::kStyleTabStop},
      {kTabId, ControlKind::Tab, "", {6, 6, 308, 124}, ui::kStyleTabStop},
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {250, 138, 64, 14}, ui::kStyleTabStop},
  };
  AddListControls(tpl, "Калибровка начала и конца установленного диапазона", {14, 24, 292, 98});
  return tpl;
}

TKalCisnienia::TKalCisnienia(ui::Window* parent, TDane& database, bool& changed,
                             int& selectionMemory, const TSerialPortSettings& settings,
                             ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      calibrationValue_(*this, kCalibrationValueId, kValueLimit),
      readingValue_(*this, kReadingValueId, kValueLimit),
      unitCalibration_(*this, kUnitCalibrationId, kUnitLimit),
      unitReading_(*this, kUnitReadingId, kUnitLimit),
      tab_(*this, kTabId),
      calibrateButton_(*this, kCalibrateButtonId) {}

void TKalCisnienia::SetupWindow() {
  TLista::SetupWindow();
  readingValue_.Enable(false);
  tab_.Clear();
  for (const char* text : kTabTexts) tab_.Add(text);
  tab_.SetSelection(0);
  if (RecordsExist() && CurrentRecord() != nullptr) {
    unitCode_ = CurrentRecord()->unitCode;
    unitCalibration_.ShowUnit(unitCode_);
    unitReading_.ShowUnit(unitCode_);
  }
  SetButtonTexts();
}

bool TKalCisnienia::TabIsKnown() const {
  const int tab = tab_.Selection();
  return tab == 0 || tab == 1;
}

void TKalCisnienia::SetButtonTexts() {
  if (!TabIsKnown()) return;
  ui::ControlRef(*this, kSendButtonId).SetText(kReadText);
  calibrateButton_.SetText(kCalibrateText[tab_.Selection()]);
}

void TKalCisnienia::OnNotify(int id, unsigned code) {
  if (id == kTabId && code == ui::kNotifyTabChanged) {
    SetButtonTexts();
    TransmitterSelected();
  }
}

void TKalCisnienia::OnCommand(int id, unsigned code) {
  if (id == kCalibrateButtonId && code == ui::kNotifyClicked) Calibrate();
}

void TKalCisnienia::TransmitterSelected() {
  TLista::TransmitterSelected();
  if (CurrentRecord() != nullptr) unitCode_ = CurrentRecord()->unitCode;
  calibrationValue_.SetText("");
  readingValue_.SetText("");
}

// Both buttons stay enabled while a request waits: a new press replaces the awaited command.
void TKalCisnienia::Send() {
  if (!RecordsExist() || !TabIsKnown()) return;
  const TDaneIPPC& record = *CurrentRecord();
  awaited_ = kCmdReadPv;
  BuildCommand(record.manufacturerId, record.deviceType, record.preambles, record.deviceId,
               kCmdReadPv, kLinkParam1);
  StartReplyTimer();
  value_ = kSimulatedReading[tab_.Selection()];
}

void TKalCisnienia::Calibrate() {
  if (!RecordsExist() || !TabIsKnown()) return;
  const TDaneIPPC& record = *CurrentRecord();
  value_ = calibrationValue_.ReadValue();
  awaited_ = tab_.Selection() == 0 ? kCmdCalibrateStart : kCmdCalibrateEnd;
  RequestTwoBytesFloat(record, awaited_, 0, record.unitCode, value_, kLinkParam1);
  calibrationValue_.SetText("");
}

ui::LResult TKalCisnienia::EvReply() {
  const bool known =
      awaited_ == kCmdReadPv || awaited_ == kCmdCalibrateStart || awaited_ == kCmdCalibrateEnd;
  if (known && hart::ShortReplyRefused(*this, awaited_)) return 0;
  TLista::EvReply();
  TDaneIPPC* record = CurrentRecord();
  if (record == nullptr) return 0;
  const auto reply = Reply();
  // The transmitter answers in its own unit.
  const std::uint8_t replyUnit = known ? hart::DataByte(reply, awaited_ == kCmdReadPv ? 0 : 1) : 0;
  // A unit the record did not hold is shown on the panel too, which otherwise keeps the old one.
  const bool unitChanged = known && replyUnit != record->unitCode;
  switch (awaited_) {
    case kCmdReadPv: {
      // The one place where the simulated transmitter's effect is not its reply: it reads on
      // each tab what the tab's point calls for, and its request cannot say which tab asked, so
      // its one reading stands for the tab's, taken when the reading was asked for.
      const float read = hart::DataFloat(reply, 1);
      if (!hart::AgreesOnTheWire(hart::TransmitterModel{}.pressure, read)) value_ = read;
      readingValue_.ShowValue(value_);
      record->unitCode = replyUnit;
      unitCode_ = replyUnit;
      unitCalibration_.ShowUnit(replyUnit);
      unitReading_.ShowUnit(replyUnit);
      awaited_ = 0;
      break;
    }
    case kCmdCalibrateStart:
    case kCmdCalibrateEnd:
      record->unitCode = replyUnit;
      unitCode_ = replyUnit;
      unitCalibration_.ShowUnit(replyUnit);
      // The point's reading as the transmitter confirms it.
      value_ = hart::ReadBack(value_, hart::DataFloat(reply, 2));
      calibrationValue_.ShowValue(value_);
      awaited_ = 0;
      break;
    default:
      break;
  }
  if (unitChanged && panelWindow != nullptr) panelWindow->SendMessage(kMsgShowRecord);
  return 0;
}

ui::LResult TKalCisnienia::EvNoAnswer() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TKalCisnienia::EvStatusError() {
  if (awaited_ == kCmdReadPv) {
    MessageBox(hart::texts::kStatusNotZero, kRangeError, ui::kMbOk | ui::kMbIconStop);
  } else if (awaited_ == kCmdCalibrateStart || awaited_ == kCmdCalibrateEnd) {
    const StatusMessage message = CalibrationStatus(Reply()[hart::kReplyResponseCode]);
    MessageBox(message.text, message.caption, ui::kMbOk | ui::kMbIconStop);
  }
  return 0;
}
