#include "calib/address_preambles_dialog.h"

#include <algorithm>
#include <optional>
#include <string>

#include "fields/value_text.h"
#include "hart/identity.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr int kLinkParam1 = 3;
constexpr int kSearchLinkParam1 = 1;
// Only the first two characters of either field count.
constexpr std::size_t kFieldDigits = 2;

constexpr const char* kAddressQuery = "Какой Адрес датчика";
constexpr const char* kPreamblesQuery = "Сколько Преамбул";
using hart::texts::kSetupError;

constexpr std::uint8_t kCmdIdentity = 0;

constexpr std::uint32_t kEditStyle = ui::kStyleBorder | ui::kStyleTabStop | ui::kStyleUpperCase;
constexpr std::uint32_t kOffPage = ui::kStyleHidden | ui::kStyleDisabled;

}  // namespace

ui::DialogTemplate TPolPre::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Адрес датчика/Преамбулы";
  tpl.rect = {30, 30, 260, 136};
  AddListControls(tpl, "Изменение Адреса датчика или Преамбулы", {6, 24, 248, 84});
  const ui::ControlTemplate own[] = {
      {kTabs, ControlKind::Tab, "", {6, 6, 248, 14}, ui::kStyleTabStop},
      {kAddressHint, ControlKind::Static,
       "Измени Адрес датчика (от 0 до 15). Только преобразователь с Адресом датчика = 0 "
       "является активным в электрической цепи 4-20 [мА].",
       {14, 36, 232, 34}, ui::kStyleCenter},
      {kPreamblesHint, ControlKind::Static,
       "Измени количество Преамбул в ответе (количество от 3 до 20).", {14, 36, 232, 34},
       ui::kStyleCenter | kOffPage},
      // The two fields share one place; the tab shows one of them.
      {kAddressField, ControlKind::Edit, "", {110, 80, 28, 12}, kEditStyle, kFieldTextLimit},
      {kAddressSpin, ControlKind::UpDown, "", {138, 80, 10, 12}},
      {kPreamblesField, ControlKind::Edit, "", {110, 80, 28, 12}, kEditStyle | kOffPage,
       kFieldTextLimit},
      {kPreamblesSpin, ControlKind::UpDown, "", {138, 80, 10, 12}, kOffPage},
      {kQueryButton, ControlKind::PushButton, kAddressQuery, {6, 116, 104, 14}, ui::kStyleTabStop},
      {kSendButtonId, ControlKind::PushButton, "Запиши", {140, 116, 54, 14}, ui::kStyleTabStop},
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {200, 116, 54, 14}, ui::kStyleTabStop},
  };
  tpl.controls.insert(tpl.controls.end(), std::begin(own), std::end(own));
  return tpl;
}

