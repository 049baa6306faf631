#include "tests/support/fault_link.h"

#include <algorithm>
#include <utility>

#include "hart/frame.h"
#include "hart/protokol.h"
#include "hart/reply_data.h"
#include "hart/serial_link.h"

namespace testhart {
namespace {

constexpr std::uint8_t kShortReplyDelimiter = 0x06;
constexpr std::uint8_t kLongReplyDelimiter = 0x86;
constexpr std::uint8_t kBusy = 32;
constexpr std::uint8_t kCommunicationError = 0x80;
constexpr std::size_t kReplyCapacity = hart::kFrameSize - hart::kReplyOffset;

// Delimiter to byte count; the response code and the device status follow it.
std::size_t HeaderOf(std::span<const std::uint8_t> frame) {
  if (frame.empty()) return 0;
  if (frame[0] == kShortReplyDelimiter) return 4;
  if (frame[0] == kLongReplyDelimiter) return 8;
  return 0;
}

// The length of the frame at the start of a reply area, checksum included; 0 when there is none.
std::size_t FrameLength(std::span<const std::uint8_t> area) {
  const std::size_t header = HeaderOf(area);
  if (header == 0) return 0;
  return std::min(header + area[header - 1] + 1, area.size());
}

// Keeps `dataBytes` after the status bytes (what the frame holds beyond them, or zeros), with the
// byte count and the checksum made for them.
void Reframe(std::vector<std::uint8_t>& frame, std::size_t dataBytes) {
  const std::size_t header = HeaderOf(frame);
  frame.resize(header + 2 + dataBytes);
  frame[header - 1] = static_cast<std::uint8_t>(2 + dataBytes);
  frame.push_back(hart::Checksum(frame));
}

}  // namespace

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::None:
      return "none";
    case Fault::LostRequest:
      return "lost request";
    case Fault::LostReply:
      return "lost reply";
    case Fault::Late:
      return "late reply";
    case Fault::LineDamage:
      return "damaged on the line";
    case Fault::ContentDamage:
      return "damaged content";
    case Fault::Busy:
      return "busy";
    case Fault::ResponseCode:
      return "response code";
    case Fault::DeviceStatus:
      return "device status";
  }
  return "?";
}

double FaultRates::Total() const {
  double total = 0;
  for (std::size_t i = 1; i < kFaultKinds; ++i) total += chance[i];
  return total;
}

FaultRates FaultRates::Drawn(std::mt19937_64& random, double ceiling) {
  FaultRates rates;
  std::uniform_real_distribution<double> rate(0.0, ceiling);
  for (std::size_t i = 1; i < kFaultKinds; ++i) {
    // A third of the faults stay away altogether, so that seeds differ in kind, not only in rate.
    rates.chance[i] = random() % 3 == 0 ? 0.0 : rate(random);
  }
  return rates;
}

// Stands in for the dialog at the inner link: it carries the dialog's request, addresses the
// dialog's record, and hands whatever the inner link raises to the fault link.
class FaultLink::Relay : public THartProtokol {
 public:
  Relay(FaultLink& link, THartProtokol& dialog, hart::Link& inner)
      : THartProtokol(&dialog, Template(), Settings(dialog, inner), nullptr),
        link_(link),
        dialog_(dialog) {
    Create();
  }

  void Send() {
    std::copy_n(dialog_.frame.begin(), hart::kRequestCapacity, frame.begin());
    requestLength = dialog_.requestLength;
    preambleCount = dialog_.preambleCount;
    linkParam1 = dialog_.linkParam1;
    linkParam2 = dialog_.linkParam2;
    frameIsLong = dialog_.frameIsLong;
    StartReplyTimer();
  }

  const TDaneIPPC* AddressedRecord() const override { return dialog_.AddressedRecord(); }

 protected:
  // No thread: the relay is no dialog of the program.
  void SetupWindow() override { ui::Dialog::SetupWindow(); }

  ui::LResult HandleMessage(unsigned message, ui::WParam wParam, ui::LParam lParam) override {
    switch (message) {
      case kEvReply:
      case kEvNoAnswer:
      case kEvLineBusy:
      case kEvStatusError:
        link_.Received(*this, message);
        return 0;
      default:
        return THartProtokol::HandleMessage(message, wParam, lParam);
    }
  }

