#include "hart/identification_dialog.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include "fields/value_text.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"
#include "hart/response_code.h"
#include "hart/transmitter_model.h"
#include "ui/platform.h"
#include "ui/utf8.h"

namespace {

using ui::ControlKind;

// The first model of the model table, which the simulated transmitter's record names.
constexpr std::uint8_t kSimulatedDeviceType = 1;
// The simulated transmitter's identity is the twelve bytes of HART 5's layout.
constexpr std::size_t kCannedIdentityBytes = 12;
constexpr int kRequestLinkParam1 = 3;
constexpr int kPollPreambles = 5;
constexpr int kYearBase = 1900;

const char* const kWaitText = " Ожидай!!! ";
const char* const kAnsweredText = " Есть Ответ! Ожидай!";
const char* const kNoAnswerText = " Отсутствие Ответа! Ожидай!";

// Every data field of the dialog: what a poll clears.
constexpr std::array<int, 32> kDataFields{344, 345, 346, 347, 348, 349, 350, 351, 352, 353, 354,
                                          355, 356, 357, 358, 359, 360, 361, 362, 363, 364, 365,
                                          366, 367, 370, 376, 377, 378, 379, 380, 381, 382};

struct FieldRange {
  int id;
  long min;
  long max;
};
constexpr std::array<FieldRange, 10> kManualRanges{{
    {344, 0, 255},
    {345, 1, 63},
    {346, 0, 255},
    {347, 3, 20},
    {348, 0, 255},
    {349, 0, 255},
    {350, 0, 255},
    {351, 0, 255},
    {352, 0, 255},
    {353, 0, 16'777'215},
}};
constexpr FieldRange kSensorSerialRange{362, 0, 16'777'215};

// Layout in dialog units. The upper part is all the operator sees while identifying; the
// field grid below it is part of the window only in the manual-entry mode.
constexpr int kMargin = 7;
constexpr int kVisibleWidth = 200;
constexpr int kVisibleHeight = 88;
constexpr int kGridTop = 92;
constexpr int kRowPitch = 14;
constexpr int kEditHeight = 12;
constexpr int kLabelHeight = 8;
constexpr int kLeftLabelX = kMargin;
constexpr int kLeftLabelWidth = 142;
constexpr int kLeftFieldX = 152;
constexpr int kLeftFieldWidth = 50;
constexpr int kRightLabelX = 210;
constexpr int kRightLabelWidth = 112;
constexpr int kRightFieldX = 326;
constexpr int kRightFieldMaxWidth = 156;
constexpr int kGridRows = 14;
constexpr int kButtonTop = kGridTop + kGridRows * kRowPitch + 4;
constexpr int kButtonHeight = 14;
constexpr int kManualWidth = kRightFieldX + kRightFieldMaxWidth + kMargin;
constexpr int kManualHeight = kButtonTop + kButtonHeight + kMargin;
constexpr int kValueLimit = 11;

constexpr std::uint32_t kEditStyle = ui::kStyleBorder | ui::kStyleTabStop;
constexpr std::uint32_t kHiddenEdit = kEditStyle | ui::kStyleHidden;

struct GridField {
  int labelId;
  const char* label;
  int fieldId;
  const char* text;
  int limit;
  int width;
  std::uint32_t extraStyle = 0;
};

const std::array<GridField, 14> kLeftGrid{{
    {320, "Kod rozszerzenia :", 344, "254", 4, kLeftFieldWidth},
    {321, "Fabryczny kod identyfikacyjny :", 345, "63", 4, kLeftFieldWidth},
    {322, "Typ urządzenia :", 346, "200", 3, kLeftFieldWidth},
    {323, "Liczba preambuł :", 347, "", 3, kLeftFieldWidth},
    {324, "Wersja komend uniwersalnych :", 348, "5", 4, kLeftFieldWidth},
    {325, "Wersja komend specyficznych :", 349, "3", 4, kLeftFieldWidth},
    {326, "Wersja programu :", 350, "1", 4, kLeftFieldWidth},
    {327, "Wersja sprzętu :", 351, "1", 4, kLeftFieldWidth},
    {328, "Flagi urządzenia :", 352, "5", 4, kLeftFieldWidth},
    {331, "Numer identyfikacyjny :", 353, "", 10, kLeftFieldWidth},
    {332, "Kod alarmu :", 354, "250", 4, kLeftFieldWidth},
    {338, "Kod zabezpieczenia zapisu :", 360, "250", 4, kLeftFieldWidth},
    {340, "Kod dystrybutora :", 361, "63", 4, kLeftFieldWidth},
    {341, "Numer seryjny czujnika :", 362, "", 10, kLeftFieldWidth},
}};

const std::array<GridField, 12> kRightGrid{{
    {333, "Charakterystyka :", 355, "", 0, 100, ui::kStyleReadOnly},
    {334, "Jednostka zakresu :", 356, "", 0, 100, ui::kStyleReadOnly},
    {335, "Górna wartość zakresu :", 357, "", kValueLimit, 60},
    {336, "Dolna wartość zakresu :", 358, "", kValueLimit, 60},
    {337, "Tłumienie [s] :", 359, "", kValueLimit, 60},
    {342, "Górna granica czujnika :", 363, "", kValueLimit, 60},
    {368, "Dolna granica czujnika :", 364, "", kValueLimit, 60},
    {369, "Minimalny zakres :", 365, "", kValueLimit, 60},
    {371, "Wiadomość :", 376, "", 33, kRightFieldMaxWidth},
    {372, "Znacznik :", 377, "", 9, 50},
    {373, "Opis :", 378, "", 17, 88},
    {375, "Numer zespołu :", 382, "", 9, 50},
}};
constexpr int kDateRow = 11;  // of the right column, between descriptor and assembly number
constexpr int kDateLabelId = 374;

ui::ControlTemplate MakeControl(int id, ControlKind kind, std::string text, ui::Rect rect,
                                std::uint32_t style = ui::kStyleNone, int limit = 0) {
  ui::ControlTemplate c;
  c.id = id;
  c.kind = kind;
  c.text = std::move(text);
  c.rect = rect;
  c.style = style;
  c.textLimit = limit;
  return c;
}

int RowY(int row) { return kGridTop + row * kRowPitch; }

void AddGridRow(std::vector<ui::ControlTemplate>& out, const GridField& f, int row, int labelX,
                int labelWidth, int fieldX) {
  out.push_back(MakeControl(f.labelId, ControlKind::Static, f.label,
                            {labelX, RowY(row) + 2, labelWidth, kLabelHeight}, ui::kStyleHidden));
  out.push_back(MakeControl(f.fieldId, ControlKind::Edit, f.text,
                            {fieldX, RowY(row), f.width, kEditHeight}, kHiddenEdit | f.extraStyle,
                            f.limit));
}

std::string Decimal(long value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::uint8_t Byte(long value) { return static_cast<std::uint8_t>(value & 0xFF); }

// The labelled fields that the manual-entry mode shows; 366, 367 and 370 stay hidden.
bool ShownInManualEntry(int id) {
  if (id >= 320 && id <= 365 && id != 329 && id != 330 && id != 339 && id != 343) {
    return true;
  }
  return (id >= 368 && id <= 382 && id != 370) || id == THartKom0::kCmdStartPolling ||
         id == THartKom0::kCmdStore;
}

}  // namespace

ui::DialogTemplate THartKom0::BuildTemplate(bool manualEntry) {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Идентификация измерительного преобразователя";
  tpl.rect = manualEntry ? ui::Rect{20, 20, kManualWidth, kManualHeight}
                         : ui::Rect{20, 20, kVisibleWidth, kVisibleHeight};
  auto& c = tpl.controls;
  c.push_back(MakeControl(kFrame, ControlKind::GroupBox, "", {kMargin, 4, 186, 56}));
  c.push_back(MakeControl(kAddressLabel, ControlKind::Static, "Адрес датчика:", {15, 17, 75, 8}));
  c.push_back(
      MakeControl(kAddress, ControlKind::Edit, "0", {95, 15, 28, kEditHeight}, kEditStyle, 4));
  c.push_back(
      MakeControl(kAnswerLabel, ControlKind::Static, "Ответ преобразователя:", {15, 31, 110, 8}));
  c.push_back(MakeControl(kProgress, ControlKind::Static, "Номер датчика ", {15, 44, 170, 8}));
  c.push_back(MakeControl(ui::kIdCancel, ControlKind::PushButton, "Отмена", {75, 66, 50, 14},
                          ui::kStyleTabStop));

  for (std::size_t i = 0; i < kLeftGrid.size(); ++i) {
    AddGridRow(c, kLeftGrid[i], static_cast<int>(i), kLeftLabelX, kLeftLabelWidth, kLeftFieldX);
  }
  for (std::size_t i = 0; i < kRightGrid.size(); ++i) {
    const int row = static_cast<int>(i) < kDateRow ? static_cast<int>(i) : static_cast<int>(i) + 1;
    AddGridRow(c, kRightGrid[i], row, kRightLabelX, kRightLabelWidth, kRightFieldX);
  }
  const int dateY = RowY(kDateRow);
  c.push_back(MakeControl(kDateLabelId, ControlKind::Static,
                          "Data :", {kRightLabelX, dateY + 2, kRightLabelWidth, kLabelHeight},
                          ui::kStyleHidden));
  c.push_back(MakeControl(kDateDay, ControlKind::Edit, "", {kRightFieldX, dateY, 18, kEditHeight},
                          kHiddenEdit, 3));
  c.push_back(MakeControl(kDateMonth, ControlKind::Edit, "",
                          {kRightFieldX + 22, dateY, 18, kEditHeight}, kHiddenEdit, 3));
  c.push_back(MakeControl(kDateYear, ControlKind::Edit, "",
                          {kRightFieldX + 44, dateY, 28, kEditHeight}, kHiddenEdit, 5));

  const int spareY = RowY(kGridRows - 1);
  c.push_back(MakeControl(kSpareValue1, ControlKind::Edit, "",
                          {kRightLabelX, spareY, 60, kEditHeight}, kHiddenEdit, kValueLimit));
  c.push_back(MakeControl(kSpareValue2, ControlKind::Edit, "",
                          {kRightLabelX + 64, spareY, 60, kEditHeight}, kHiddenEdit, kValueLimit));
  c.push_back(MakeControl(kScratch, ControlKind::Edit, "",
                          {kRightLabelX + 128, spareY, 144, kEditHeight}, kHiddenEdit, 30));

  c.push_back(MakeControl(kCmdStartPolling, ControlKind::PushButton, "Identyfikacja",
                          {kMargin, kButtonTop, 70, kButtonHeight},
                          ui::kStyleHidden | ui::kStyleDisabled | ui::kStyleTabStop));
  c.push_back(MakeControl(kCmdStore, ControlKind::PushButton, "Dodaj",
                          {84, kButtonTop, 60, kButtonHeight},
                          ui::kStyleHidden | ui::kStyleColored | ui::kStyleTabStop));
  c.push_back(MakeControl(kCmdEnterId, ControlKind::PushButton, "Wpisz ID",
                          {151, kButtonTop, 60, kButtonHeight},
                          ui::kStyleHidden | ui::kStyleTabStop));
  return tpl;
}

THartKom0::THartKom0(ui::Window* parent, const TSerialPortSettings& settings,
                     ui::Window* mainWindow, TDaneIPPC& workingRecord, int manualEntry,
                     ui::Window* panelWindow)
    : THartProtokol(parent, BuildTemplate(manualEntry != 0), settings, panelWindow),
      mainWindow_(mainWindow),
      record_(workingRecord),
      manualEntry_(manualEntry),
      address_(*this, kAddress),
      transferFunction_(*this, kTransferFunction),
      unit_(*this, kUnit),
      upperRange_(*this, kUpperRange),
      lowerRange_(*this, kLowerRange),
      damping_(*this, kDamping),
      upperSensorLimit_(*this, kUpperSensorLimit),
      lowerSensorLimit_(*this, kLowerSensorLimit),
      minimumSpan_(*this, kMinimumSpan),
      message_(*this, kMessage, 32),
      tag_(*this, kTag, 8),
      descriptor_(*this, kDescriptor, 16) {}

void THartKom0::SetupWindow() {
  THartProtokol::SetupWindow();
  address_.SetValidator(0, kLastPollingAddress);
  if (manualEntry_ == 0) {
    address_.Enable(false);
    Item(kProgress)->SetText(kWaitText);
    record_.pollingAddress = 0;
    Poll();
    return;
  }
  // Manual entry: the operator types the values and stores them with "Dodaj", or polls from the
  // address typed with "Identyfikacja".
  for (const FieldRange& r : kManualRanges) ui::Edit(*this, r.id).SetValidator(r.min, r.max);
  ui::Edit(*this, kSensorSerialRange.id)
      .SetValidator(kSensorSerialRange.min, kSensorSerialRange.max);
  address_.SetText(Decimal(record_.pollingAddress));
  for (const auto& control : Controls()) {
    if (ShownInManualEntry(control->Id())) control->SetVisible(true);
  }
  Item(kCmdStartPolling)->SetEnabled(true);
}

void THartKom0::CloseWindow(int result) { EndDialog(result); }

ui::LResult THartKom0::HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) {
  if (message == kMsgDuplicateWarning) {
    MessageBox("Дублирование в Базе Данных запрещено!!!", "Внимание Базы Данных",
               ui::kMbOk | ui::kMbIconExclamation);
    return 0;
  }
  return THartProtokol::HandleMessage(message, wParam, lParam);
}