TPolPre::TPolPre(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                 const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      address_(*this, kAddressField),
      preambles_(*this, kPreamblesField),
      addressSpin_(*this, kAddressSpin),
      preamblesSpin_(*this, kPreamblesSpin),
      tabs_(*this, kTabs),
      queryButton_(*this, kQueryButton) {}

void TPolPre::SetupWindow() {
  TLista::SetupWindow();
  if (Ended()) return;
  tabs_.Add("Адрес датчика");
  tabs_.Add("Преамбулы");
  tabs_.SetSelection(kAddressTab);
  preamblesSpin_.SetRange(kMinPreambles, kMaxPreambles);
  addressSpin_.SetBuddy(kAddressField);
  preamblesSpin_.SetBuddy(kPreamblesField);
  preambles_.SetValidator(kMinPreambles, kMaxPreambles);
  FollowRecordsAddressRange();
}

std::uint8_t TPolPre::LastPollingAddress(const TDaneIPPC& record) {
  return record.universalRevision >= 6 ? kLastPollingAddressFromRevision6 : kLastPollingAddress;
}

void TPolPre::FollowRecordsAddressRange() {
  if (CurrentRecord() != nullptr) lastAddress_ = LastPollingAddress(*CurrentRecord());
  addressSpin_.SetRange(0, lastAddress_);
  address_.SetValidator(0, lastAddress_);
}

void TPolPre::OnCommand(int id, unsigned code) {
  if (id == kQueryButton && code == ui::kNotifyClicked) {
    Query();
  } else if (id == kAddressField && code == ui::kNotifyTextChanged) {
    FollowTypedText(address_, addressSpin_);
  } else if (id == kPreamblesField && code == ui::kNotifyTextChanged) {
    FollowTypedText(preambles_, preamblesSpin_);
  } else {
    TLista::OnCommand(id, code);
  }
}

void TPolPre::OnNotify(int id, unsigned code) {
  if (id == kTabs && code == ui::kNotifyTabChanged) {
    ShowTab(tabs_.Selection());
    TransmitterSelected();
    return;
  }
  TLista::OnNotify(id, code);
}

void TPolPre::ShowTab(int tab) {
  const bool addressTab = tab == kAddressTab;
  for (const int id : {kAddressHint, kAddressField, kAddressSpin}) {
    ui::ControlRef(*this, id).Show(addressTab);
    ui::ControlRef(*this, id).Enable(addressTab);
  }
  for (const int id : {kPreamblesField, kPreamblesHint, kPreamblesSpin}) {
    ui::ControlRef(*this, id).Show(!addressTab);
    ui::ControlRef(*this, id).Enable(!addressTab);
  }
}

void TPolPre::TransmitterSelected() {
  if (!ReestablishCurrentRecord()) return;
  const TDaneIPPC& record = *CurrentRecord();
  FollowRecordsAddressRange();
  queryButton_.SetText(tabs_.Selection() == kPreamblesTab ? kPreamblesQuery : kAddressQuery);
  ShowNumber(address_, addressSpin_, record.pollingAddress);
  ShowNumber(preambles_, preamblesSpin_, record.preambles);
}

void TPolPre::ShowNumber(const ui::Edit& field, const ui::UpDown& spin, int value) {
  // The spin steps on from what the field shows; its own clamping must not alter the text.
  spin.SetPosition(value);
  field.SetText(std::to_string(value));
}

void TPolPre::FollowTypedText(const ui::Edit& field, const ui::UpDown& spin) {
  spin.SetBuddy(0);
  spin.SetPosition(static_cast<int>(config::LeadingInteger(field.Text(), kFieldDigits)));
  spin.SetBuddy(field.Id());
}

void TPolPre::Send() {
  if (!RecordsExist() || CurrentRecord() == nullptr) return;
  const TDaneIPPC& record = *CurrentRecord();
  // A value out of its field's range is refused here, as the field's validator refuses it, and
  // never reaches the line.
  switch (tabs_.Selection()) {
    case kAddressTab:
      if (!address_.IsValid()) return;
      addressValue_ =
          static_cast<std::uint8_t>(config::LeadingInteger(address_.Text(), kFieldDigits));
      awaited_ = kWriteAddress;
      RequestPollingAddress(record, addressValue_, kLinkParam1);
      address_.SetText("");
      break;
    case kPreamblesTab:
      if (!preambles_.IsValid()) return;
      preambleValue_ =
          static_cast<std::uint8_t>(config::LeadingInteger(preambles_.Text(), kFieldDigits));
      awaited_ = kWritePreambles;
      RequestPreambles(record, preambleValue_, kLinkParam1);
      preambles_.SetText("");
      break;
    default:
      break;
  }
}

void TPolPre::Query() {
  if (!RecordsExist() || CurrentRecord() == nullptr) return;
  const TDaneIPPC& record = *CurrentRecord();
  switch (tabs_.Selection()) {
    case kAddressTab:
      addressValue_ = 0;
      RequestPoll(record, addressValue_, kSearchLinkParam1);
      addressValue_ = 1;
      awaited_ = kAddressSearch;
      break;
    case kPreamblesTab:
      // Not a poll of the search: it goes to the one address the record knows.
      RequestPoll(record, record.pollingAddress, kLinkParam1);
      awaited_ = kPreambleQuery;
      break;
    default:
      break;
  }
}

std::uint8_t TPolPre::ReplyCommand() const {
  switch (awaited_) {
    case kWriteAddress:
    case kWritePreambles: return awaited_;
    default: return kCmdIdentity;
  }
}

ui::LResult TPolPre::EvReply() {
  if (awaited_ != kIdle) {
    const std::uint8_t command = ReplyCommand();
    if (command == kCmdIdentity ? hart::IdentityRefused(*this)
                                : hart::ShortReplyRefused(*this, command)) {
      return 0;
    }
  }
  TLista::EvReply();
  TDaneIPPC* record = CurrentRecord();
  if (record != nullptr) {
    const auto reply = Reply();
    // Command 0 read whole, by the layout of its revision; the refusal above made sure of it.
    const bool polled = awaited_ == kPreambleQuery || awaited_ == kAddressSearch;
    const auto identity = polled ? hart::ReadIdentity(reply) : std::nullopt;
    switch (awaited_) {
      case kWriteAddress:
        record->pollingAddress = hart::DataByte(reply, 0);
        ShowNumber(address_, addressSpin_, record->pollingAddress);
        awaited_ = kIdle;
        break;
      case kWritePreambles:
        record->preambles = hart::DataByte(reply, 0);
        ShowNumber(preambles_, preamblesSpin_, record->preambles);
        awaited_ = kIdle;
        break;
      case kPreambleQuery:
        // Command 0 names the preambles the transmitter wants in front of a request. Kept within
        // the range this dialog writes, so that the field and the record can hold it.
        if (identity) {
          record->preambles = static_cast<std::uint8_t>(
              std::clamp<int>(identity->requestPreambles, kMinPreambles, kMaxPreambles));
        }
        ShowNumber(preambles_, preamblesSpin_, record->preambles);
        awaited_ = kIdle;
        break;
      case kAddressSearch:
        // The answer's short frame names the address that answered.
        if (identity) record->pollingAddress = identity->pollingAddress;
        ShowNumber(address_, addressSpin_, record->pollingAddress);
        awaited_ = kIdle;
        break;
      default:
        break;
    }
  }
  RefreshPanel();
  return 0;
}

ui::LResult TPolPre::EvNoAnswer() {
  if (awaited_ == kAddressSearch && CurrentRecord() != nullptr) {
    if (addressValue_ <= lastAddress_) {
      RequestPoll(*CurrentRecord(), addressValue_, kSearchLinkParam1);
      ++addressValue_;
      return 0;
    }
    NoAnswerMessage();
    awaited_ = kIdle;
    return 0;
  }
  NoAnswerMessage();
  if (awaited_ == kAddressSearch || awaited_ == kPreambleQuery) awaited_ = kIdle;
  return 0;
}

ui::LResult TPolPre::EvStatusError() {
  const char* text = hart::texts::kStatusNotZero;
  const char* caption = hart::texts::kRangeError;
  // The address search and the preamble query get short-frame replies.
  switch (hart::ResponseCode(Reply())) {
    case 2:
      text =
          "Неправильный адрес датчика Преобразователя.\n0 <= АДРЕС ДАТЧИКА <= 15.\nАдрес датчика "
          "не изменен.";
      caption = kSetupError;
      break;
    case 3:
      text = "Количество Преамбул очень большое.\n3 <= Количество Преамбул <= 20.";
      caption = kSetupError;
      break;
    case 4:
      text = "Количество Преамбул очень малое.\n3<= Количество Преамбул <= 20.";
      caption = kSetupError;
      break;
    default:
      break;
  }
  MessageBox(text, caption, ui::kMbOk | ui::kMbIconStop);
  return 0;
}

void TPolPre::NoAnswerMessage() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
}

void TPolPre::RefreshPanel() {
  if (panelWindow) panelWindow->SendMessage(kMsgShowRecord);
}