 private:
  static ui::DialogTemplate Template() {
    ui::DialogTemplate tpl;
    tpl.style = ui::kStyleNone;
    return tpl;
  }
  static TSerialPortSettings Settings(const THartProtokol& dialog, hart::Link& inner) {
    TSerialPortSettings settings;
    settings.trace = dialog.Trace();  // the inner link traces the request as it goes out
    settings.link = &inner;
    return settings;
  }

  FaultLink& link_;
  THartProtokol& dialog_;
};

FaultLink::FaultLink(hart::Link& inner, std::uint64_t seed, FaultRates rates)
    : inner_(inner), random_(seed), rates_(rates) {}

FaultLink::~FaultLink() = default;

FaultLink::Exchange* FaultLink::Find(const THartProtokol& dialog) {
  for (Exchange& exchange : exchanges_) {
    if (exchange.dialog == &dialog) return &exchange;
  }
  return nullptr;
}

std::vector<const THartProtokol*> FaultLink::Waiting() const {
  std::vector<const THartProtokol*> out;
  for (const Exchange& exchange : exchanges_) {
    if (exchange.state != State::Idle) out.push_back(exchange.dialog);
  }
  return out;
}

int FaultLink::Uniform(int low, int high) {
  return std::uniform_int_distribution<int>(low, high)(random_);
}

Fault FaultLink::Draw() {
  if (forced_) return *forced_;
  double u = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
  for (std::size_t i = 1; i < kFaultKinds; ++i) {
    if (u < rates_.chance[i]) return static_cast<Fault>(i);
    u -= rates_.chance[i];
  }
  return Fault::None;
}

void FaultLink::Transmit(THartProtokol& dialog) {
  Exchange* exchange = Find(dialog);
  if (exchange == nullptr) {
    exchanges_.emplace_back();
    exchange = &exchanges_.back();
    exchange->dialog = &dialog;
    exchange->relay = std::make_unique<Relay>(*this, dialog, inner_);
  }
  // A new request replaces the one still waiting, and whatever was due for it.
  dialog.KillTimer(THartProtokol::kReplyTimerId);
  exchange->fault = Draw();
  ++counts_[static_cast<std::size_t>(exchange->fault)];
  if (observer_.sent) observer_.sent(dialog, exchange->fault, dialog.Request());
  if (exchange->fault == Fault::LostRequest) {
    inner_.Forget(*exchange->relay);
    Due(*exchange, kEvNoAnswer, {}, kNoAnswerMs);
    return;
  }
  exchange->state = State::AtInner;
  exchange->relay->Send();
}

void FaultLink::Forget(THartProtokol& dialog) {
  auto it = std::find_if(exchanges_.begin(), exchanges_.end(),
                         [&](const Exchange& e) { return e.dialog == &dialog; });
  if (it == exchanges_.end()) return;
  // The relay goes too: the inner link forgets it on its way out.
  Exchange gone = std::move(*it);
  exchanges_.erase(it);
}

void FaultLink::Received(Relay& relay, unsigned event) {
  auto it = std::find_if(exchanges_.begin(), exchanges_.end(),
                         [&](const Exchange& e) { return e.relay.get() == &relay; });
  if (it == exchanges_.end() || it->state != State::AtInner) return;
  const std::span<const std::uint8_t> area = relay.Reply();
  const std::size_t length = event == kEvNoAnswer ? 0 : FrameLength(area);
  Spoil(*it, event, std::vector<std::uint8_t>(area.begin(), area.begin() + length));
}