void THartKom0::OnCommand(int id, unsigned code) {
  if (code != ui::kNotifyClicked) return;
  if (id == kCmdStore) notImplemented_.clear();  // typed by hand: every field stands
  if (id == kCmdStartPolling) {
    if (manualEntry_ != 0) {
      if (!address_.IsValid()) return;
      record_.pollingAddress = Byte(FieldInteger(kAddress, 3));
    }
    Poll();
  } else if (id == kCmdStore) {
    if (manualEntry_ != 0) {
      if (!CanClose()) return;
      record_.pollingAddress = Byte(FieldInteger(kAddress, 3));
    }
    StoreStep();
  }
}

void THartKom0::Poll() {
  Item(kScratch)->SetText("");
  notImplemented_.clear();
  ownTypeHeard_ = false;
  heard_.reset();
  sequenceStep = 0;
  IssueShort(record_.pollingAddress, 0, kPollPreambles, kRequestLinkParam1);
  ClearDataFields();
  StartReplyTimer();
}

void THartKom0::ClearDataFields() {
  for (int id : kDataFields) Item(id)->SetText("");
}

void THartKom0::RequestLong(std::uint8_t command) {
  hart::LongAddress address;
  address.manufacturer = Byte(FieldInteger(kManufacturer, 3));
  address.deviceType = Byte(FieldInteger(kDeviceType, 3));
  address.deviceId = static_cast<std::uint32_t>(FieldInteger(kDeviceId, 8));
  IssueLong(address, command, {}, static_cast<int>(FieldInteger(kPreambles, 2) & 0xFF),
            kRequestLinkParam1);
  StartReplyTimer();
}

