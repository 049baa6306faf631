#include "hart/protokol.h"

#include "hart/device_status.h"
#include "hart/identity.h"
#include "hart/operator_texts.h"
#include "hart/reply_data.h"
#include "hart/request_observer.h"
#include "hart/response_code.h"
#include "hart/simulated_link.h"
#include "ui/platform.h"

namespace {
const char* const kPortNames[4] = {"COM1", "COM2", "COM3", "COM4"};
constexpr std::uint8_t kReadMoreStatus = 48;
constexpr const char* kDelayedTooLong =
    "Преобразователь не закончил команду за 60 с (отложенный ответ).";
hart::RequestObserver* theObserver = nullptr;

bool IsReplyFrame(std::span<const std::uint8_t> reply) {
  return reply[0] == 0x06 || reply[0] == 0x86;
}
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
  KillTimer(kDelayedTimerId);
  link_->Forget(*this);
  Wait();
}

void THartProtokol::EndDialog(int result) {
  ui::Dialog::EndDialog(result);
  KillTimer(kReplyTimerId);
  KillTimer(kDelayedTimerId);
  link_->Forget(*this);
}

// The link traces what goes out: a line link with the preambles it sends.
void THartProtokol::StartReplyTimer() {
  // A request of the dialog's own: whatever the engine was asking on its way is over.
  delayedSince_ = -1;
  held_.reset();
  KillTimer(kDelayedTimerId);
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
  } else if (id == kDelayedTimerId) {
    // The same request again, as the delayed response asks.
    KillTimer(kDelayedTimerId);
    link_->Transmit(*this);
  } else if (closeTimerId != 0 && id == closeTimerId) {
    EndDialog(0);
  }
}

std::uint8_t THartProtokol::RequestCommand() const {
  const auto request = Request();
  const std::size_t at = !request.empty() && request[0] == hart::kLongDelimiter ? 6 : 2;
  return request.size() > at ? request[at] : 0;
}

ui::LResult THartProtokol::HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) {
  if (message != kEvReply && message != kEvNoAnswer && message != kEvLineBusy &&
      message != kEvStatusError) {
    if (message == ui::kMsgCommand && ui::LowWord(wParam) == kCmdStartReplyTimer) {
      StartReplyTimer();
      return 0;
    }
    return ui::Dialog::HandleMessage(message, wParam, lParam);
  }
  // A link around another takes a reply meant for itself (0: the dialog hears nothing), or
  // unwraps what it wrapped, before the reply is classed.
  message = link_->Arrived(*this, message);
  if (message == 0) {
    receivedLength_ = 0;
    return 0;
  }
  // The response code of a frame a link received is classed here, once for every link; an event
  // a dialog raises itself (a reply refused as too short) carries no received frame.
  const bool received = receivedLength_ > 0 && IsReplyFrame(Reply());
  const std::uint8_t command = RequestCommand();
  const std::uint8_t code = received ? hart::ResponseCode(Reply()) : 0;
  const hart::ResponseClass kind = hart::ClassOf(code);
  caution_.clear();
  statusMeaning_.clear();
  bool delayed = false;
  if (received && (message == kEvReply || message == kEvStatusError)) {
    switch (kind) {
      case hart::ResponseClass::Warning:
        message = kEvReply;
        caution_ = hart::ResponseText(command, code);
        break;
      case hart::ResponseClass::Delayed: delayed = true; break;
      case hart::ResponseClass::Error:
        message = kEvStatusError;
        statusMeaning_ = hart::ResponseText(command, code);
        break;
      default: break;
    }
  }
  const std::int64_t now = ui::ThePlatform().NowMs();
  if (trace_ != nullptr) {
    const char* event = message == kEvReply       ? "reply"
                        : message == kEvNoAnswer  ? "no-answer"
                        : message == kEvLineBusy  ? "line-busy"
                        : delayed                 ? "delayed"
                                                  : "status";
    trace_->Outcome(now, event);
    if (receivedLength_ > 0) {
      const auto length = static_cast<std::size_t>(std::clamp(receivedLength_, 0, 71));
      trace_->ReplyBytes(Reply().first(length), receivedPreambles_);
    }
    if (!caution_.empty()) trace_->Note(now, "caution", caution_);
    // Written before any box the hook shows, so that ending the program there loses nothing.
    trace_->Flush();
  }
  receivedLength_ = 0;

  if (delayed) {
    if (delayedSince_ < 0) delayedSince_ = now;
    if (now - delayedSince_ < kDelayedLimitMs) {
      SetTimer(kDelayedTimerId, kDelayedPauseMs);
      return 0;
    }
    delayedSince_ = -1;
    statusMeaning_ = kDelayedTooLong;
    message = kEvStatusError;
  } else if (received) {
    delayedSince_ = -1;
  }

  if (held_) {
    TakeMoreStatus();
    message = held_->event;
    held_.reset();
  } else if (received && command != kReadMoreStatus) {
    const auto status = hart::DeviceStatusOf(Reply());
    if (status && (*status & hart::kMoreStatusAvailable) != 0) {
      if (!moreStatusAsked_ && (message == kEvReply || message == kEvStatusError) &&
          AskMoreStatus(message)) {
        return 0;
      }
    } else {
      moreStatusAsked_ = false;
    }
  }
  return Dispatch(message);
}

