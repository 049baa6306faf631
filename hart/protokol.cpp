#include "hart/protokol.h"

#include "hart/operator_texts.h"
#include "hart/request_observer.h"
#include "hart/simulated_link.h"
#include "ui/platform.h"

namespace {
const char* const kPortNames[4] = {"COM1", "COM2", "COM3", "COM4"};
hart::RequestObserver* theObserver = nullptr;
}  // namespace

void hart::SetRequestObserver(RequestObserver* observer) { theObserver = observer; }
hart::RequestObserver* hart::CurrentRequestObserver() { return theObserver; }

THartProtokol::THartProtokol(ui::Window* parent, ui::DialogTemplate tpl,
                             const TSerialPortSettings& settings, ui::Window* panelWindow)
    : ui::Dialog(parent, std::move(tpl)),
      panelWindow(panelWindow),
      trace_(settings.trace),
      ownLink_(settings.link == nullptr ? std::make_unique<hart::SimulatedLink>() : nullptr),
      link_(settings.link != nullptr ? settings.link : ownLink_.get()) {
  for (int i = 0; i < 4; ++i) {
    if (settings.portFlags[i] == 1) portName = kPortNames[i];
  }
}

THartProtokol::~THartProtokol() {
  if (theObserver != nullptr) theObserver->Abandoned(*this);
  link_->Forget(*this);
  Wait();
  if (trace_ != nullptr) trace_->Flush();
}

void THartProtokol::SetupWindow() {
  ui::Dialog::SetupWindow();
  Start();
}

void THartProtokol::CleanupWindow() {
  ui::Dialog::CleanupWindow();
  KillTimer(kReplyTimerId);
  link_->Forget(*this);
  Wait();
}

void THartProtokol::EndDialog(int result) {
  ui::Dialog::EndDialog(result);
  KillTimer(kReplyTimerId);
  link_->Forget(*this);
}

// The link traces what goes out: a line link with the preambles it sends.
void THartProtokol::StartReplyTimer() {
  if (theObserver != nullptr) theObserver->RequestLeft(*this);
  link_->Transmit(*this);
}

void THartProtokol::ArmReplyTimer() {
  SetTimer(kReplyTimerId, kReplyDelayMs);
  replyTimerId = kReplyTimerId;
}

void THartProtokol::StartCloseTimer() {
  SetTimer(kCloseTimerId, kCloseDelayMs);
  closeTimerId = kCloseTimerId;
}

void THartProtokol::OnTimer(int id) {
  if (replyTimerId != 0 && id == replyTimerId) {
    KillTimer(kReplyTimerId);
    link_->ReplyDue(*this);
  } else if (closeTimerId != 0 && id == closeTimerId) {
    EndDialog(0);
  }
}

ui::LResult THartProtokol::HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) {
  const char* event = nullptr;
  switch (message) {
    case kEvReply: event = "reply"; break;
    case kEvNoAnswer: event = "no-answer"; break;
    case kEvLineBusy: event = "line-busy"; break;
    case kEvStatusError: event = "status"; break;
    default: break;
  }
  if (event != nullptr) {
    if (trace_ != nullptr) {
      trace_->Outcome(ui::ThePlatform().NowMs(), event);
      const auto length = static_cast<std::size_t>(std::clamp(receivedLength_, 0, 71));
      if (length > 0) trace_->ReplyBytes(Reply().first(length), receivedPreambles_);
      trace_->Exchanged(Request(), message, Reply().first(length));
      // Written before any box the hook shows, so that ending the program there loses nothing.
      trace_->Flush();
    }
    receivedLength_ = 0;
    if (theObserver != nullptr) theObserver->OutcomeArrived(*this, message);
    ui::LResult result = 0;
    switch (message) {
      case kEvReply: result = EvReply(); break;
      case kEvNoAnswer: result = EvNoAnswer(); break;
      case kEvLineBusy: result = EvLineBusy(); break;
      default: result = EvStatusError(); break;
    }
    if (trace_ != nullptr) trace_->Flush();
    return result;
  }
  if (message == ui::kMsgCommand && ui::LowWord(wParam) == kCmdStartReplyTimer) {
    StartReplyTimer();
    return 0;
  }
  return ui::Dialog::HandleMessage(message, wParam, lParam);
}

ui::LResult THartProtokol::EvNoAnswer() {
  MessageBox("Ошибки передачи.\nОтсутствие связи!!!", "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult THartProtokol::EvLineBusy() {
  MessageBox("Передача или нагрузка на линии.\nПередача не возможна!!!", "",
             ui::kMbOk | ui::kMbIconStop);
  return 0;
}

ui::LResult THartProtokol::EvStatusError() {
  MessageBox(hart::texts::kStatusNotZero, "", ui::kMbOk | ui::kMbIconStop);
  return 0;
}

void THartProtokol::IssueShort(std::uint8_t pollingAddress, std::uint8_t command, int preambles,
                               int param1) {
  requestLength = hart::WriteShortFrame(std::span(frame).first(hart::kRequestCapacity),
                                        pollingAddress, command);
  preambleCount = preambles;
  linkParam1 = param1;
  linkParam2 = kLinkParam2;
  frameIsLong = 0;
}

void THartProtokol::IssueLong(const hart::LongAddress& address, std::uint8_t command,
                              std::span<const std::uint8_t> data, int preambles, int param1) {
  requestLength = hart::WriteLongFrame(std::span(frame).first(hart::kRequestCapacity), address,
                                       command, data);
  preambleCount = preambles;
  linkParam1 = param1;
  linkParam2 = kLinkParam2;
  frameIsLong = 1;
}