bool THartKom0::Refused(std::uint8_t command) {
  if (command == 0) return hart::IdentityRefused(*this);
  return hart::ShortReplyRefused(*this, command);
}

void THartKom0::RequestAfter(int step) {
  // The reads that follow command 0, in order; after the last, the record is stored.
  static constexpr std::array<std::uint8_t, 5> kReads{15, 14, 12, 13, 16};
  const auto* next = step == 0 ? kReads.begin()
                               : std::find(kReads.begin(), kReads.end(), step) + 1;
  if (next >= kReads.end()) {
    sequenceStep = 0;
    StoreStep();
    StartCloseTimer();
    return;
  }
  sequenceStep = *next;
  RequestLong(*next);
}

ui::LResult THartKom0::EvReply() {
  // A reply too short for its data ends identifying through the status hook, before anything of
  // it reaches a field or the record.
  const int step = sequenceStep;
  switch (step) {
    case 0:
      if (Refused(0)) return 0;
      Item(kProgress)->SetText(kAnsweredText);
      DecodeCommand0(Reply());
      break;
    case 15:
      if (Refused(15)) return 0;
      DecodeCommand15(Reply());
      break;
    case 14:
      if (Refused(14)) return 0;
      DecodeCommand14(Reply());
      break;
    case 12:
      if (Refused(12)) return 0;
      DecodeCommand12(Reply());
      break;
    case 13:
      if (Refused(13)) return 0;
      DecodeCommand13(Reply());
      break;
    case 16:
      if (Refused(16)) return 0;
      DecodeCommand16(Reply());
      break;
    default:
      return 0;
  }
  RequestAfter(step);
  return 0;
}

