#include "config/range_pressure_dialog.h"

#include "hart/operator_texts.h"
#include "hart/reply_data.h"

namespace {

using ui::ControlKind;

constexpr int kLinkParam1 = 3;

constexpr const char* kSpanChanged = "Диапазон изменен";
constexpr const char* kZeroChanged = "Ноль изменен";
constexpr const char* kZeroNotChanged = "Ноль не изменен";

constexpr const char* kRangeChangeError = "ОШИБКА ИЗМЕНЕНИЯ ДИАПАЗОНА";
constexpr const char* kRangeChangeWarning = "ВНИМАНИЕ ИЗМЕНЕНИЯ ДИАПАЗОНА!";

constexpr std::uint8_t kAboveUpperLimit = 9;
constexpr std::uint8_t kBelowLowerLimit = 10;
constexpr std::uint8_t kSpanAffected = 14;
constexpr std::size_t kEndBytes = 4;  // one float

}  // namespace

ui::DialogTemplate TZeroSpan::BuildTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = kResourceId;
  tpl.caption = "Изменение с помощью заданного давления";
  tpl.rect = {20, 20, 260, 114};
  tpl.controls = {
      {kResultLabelId, ControlKind::Static, "Режим Изменения", {14, 18, 76, 8}},
      {kResultId, ControlKind::Edit, "", {94, 16, 150, 12},
       ui::kStyleBorder | ui::kStyleMultiline},
      {kExplanationId, ControlKind::Static,
       "Изменение нуля происходит с сохранением установленной ширины диапазона. В случае не "
       "выполнения этого условия выдаётся соответствующее сообщение.",
       {14, 36, 232, 40}},
      {kSendButtonId, ControlKind::DefPushButton, "Установи Начало", {6, 92, 86, 14},
       ui::kStyleTabStop},
      {kSetEndButtonId, ControlKind::PushButton, "Установи Конец", {98, 92, 86, 14},
       ui::kStyleTabStop},
      {ui::kIdCancel, ControlKind::PushButton, "Отмена", {198, 92, 56, 14}, ui::kStyleTabStop},
  };
  AddListControls(tpl, "", {6, 4, 248, 80});
  return tpl;
}

TZeroSpan::TZeroSpan(ui::Window* parent, TDane& database, bool& changed, int& selectionMemory,
                     const TSerialPortSettings& settings, ui::Window* panelWindow)
    : TLista(parent, BuildTemplate(), database, changed, selectionMemory, settings, panelWindow),
      result_(*this, kResultId) {}

void TZeroSpan::SetupWindow() {
  TLista::SetupWindow();
  awaited_ = 0;
}

void TZeroSpan::OnCommand(int id, unsigned code) {
  if (id == kSetEndButtonId && code == ui::kNotifyClicked) SetEnd(kCmdSetUpperRange);
}

void TZeroSpan::TransmitterSelected() {
  TLista::TransmitterSelected();
  if (RecordsExist()) result_.SetText("");
}

void TZeroSpan::Send() { SetEnd(kCmdSetLowerRange); }

void TZeroSpan::SetEnd(std::uint8_t command) {
  if (!RecordsExist()) return;
  result_.SetText("");
  awaited_ = command;
  RequestCommand(*CurrentRecord(), command, kLinkParam1);
}

ui::LResult TZeroSpan::EvReply() {
  if (awaited_ != 0 && hart::ShortReplyRefused(*this, awaited_)) return 0;
  TLista::EvReply();
  // A reply to 36 or 37 that says the end set has it stored at once; one with no data (as most
  // transmitters send) leaves the range to what 15 reads back.
  const auto reply = Reply();
  TDaneIPPC* record = CurrentRecord();
  switch (record != nullptr ? awaited_ : 0) {
    case kCmdSetUpperRange:
      result_.SetText(kSpanChanged);
      if (hart::ReplyHolds(reply, kEndBytes)) {
        record->upperRange = hart::ReadBack(record->upperRange, hart::DataFloat(reply, 0));
      }
      awaited_ = kCmdReadOutputInfo;
      RequestCommand(*record, kCmdReadOutputInfo, kLinkParam1);
      break;
    case kCmdSetLowerRange:
      result_.SetText(kZeroChanged);
      if (hart::ReplyHolds(reply, kEndBytes)) {
        record->lowerRange = hart::ReadBack(record->lowerRange, hart::DataFloat(reply, 0));
      }
      awaited_ = kCmdReadOutputInfo;
      RequestCommand(*record, kCmdReadOutputInfo, kLinkParam1);
      break;
    case kCmdReadOutputInfo:
      record->upperRange = hart::ReadBack(record->upperRange, hart::DataFloat(reply, 3));
      record->lowerRange = hart::ReadBack(record->lowerRange, hart::DataFloat(reply, 7));
      awaited_ = 0;
      break;
    default:
      break;
  }
  if (panelWindow) panelWindow->SendMessage(kMsgShowRecord);
  return 0;
}

ui::LResult TZeroSpan::EvNoAnswer() {
  MessageBox(hart::texts::kNoAnswer, "", ui::kMbOk | ui::kMbIconStop);
  awaited_ = 0;
  return 0;
}

ui::LResult TZeroSpan::EvStatusError() {
  // 14 is a warning: its reply, with data, goes to EvReply after ShowCaution.
  const char* text = hart::texts::kStatusNotZero;
  const char* caption = kRangeChangeError;
  const char* fieldText = nullptr;
  switch (Reply()[hart::kReplyResponseCode]) {
    case kAboveUpperLimit:
      text = "Изменение вне\nверхнего диапазона преобразователя.\nУстановки не изменены.";
      fieldText = kZeroNotChanged;
      break;
    case kBelowLowerLimit:
      text = "Изменение вне\nнижнего диапазона преобразователя.\nУстановки не изменены.";
      fieldText = kZeroNotChanged;
      break;
    default:
      break;
  }
  MessageBox(text, caption, ui::kMbOk | ui::kMbIconStop);
  if (fieldText != nullptr) result_.SetText(fieldText);
  awaited_ = 0;
  return 0;
}

// 14 in answer to 37: the lower end was set and the upper one moved with it, which this dialog's
// own words say, at each set as its other messages. 14 in answer to 36 keeps the general
// caution: the value was taken, so "not changed" would be false.
void TZeroSpan::ShowCaution(std::uint8_t command, std::uint8_t code) {
  if (command != kCmdSetLowerRange || code != kSpanAffected) {
    TLista::ShowCaution(command, code);
    return;
  }
  MessageBox("Изменения установки\nширины диапазона преобразователя.\nУстановки изменены.",
             kRangeChangeWarning, ui::kMbOk | ui::kMbIconStop);
  result_.SetText(kZeroChanged);
}
