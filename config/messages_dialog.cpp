#include "config/messages_dialog.h"

#include <algorithm>
#include <array>
#include <string>

#include "fields/value_text.h"
#include "hart/identity.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr int kLinkParam1 = 3;

constexpr std::uint8_t kCmdFindByTag = 11;
constexpr std::uint8_t kCmdReadMessage = 12;
constexpr std::uint8_t kCmdReadTagDescriptorDate = 13;
constexpr std::uint8_t kCmdReadAssemblyNumber = 16;
constexpr std::uint8_t kCmdWriteMessage = 17;
constexpr std::uint8_t kCmdWriteTagDescriptorDate = 18;
constexpr std::uint8_t kCmdWriteAssemblyNumber = 19;

constexpr std::size_t kMessageCharacters = 32;
constexpr std::size_t kTagCharacters = 8;
constexpr std::size_t kDescriptorCharacters = 16;
constexpr std::size_t kDayDigits = 2;
constexpr std::size_t kMonthDigits = 2;
constexpr std::size_t kYearDigits = 4;
constexpr std::size_t kAssemblyDigits = 8;
constexpr int kYearBase = 1900;

constexpr std::array<int, 2> kMessagePageControls{TMessages::kMessage, TMessages::kMessageLabel};
constexpr std::array<int, 10> kDescriptionPageControls{
    TMessages::kTag, TMessages::kTagLabel, TMessages::kDescriptor, TMessages::kDescriptorLabel,
    TMessages::kDay, TMessages::kMonth, TMessages::kYear, TMessages::kDateLabel,
    TMessages::kDaySeparator, TMessages::kMonthSeparator};
constexpr std::array<int, 2> kNumberPageControls{TMessages::kAssemblyNumber,
                                                 TMessages::kAssemblyLabel};
constexpr std::array<int, 2> kIdentityPageControls{TMessages::kIdentity,
                                                   TMessages::kIdentityLabel};

constexpr std::uint32_t kEditStyle = ui::kStyleBorder | ui::kStyleTabStop;
constexpr std::uint32_t kOffPage = ui::kStyleHidden | ui::kStyleDisabled;

// Edit limits count the terminating null.
constexpr int Limit(std::size_t characters) { return static_cast<int>(characters) + 1; }

}  // namespace

std::span<const int> TMessages::PageControls(int page) {
  switch (page) {
    case kMessagePage: return kMessagePageControls;
    case kDescriptionPage: return kDescriptionPageControls;
    case kNumberPage: return kNumberPageControls;
    case kIdentityPage: return kIdentityPageControls;
    default: return {};
  }
}