ui::LResult THartKom0::EvNoAnswer() {
  if (sequenceStep != 0 || record_.pollingAddress >= kLastPollingAddress) {
    NoAnswerAndClose();
    return 0;
  }
  ++record_.pollingAddress;
  address_.SetText(Decimal(record_.pollingAddress));
  Item(kProgress)->SetText(kNoAnswerText);
  Poll();
  return 0;
}

ui::LResult THartKom0::EvStatusError() {
  // A transmitter that answers command 0 with a status but with its whole identity is there and
  // said who it is, so polling ends on it. Only command 0 is essential: a read the transmitter
  // does not implement leaves its fields as they were and identifying goes on. Any other status
  // ends identifying.
  if (sequenceStep == 0 && hart::ReadIdentity(Reply())) return EvReply();
  if (sequenceStep != 0 && hart::ResponseCode(Reply()) == hart::kNotImplemented) {
    notImplemented_.push_back(static_cast<std::uint8_t>(sequenceStep));
    RequestAfter(sequenceStep);
    return 0;
  }
  THartProtokol::EvStatusError();
  StartCloseTimer();
  return 0;
}

ui::LResult THartKom0::EvLineBusy() {
  // A busy line ends identifying too: polling on would only meet it again.
  THartProtokol::EvLineBusy();
  StartCloseTimer();
  return 0;
}