ui::LResult THartProtokol::Dispatch(unsigned message) {
  // The journal hears the outcome the dialog hears, a warning's reply among the replies.
  if (theObserver != nullptr) theObserver->OutcomeArrived(*this, message);
  if (trace_ != nullptr) {
    trace_->Exchanged(Request(), message, Reply(),
                      message == kEvStatusError ? statusMeaning_ : caution_);
  }
  ui::LResult result = 0;
  switch (message) {
    case kEvReply:
      if (!caution_.empty()) ShowCaution(RequestCommand(), hart::ResponseCode(Reply()));
      result = EvReply();
      break;
    case kEvNoAnswer: result = EvNoAnswer(); break;
    case kEvLineBusy: result = EvLineBusy(); break;
    default: result = EvStatusError(); break;
  }
  statusMeaning_.clear();
  if (trace_ != nullptr) trace_->Flush();
  return result;
}

void THartProtokol::ShowCaution(std::uint8_t command, std::uint8_t code) {
  const auto key = static_cast<std::uint16_t>(command << 8 | code);
  if (std::find(cautionsShown_.begin(), cautionsShown_.end(), key) != cautionsShown_.end()) return;
  cautionsShown_.push_back(key);
  ui::Window::MessageBox(caution_, "", ui::kMbOk | ui::kMbIconExclamation);
}

bool THartProtokol::AskMoreStatus(unsigned event) {
  auto held = std::make_unique<Held>();
  held->frame = frame;
  held->frameIsLong = frameIsLong;
  held->preambleCount = preambleCount;
  held->linkParam1 = linkParam1;
  held->requestLength = requestLength;
  held->linkParam2 = linkParam2;
  held->event = event;
  hart::LongAddress address;
  int preambles = preambleCount;
  const auto request = Request();
  if (frameIsLong != 0 && request.size() > 6) {
    address.manufacturer = request[1];
    address.deviceType = request[2];
    address.deviceId = static_cast<std::uint32_t>(request[3] << 16 | request[4] << 8 | request[5]);
    if (const TDaneIPPC* record = AddressedRecord()) held->revision = record->universalRevision;
  } else {
    // A poll: command 0's reply says whom it came from.
    const auto identity = hart::ReadIdentity(Reply());
    if (!identity) return false;
    address = identity->address;
    preambles = hart::BoundedPreambles(identity->requestPreambles);
    held->revision = identity->universalRevision;
  }
  moreStatusAsked_ = true;
  IssueLong(address, kReadMoreStatus, {}, preambles, linkParam1);
  held_ = std::move(held);
  link_->Transmit(*this);
  return true;
}

void THartProtokol::TakeMoreStatus() {
  const auto reply = Reply();
  const std::uint8_t code = IsReplyFrame(reply) ? hart::ResponseCode(reply) : 0xFF;
  const hart::ResponseClass kind = hart::ClassOf(code);
  const bool answered = RequestCommand() == kReadMoreStatus && IsReplyFrame(reply) &&
                        (kind == hart::ResponseClass::Success ||
                         kind == hart::ResponseClass::Warning);
  if (answered && trace_ != nullptr) {
    trace_->MoreStatus(ui::ThePlatform().NowMs(), hart::MoreStatusText(reply, held_->revision));
  }
  // The reply that asked for it goes on to the dialog as it came.
  frame = held_->frame;
  frameIsLong = held_->frameIsLong;
  preambleCount = held_->preambleCount;
  linkParam1 = held_->linkParam1;
  requestLength = held_->requestLength;
  linkParam2 = held_->linkParam2;
  caution_.clear();
  statusMeaning_.clear();
  const std::uint8_t heldCode = hart::ResponseCode(Reply());
  if (held_->event == kEvReply && hart::ClassOf(heldCode) == hart::ResponseClass::Warning) {
    caution_ = hart::ResponseText(RequestCommand(), heldCode);
  } else if (held_->event == kEvStatusError && heldCode != 0) {
    statusMeaning_ = hart::ResponseText(RequestCommand(), heldCode);
  }
}

int THartProtokol::MessageBox(const std::string& text, const std::string& caption,
                              unsigned flags) {
  if (!statusMeaning_.empty() && text == hart::texts::kStatusNotZero) {
    return ui::Window::MessageBox(text + "\n" + statusMeaning_, caption, flags);
  }
  return ui::Window::MessageBox(text, caption, flags);
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