ui::DialogTemplate TMessages::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Сообщения";
  tpl.rect = {30, 30, 340, 164};
  AddListControls(tpl, "Вид информации", {6, 24, 328, 112});
  const std::uint32_t text = kEditStyle | ui::kStyleUpperCase;
  const ui::ControlTemplate own[] = {
      {kTabs, ControlKind::Tab, "", {6, 6, 328, 14}, ui::kStyleTabStop},
      // Page 0
      {kMessageLabel, ControlKind::Static, "Запиши информацию (до 32 знаков)", {14, 40, 200, 10}},
      {kMessage, ControlKind::Edit, "", {14, 52, 250, 12}, text, Limit(kMessageCharacters)},
      // Page 1
      {kTagLabel, ControlKind::Static, "Определитель", {14, 42, 72, 10}, kOffPage},
      {kTag, ControlKind::Edit, "", {90, 40, 72, 12}, text | kOffPage, Limit(kTagCharacters)},
      {kDescriptorLabel, ControlKind::Static, "Описание", {14, 62, 72, 10}, kOffPage},
      {kDescriptor, ControlKind::Edit, "", {90, 60, 130, 12}, text | kOffPage,
       Limit(kDescriptorCharacters)},
      {kDateLabel, ControlKind::Static, "Дата (д-м-г)", {14, 82, 72, 10}, kOffPage},
      {kDay, ControlKind::Edit, "", {90, 80, 20, 12}, kEditStyle | kOffPage, Limit(kDayDigits)},
      {kDaySeparator, ControlKind::Static, "---", {112, 82, 16, 10}, ui::kStyleCenter | kOffPage},
      {kMonth, ControlKind::Edit, "", {130, 80, 20, 12}, kEditStyle | kOffPage,
       Limit(kMonthDigits)},
      {kMonthSeparator, ControlKind::Static, "---", {152, 82, 16, 10},
       ui::kStyleCenter | kOffPage},
      {kYear, ControlKind::Edit, "", {170, 80, 30, 12}, kEditStyle | kOffPage, Limit(kYearDigits)},
      // Page 2
      {kAssemblyLabel, ControlKind::Static, "Номер ", {14, 42, 40, 10}, kOffPage},
      {kAssemblyNumber, ControlKind::Edit, "", {56, 40, 50, 12}, kEditStyle | kOffPage,
       Limit(kAssemblyDigits)},
      // Page 3
      {kIdentityLabel, ControlKind::Static, "Параметры идентификации", {14, 36, 150, 10},
       kOffPage},
      {kIdentity, ControlKind::ListBox, "", {14, 48, 220, 84}, ui::kStyleBorder | kOffPage},
      // Every page
      {kReadButton, ControlKind::DefPushButton, "Читай", {6, 144, 60, 14}, ui::kStyleTabStop},
      {kSendButtonId, ControlKind::PushButton, "Запиши", {72, 144, 60, 14}, ui::kStyleTabStop},
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {274, 144, 60, 14}, ui::kStyleTabStop},
  };
  tpl.controls.insert(tpl.controls.end(), std::begin(own), std::end(own));
  return tpl;
}