void THartKom0::NoAnswerAndClose() {
  // Giving up: a late reply must not go on filling the record.
  KillTimer(kReplyTimerId);
  MessageBox(hart::texts::kNoTransmitter, "", ui::kMbOk | ui::kMbIconStop);
  StartCloseTimer();
}

void THartKom0::StoreStep() {
  const ui::Date today = ui::ThePlatform().Today();
  record_.recordDay = static_cast<std::uint8_t>(today.day);
  record_.recordMonth = static_cast<std::uint8_t>(today.month);
  record_.recordYear = today.year;
  record_.expansionCode = Byte(FieldInteger(kExpansionCode, 3));
  record_.manufacturerId = Byte(FieldInteger(kManufacturer, 3));
  // The one place where the simulated transmitter's effect is not its reply: it says device type
  // 200, yet its record names the first model. A transmitter that said another identity keeps
  // its own type, by which it is addressed later; one typed by hand names the first model too.
  record_.deviceType =
      ownTypeHeard_ ? Byte(FieldInteger(kDeviceType, 3)) : kSimulatedDeviceType;
  record_.preambles = Byte(FieldInteger(kPreambles, 2));
  record_.universalRevision = Byte(FieldInteger(kUniversalRevision, 3));
  record_.specificRevision = Byte(FieldInteger(kSpecificRevision, 3));
  record_.softwareRevision = Byte(FieldInteger(kSoftwareRevision, 3));
  record_.hardwareRevision = Byte(FieldInteger(kHardwareRevision, 3));
  record_.deviceFlags = Byte(FieldInteger(kFlags, 3));
  record_.deviceId = static_cast<std::int32_t>(FieldInteger(kDeviceId, 8));
  const auto read = [&](std::uint8_t command) {
    return std::find(notImplemented_.begin(), notImplemented_.end(), command) ==
           notImplemented_.end();
  };
  if (read(15)) {
    record_.alarmCode = Byte(FieldInteger(kAlarmCode, 3));
    record_.transferFunction = Byte(transferFunction_.LookUpShownCharacteristic());
    record_.unitCode = Byte(unit_.LookUpShownUnit());
    record_.damping = config::ReadValueText(ui::utf8::Left(damping_.Text(), 7));
    record_.writeProtect = Byte(FieldInteger(kWriteProtect, 3));
    record_.distributorCode = Byte(FieldInteger(kDistributor, 3));
  }
  if (read(14)) record_.sensorSerial = static_cast<std::int32_t>(FieldInteger(kSensorSerial, 8));
  if (mainWindow_ != nullptr) mainWindow_->SendMessage(kMsgIdentified);
}

void THartKom0::ShowInteger(int id, long value) { Item(id)->SetText(Decimal(value)); }

long THartKom0::FieldInteger(int id, std::size_t count) const {
  return config::LeadingInteger(Item(id)->Text(), count);
}

bool THartKom0::DecodeReceived(int command, std::span<const std::uint8_t> bytes) {
  std::span<std::uint8_t> reply = Reply();
  std::fill(reply.begin(), reply.end(), std::uint8_t{0});
  std::copy_n(bytes.begin(), std::min(bytes.size(), reply.size()), reply.begin());
  const std::size_t needed = command == 0
                                 ? hart::IdentityBytesOf(reply)
                                 : hart::ReplyDataSize(static_cast<std::uint8_t>(command));
  if (!hart::ReplyHolds(reply, needed)) return false;
  switch (command) {
    case 0: DecodeCommand0(reply); break;
    case 15: DecodeCommand15(reply); break;
    case 14: DecodeCommand14(reply); break;
    case 12: DecodeCommand12(reply); break;
    case 13: DecodeCommand13(reply); break;
    case 16: DecodeCommand16(reply); break;
    default: return false;
  }
  return true;
}