void FaultLink::Spoil(Exchange& exchange, unsigned event, std::vector<std::uint8_t> frame) {
  const std::size_t header = HeaderOf(frame);
  // What the inner link could not answer goes on as it is.
  if (header == 0 || frame.size() < header + 3 || event == kEvNoAnswer) {
    Due(exchange, event, std::move(frame), 0);
    return;
  }
  const std::size_t code = header;
  const std::size_t status = header + 1;
  const std::size_t data = header + 2;
  const std::size_t dataBytes = frame.size() - data - 1;
  int delayMs = 0;
  switch (exchange.fault) {
    case Fault::None:
    case Fault::LostRequest:
      break;
    case Fault::LostReply:
      Due(exchange, kEvNoAnswer, {}, kNoAnswerMs);
      return;
    case Fault::Late:
      delayMs = Uniform(1, kMaxLateMs);
      break;
    case Fault::LineDamage: {
      const int flips = Uniform(1, 3);
      for (int i = 0; i < flips; ++i) {
        const int at = Uniform(0, static_cast<int>(frame.size()) - 1);
        frame[static_cast<std::size_t>(at)] ^= static_cast<std::uint8_t>(1u << Uniform(0, 7));
      }
      // A line link delivers only what passes its checks; the rest is no answer at all.
      if (hart::ScanReply(frame, exchange.dialog->Request()).state !=
          hart::ReplyScan::State::Complete) {
        Due(exchange, kEvNoAnswer, {}, 0);
        return;
      }
      const unsigned outcome = hart::OutcomeOf(frame);
      Due(exchange, outcome, std::move(frame), 0);
      return;
    }
    case Fault::ContentDamage: {
      frame.pop_back();
      const int how = Uniform(0, 2);
      std::size_t keep = dataBytes;
      if (how == 0) {  // cut short
        keep = static_cast<std::size_t>(Uniform(0, static_cast<int>(dataBytes)));
      } else if (how == 1) {  // longer, up to what the reply area holds
        keep += static_cast<std::size_t>(
            Uniform(0, static_cast<int>(kReplyCapacity - data - 1 - dataBytes)));
      }
      frame.resize(data + keep);
      for (std::size_t at = data + dataBytes; at < frame.size(); ++at) {
        frame[at] = static_cast<std::uint8_t>(Uniform(0, 255));
      }
      if (how == 2 && keep > 0) {  // garbled
        const int garbled = Uniform(1, 4);
        for (int i = 0; i < garbled; ++i) {
          frame[data + static_cast<std::size_t>(Uniform(0, static_cast<int>(keep) - 1))] =
              static_cast<std::uint8_t>(Uniform(0, 255));
        }
      }
      Reframe(frame, keep);
      break;
    }
    case Fault::Busy:
      frame[code] = kBusy;
      Reframe(frame, 0);
      break;
    case Fault::ResponseCode:
      if (Uniform(0, 7) == 0) {
        // Heard garbled (the communication error bit): a line link tries again, and at last
        // hears no answer.
        Due(exchange, kEvNoAnswer, {}, kNoAnswerMs);
        return;
      }
      frame[code] = static_cast<std::uint8_t>(Uniform(1, kCommunicationError - 1));
      if (frame[code] == kBusy) ++frame[code];
      // An error carries no data; a warning carries the command's.
      Reframe(frame, Uniform(0, 1) == 0 ? 0 : dataBytes);
      break;
    case Fault::DeviceStatus:
      frame[status] = static_cast<std::uint8_t>(Uniform(1, 255));
      Reframe(frame, dataBytes);
      break;
  }
  const unsigned outcome = hart::OutcomeOf(frame);
  Due(exchange, outcome, std::move(frame), delayMs);
}

void FaultLink::Due(Exchange& exchange, unsigned event, std::vector<std::uint8_t> frame,
                    int delayMs) {
  exchange.state = State::Due;
  exchange.event = event;
  exchange.reply = std::move(frame);
  exchange.dialog->ArmReplyTimer();
  exchange.dialog->SetTimer(THartProtokol::kReplyTimerId, delayMs);
}

void FaultLink::ReplyDue(THartProtokol& dialog) {
  Exchange* exchange = Find(dialog);
  if (exchange == nullptr || exchange->state != State::Due) return;
  exchange->state = State::Idle;
  const unsigned event = exchange->event;
  const std::vector<std::uint8_t> reply = std::move(exchange->reply);
  exchange->reply.clear();
  const std::span<std::uint8_t> area = dialog.Reply();
  std::fill(area.begin(), area.end(), std::uint8_t{0});
  std::copy_n(reply.begin(), std::min(reply.size(), area.size()), area.begin());
  dialog.NoteReceived(static_cast<int>(reply.size()), THartProtokol::kNoPreambles);
  if (observer_.delivered) observer_.delivered(dialog, event, reply);
  // Last: the dialog may send again, or end, from inside the event.
  dialog.SendMessage(event);
}

}  // namespace testhart