TMessages::TMessages(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                     const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      message_(*this, kMessage, kMessageCharacters),
      tag_(*this, kTag, kTagCharacters),
      descriptor_(*this, kDescriptor, kDescriptorCharacters),
      day_(*this, kDay),
      month_(*this, kMonth),
      year_(*this, kYear),
      assemblyNumber_(*this, kAssemblyNumber),
      identity_(*this, kIdentity),
      tabs_(*this, kTabs) {}

// Closed before the reply: the transmitter never confirmed the values, so the record keeps what
// it held rather than an unconfirmed change that nothing marks as unsaved.
void TMessages::CleanupWindow() {
  if (beforeWrite_.GiveBack() && panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  TLista::CleanupWindow();
}

void TMessages::SetupWindow() {
  TLista::SetupWindow();
  if (Ended()) return;
  tabs_.Add("Информация");
  tabs_.Add("Описание");
  tabs_.Add("Номер");
  tabs_.Add("Идентификация с помощью Определителя");
  tabs_.SetSelection(kMessagePage);
  day_.SetValidator(1, 31);
  month_.SetValidator(1, 12);
  year_.SetValidator(1900, 2155);
  // The largest number command 19's three bytes hold.
  assemblyNumber_.SetValidator(0, 16777215);
}

void TMessages::OnCommand(int id, unsigned code) {
  if (id == kReadButton && code == ui::kNotifyClicked) {
    Read();
    return;
  }
  TLista::OnCommand(id, code);
}

void TMessages::OnNotify(int id, unsigned code) {
  if (id == kTabs && code == ui::kNotifyTabChanged) {
    ShowPage(tabs_.Selection());
    TransmitterSelected();
    return;
  }
  TLista::OnNotify(id, code);
}

void TMessages::ShowPage(int page) {
  for (int p = 0; p < kPageCount; ++p) {
    for (const int id : PageControls(p)) {
      ui::ControlRef(*this, id).Show(p == page);
      ui::ControlRef(*this, id).Enable(p == page);
    }
  }
}

void TMessages::TransmitterSelected() {
  if (ReestablishCurrentRecord()) ShowRecord(*CurrentRecord());
}

void TMessages::ShowRecord(const TDaneIPPC& record) {
  ShowMessage(record);
  ShowTagDescriptorDate(record);
  ShowAssemblyNumber(record);
}

void TMessages::ShowMessage(const TDaneIPPC& record) { message_.Show(record.message); }

void TMessages::ShowTagDescriptorDate(const TDaneIPPC& record) {
  tag_.Show(record.tag);
  descriptor_.Show(record.descriptor);
  day_.SetText(std::to_string(record.dateDay));
  month_.SetText(std::to_string(record.dateMonth));
  year_.SetText(std::to_string(record.dateYear + kYearBase));
}

void TMessages::ShowAssemblyNumber(const TDaneIPPC& record) {
  assemblyNumber_.SetText(std::to_string(record.assemblyNumber));
}

// The found transmitter's identity, not the current record's: the tag may name another one. Each
// value is the one its revision's layout says: from HART 6 on the device type is the expanded
// one and the hardware revision its five bits; from HART 7 on the manufacturer is its 16-bit code.
void TMessages::ShowIdentity(const hart::Identity& found) {
  const auto line = [this](const char* label, long value) {
    identity_.Add(std::string(label) + std::to_string(value));
  };
  identity_.Clear();
  line("Код типа прибора - 254 = ", found.expansionCode);
  line("Фабричный код = ", found.manufacturer);
  line("Фабричный код прибора = ", found.deviceType);
  line("Количество преамбул в ответе = ", found.requestPreambles);
  line("Проверка уровня UCD = ", found.universalRevision);
  line("Проверка уровня TSD = ", found.specificRevision);
  line("Версия Программы = ", found.softwareRevision);
  line("Версия системы = ", found.hardwareRevision);
  line("Флажки = ", found.flags);
  line("Идентификационный номер = ", found.deviceId);
}

// A read's reply goes into the record before the fields show it again.
void TMessages::DecodeRead(TDaneIPPC& record) {
  const auto reply = Reply();
  const auto copy = [&reply](std::size_t at, auto& field) {
    const auto bytes = hart::DataBytes(reply, at, field.size());
    std::copy(bytes.begin(), bytes.end(), field.begin());
  };
  switch (awaited_) {
    case kCmdReadMessage:
      copy(0, record.message);
      break;
    case kCmdReadTagDescriptorDate: {
      copy(0, record.tag);
      copy(record.tag.size(), record.descriptor);
      const std::size_t date = record.tag.size() + record.descriptor.size();
      record.dateDay = hart::DataByte(reply, date);
      record.dateMonth = hart::DataByte(reply, date + 1);
      record.dateYear = hart::DataByte(reply, date + 2);
      break;
    }
    case kCmdReadAssemblyNumber:
      record.assemblyNumber = hart::ReadBack(record.assemblyNumber, hart::DataUnsigned24(reply, 0));
      break;
    default:
      break;
  }
}

void TMessages::EmptyFields(std::initializer_list<int> ids) {
  for (const int id : ids) ui::ControlRef(*this, id).SetText("");
}

bool TMessages::Valid(std::initializer_list<const ui::Edit*> fields) const {
  for (const ui::Edit* field : fields) {
    if (!field->IsValid()) return false;
  }
  return true;
}

long TMessages::FieldNumber(const ui::Edit& field, std::size_t characters) const {
  return config::LeadingInteger(field.Text(), characters);
}

void TMessages::Read() {
  if (!RecordsExist() || CurrentRecord() == nullptr) return;
  const TDaneIPPC& record = *CurrentRecord();
  switch (tabs_.Selection()) {
    case kMessagePage:
      RequestCommand(record, kCmdReadMessage, kLinkParam1);
      awaited_ = kCmdReadMessage;
      EmptyFields({kMessage});
      break;
    case kDescriptionPage:
      RequestCommand(record, kCmdReadTagDescriptorDate, kLinkParam1);
      awaited_ = kCmdReadTagDescriptorDate;
      EmptyFields({kTag, kDescriptor, kDay, kMonth, kYear});
      break;
    case kNumberPage:
      RequestCommand(record, kCmdReadAssemblyNumber, kLinkParam1);
      awaited_ = kCmdReadAssemblyNumber;
      EmptyFields({kAssemblyNumber});
      break;
    case kIdentityPage:
      RequestFindByTag(record, kLinkParam1);
      awaited_ = kCmdFindByTag;
      identity_.Clear();
      break;
    default:
      break;
  }
}

void TMessages::Send() {
  if (!RecordsExist() || CurrentRecord() == nullptr) return;
  TDaneIPPC& record = *CurrentRecord();
  // The values are stored as they are sent; a write that fails gives the record back. A number
  // out of its field's range is refused first, as the field's validator refuses it: nothing is
  // stored and nothing sent.
  switch (tabs_.Selection()) {
    case kMessagePage:
      beforeWrite_.Keep(record);
      message_.Read(record.message);
      RequestWriteMessage(record, kLinkParam1);
      awaited_ = kCmdWriteMessage;
      EmptyFields({kMessage});
      break;
    case kDescriptionPage:
      if (!Valid({&day_, &month_, &year_})) return;
      beforeWrite_.Keep(record);
      tag_.Read(record.tag);
      descriptor_.Read(record.descriptor);
      record.dateDay = static_cast<std::uint8_t>(FieldNumber(day_, kDayDigits));
      record.dateMonth = static_cast<std::uint8_t>(FieldNumber(month_, kMonthDigits));
      record.dateYear = static_cast<std::uint8_t>(FieldNumber(year_, kYearDigits) - kYearBase);
      RequestWriteTagDescriptorDate(record, kLinkParam1);
      awaited_ = kCmdWriteTagDescriptorDate;
      EmptyFields({kTag, kDescriptor, kDay, kMonth, kYear});
      break;
    case kNumberPage:
      if (!Valid({&assemblyNumber_})) return;
      beforeWrite_.Keep(record);
      record.assemblyNumber =
          static_cast<std::uint32_t>(FieldNumber(assemblyNumber_, kAssemblyDigits));
      RequestWriteAssemblyNumber(record, kLinkParam1);
      awaited_ = kCmdWriteAssemblyNumber;
      EmptyFields({kAssemblyNumber});
      break;
    default:
      break;
  }
}

ui::LResult TMessages::EvReply() {
  const bool read = awaited_ == kCmdFindByTag || awaited_ == kCmdReadMessage ||
                    awaited_ == kCmdReadTagDescriptorDate || awaited_ == kCmdReadAssemblyNumber;
  if (awaited_ == kCmdFindByTag ? hart::IdentityRefused(*this)
                                : read && hart::ShortReplyRefused(*this, awaited_)) {
    return 0;
  }
  TLista::EvReply();
  beforeWrite_.Drop();
  TDaneIPPC* record = CurrentRecord();
  if (read && record != nullptr) DecodeRead(*record);
  bool completed = true;
  switch (awaited_) {
    case kCmdReadMessage:
    case kCmdWriteMessage:
      if (record != nullptr) ShowMessage(*record);
      break;
    case kCmdReadTagDescriptorDate:
    case kCmdWriteTagDescriptorDate:
      if (record != nullptr) ShowTagDescriptorDate(*record);
      break;
    case kCmdReadAssemblyNumber:
    case kCmdWriteAssemblyNumber:
      if (record != nullptr) ShowAssemblyNumber(*record);
      break;
    case kCmdFindByTag:
      // Read whole: the refusal above has made sure of its length.
      if (const auto found = hart::ReadIdentity(Reply())) ShowIdentity(*found);
      break;
    default:
      completed = false;
      break;
  }
  if (completed) awaited_ = kIdleCommand;
  if (panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  return 0;
}

ui::LResult TMessages::EvNoAnswer() {
  if (beforeWrite_.GiveBack() && panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult TMessages::EvLineBusy() {
  if (beforeWrite_.GiveBack() && panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  return TLista::EvLineBusy();
}

ui::LResult TMessages::EvStatusError() {
  if (beforeWrite_.GiveBack() && panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  MessageBox(hart::texts::kStatusNotZero, hart::texts::kRangeError, ui::kMbOk | ui::kMbIconStop);
  return 0;
}