void THartKom0::DecodeCommand0(std::span<std::uint8_t> reply) {
  heard_ = hart::ReadIdentity(reply);
  ownTypeHeard_ = false;
  if (!heard_) return;
  const hart::Identity& id = *heard_;
  // The fields hold what addresses the transmitter, whatever layout said it: the requests that
  // follow and the record are made from them. The record has a byte for each address byte and
  // none for HART 7's 16-bit manufacturer code or the whole expanded device type: those live on
  // only in the identity, so that the data file keeps its layout. The preamble count is bounded
  // here, where it comes in, so that neither a request nor the record ever holds 0 or 255.
  ShowInteger(kExpansionCode, id.expansionCode);
  ShowInteger(kManufacturer, id.address.manufacturer);
  ShowInteger(kDeviceType, id.address.deviceType);
  ShowInteger(kPreambles, hart::BoundedPreambles(id.requestPreambles));
  ShowInteger(kUniversalRevision, id.universalRevision);
  ShowInteger(kSpecificRevision, id.specificRevision);
  ShowInteger(kSoftwareRevision, id.softwareRevision);
  ShowInteger(kHardwareRevision, id.hardwareRevision);
  ShowInteger(kFlags, id.flags);
  ShowInteger(kDeviceId, id.deviceId);
  // Recognised by its canned identity; see the store step.
  ownTypeHeard_ = !std::ranges::equal(hart::DataBytes(reply, 0, kCannedIdentityBytes),
                                      hart::IdentityOf(hart::TransmitterModel{}));
}

void THartKom0::DecodeCommand15(std::span<std::uint8_t> reply) {
  ShowInteger(kAlarmCode, hart::DataByte(reply, 0));
  transferFunction_.ShowCharacteristic(hart::DataByte(reply, 1));
  unit_.ShowUnit(hart::DataByte(reply, 2));
  record_.upperRange = hart::DataFloat(reply, 3);
  upperRange_.ShowValue(record_.upperRange);
  record_.lowerRange = hart::DataFloat(reply, 7);
  lowerRange_.ShowValue(record_.lowerRange);
  damping_.ShowValue(hart::DataFloat(reply, 11));
  ShowInteger(kWriteProtect, hart::DataByte(reply, 15));
  ShowInteger(kDistributor, hart::DataByte(reply, 16));
}

void THartKom0::DecodeCommand14(std::span<std::uint8_t> reply) {
  ShowInteger(kSensorSerial, hart::DataUnsigned24(reply, 0));
  record_.upperSensorLimit = hart::DataFloat(reply, 4);
  upperSensorLimit_.ShowValue(record_.upperSensorLimit);
  record_.lowerSensorLimit = hart::DataFloat(reply, 8);
  lowerSensorLimit_.ShowValue(record_.lowerSensorLimit);
  record_.minimumSpan = hart::DataFloat(reply, 12);
  minimumSpan_.ShowValue(record_.minimumSpan);
}

void THartKom0::DecodeCommand12(std::span<std::uint8_t> reply) {
  const auto message = hart::DataBytes(reply, 0, record_.message.size());
  std::copy(message.begin(), message.end(), record_.message.begin());
  message_.Show(record_.message);
}

void THartKom0::DecodeCommand13(std::span<std::uint8_t> reply) {
  const auto tag = hart::DataBytes(reply, 0, record_.tag.size());
  std::copy(tag.begin(), tag.end(), record_.tag.begin());
  tag_.Show(record_.tag);
  const auto descriptor = hart::DataBytes(reply, record_.tag.size(), record_.descriptor.size());
  std::copy(descriptor.begin(), descriptor.end(), record_.descriptor.begin());
  descriptor_.Show(record_.descriptor);
  const std::size_t dateAt = record_.tag.size() + record_.descriptor.size();
  record_.dateDay = hart::DataByte(reply, dateAt);
  record_.dateMonth = hart::DataByte(reply, dateAt + 1);
  record_.dateYear = hart::DataByte(reply, dateAt + 2);
  ShowInteger(kDateDay, record_.dateDay);
  ShowInteger(kDateMonth, record_.dateMonth);
  ShowInteger(kDateYear, kYearBase + record_.dateYear);
}

void THartKom0::DecodeCommand16(std::span<std::uint8_t> reply) {
  record_.assemblyNumber = hart::DataUnsigned24(reply, 0);
  ShowInteger(kAssemblyNumber, static_cast<long>(record_.assemblyNumber));
}
