#include "hart/reach_link.h"

#include <algorithm>

#include "hart/identity.h"
#include "hart/protokol.h"
#include "hart/reply_data.h"
#include "record/packed_text.h"
#include "ui/utf8.h"

namespace hart {
namespace {

constexpr int kAttempts = 3;
constexpr int kPreambles = 5;
constexpr std::size_t kLongCommand = 6;
constexpr std::size_t kShortCommand = 2;
// The reply's response code and its data in a long frame.
constexpr std::size_t kCode = kReplyResponseCode;
constexpr std::size_t kData = kReplyData;
// However many devices a gateway says it found, no more indexes than this are asked for: a
// gateway's word must not keep us asking for ever.
constexpr std::uint16_t kMostSubDevices = 250;

bool IsLong(std::span<const std::uint8_t> frame) {
  return !frame.empty() && frame[0] == kLongDelimiter;
}

bool SameAddress(std::span<const std::uint8_t> frame, const LongAddress& a) {
  return IsLong(frame) && frame.size() >= 6 && (frame[1] & 0x3F) == (a.manufacturer & 0x3F) &&
         frame[2] == a.deviceType && frame[3] == (a.deviceId >> 16 & 0xFF) &&
         frame[4] == (a.deviceId >> 8 & 0xFF) && frame[5] == (a.deviceId & 0xFF);
}

void WriteLong(THartProtokol& dialog, const LongAddress& address, std::uint8_t command,
               std::span<const std::uint8_t> data) {
  dialog.requestLength =
      WriteLongFrame(std::span(dialog.frame).first(kRequestCapacity), address, command, data);
  dialog.frameIsLong = 1;
}

// The data of the long-frame reply in the dialog's reply area.
std::span<const std::uint8_t> ReplyData(THartProtokol& dialog) {
  const auto reply = dialog.Reply();
  if (reply[0] != 0x86) return {};
  const std::size_t count = reply[7];
  if (count < 2 || kData + count - 2 > reply.size()) return {};
  return reply.subspan(kData, count - 2);
}

}  // namespace

std::vector<std::uint8_t> ShortTagBytes(const std::string& utf8Tag) {
  std::vector<std::uint8_t> out(6);
  packed::EncodeFromEntry(utf8Tag, kShortTagLength, out);
  return out;
}

std::vector<std::uint8_t> LongTagBytes(const std::string& utf8Tag) {
  std::vector<std::uint8_t> out;
  for (char32_t c : ui::utf8::Decode(utf8Tag)) {
    if (out.size() == kLongTagLength) break;
    out.push_back(c <= 0xFF ? static_cast<std::uint8_t>(c) : std::uint8_t{'?'});
  }
  out.resize(kLongTagLength, ' ');
  return out;
}

ReachLink::ReachLink(std::unique_ptr<Link> inner, Reach reach, bool gateway)
    : owned_(std::move(inner)), inner_(owned_.get()), reach_(std::move(reach)), gateway_(gateway) {}

ReachLink::ReachLink(Link& inner, Reach reach, bool gateway)
    : inner_(&inner), reach_(std::move(reach)), gateway_(gateway) {}

void ReachLink::Rediscover() {
  discovered_ = false;
  subDevices_.clear();
  refused_.clear();
  // Asked for even when the reach itself does not need it.
  step_ = Step::Identify;
}

const gateway::SubDevice* ReachLink::SubDeviceAt(const LongAddress& address) const {
  for (const gateway::SubDevice& s : subDevices_) {
    const LongAddress a = s.Address();
    if ((a.manufacturer & 0x3F) == (address.manufacturer & 0x3F) &&
        a.deviceType == address.deviceType && a.deviceId == address.deviceId) {
      return &s;
    }
  }
  return nullptr;
}

void ReachLink::Transmit(THartProtokol& dialog) {
  refusal_.clear();
  const auto request = dialog.Request();
  // A request to another device than the gateway itself (a record opened from a data file, or
  // found earlier) may be for a sub-device: the gateway is asked which it has, once.
  const bool elsewhere =
      IsLong(request) && (!gatewayKnown_ || !SameAddress(request, gatewayAddress_));
  const bool wanted = reach_.by == Reach::By::SubDevice || step_ == Step::Identify || elsewhere;
  learning_ = nullptr;
  if (gateway_ && !discovered_ && wanted) {
    held_ = {std::vector<std::uint8_t>(request.begin(), request.end()), dialog.preambleCount,
             dialog.linkParam1, dialog.linkParam2, dialog.frameIsLong};
    discovering_ = &dialog;
    subDevices_.clear();
    refused_.clear();
    indexRefused_ = false;
    Discover(dialog, Step::Identify);
    return;
  }
  // The HART-IP device's own answer to a poll of address 0 says who the gateway is.
  if (gateway_ && !IsLong(request) && request.size() > kShortCommand && (request[1] & 0x3F) == 0 &&
      request[kShortCommand] == 0) {
    learning_ = &dialog;
  }
  Send(dialog);
}

void ReachLink::Send(THartProtokol& dialog) {
  const auto request = dialog.Request();
  const std::vector<std::uint8_t> original(request.begin(), request.end());
  const int originalLength = dialog.requestLength;
  const std::uint8_t originalIsLong = dialog.frameIsLong;
  const bool poll = dialog.searchesReach && original.size() > kShortCommand &&
                    original[0] == kShortDelimiter && original[kShortCommand] == 0;
  if (poll && reach_.by == Reach::By::Tag) {
    WriteLong(dialog, LongAddress{}, 11, ShortTagBytes(reach_.tag));
  } else if (poll && reach_.by == Reach::By::LongTag) {
    WriteLong(dialog, LongAddress{}, 21, LongTagBytes(reach_.tag));
  } else if (poll && reach_.by == Reach::By::SubDevice) {
    const auto it = std::ranges::find(subDevices_, reach_.subDevice, &gateway::SubDevice::index);
    if (it != subDevices_.end()) WriteLong(dialog, it->Address(), 0, {});
  }
  wrapped_ = nullptr;
  const auto now = dialog.Request();
  const gateway::SubDevice* sub = nullptr;
  if (gateway_ && IsLong(now) && !SameAddress(now, gatewayAddress_)) {
    sub = SubDeviceAt(LongAddress{static_cast<std::uint8_t>(now[1] & 0x3F), now[2],
                                  static_cast<std::uint32_t>(now[3] << 16 | now[4] << 8 | now[5])});
  } else if (gateway_ && !IsLong(now) && !poll && dialog.AddressedRecord() != nullptr) {
    // A poll of the record's own (the address dialog's) goes to the record's sub-device.
    const TDaneIPPC& r = *dialog.AddressedRecord();
    sub = SubDeviceAt(LongAddress{r.manufacturerId, r.deviceType,
                                  static_cast<std::uint32_t>(r.deviceId) & 0xFFFFFF});
  }
  // 77 adds its own header and three bytes; a request that could not travel inside it within
  // the request area goes as it is (none of ours comes near).
  if (sub != nullptr && now.size() + 11 <= kRequestCapacity) {
    const std::vector<std::uint8_t> data = gateway::WrapRequest(
        sub->card, sub->channel, static_cast<std::uint8_t>(std::clamp(dialog.preambleCount, 5, 20)),
        std::vector<std::uint8_t>(now.begin(), now.end()));
    wrappedFrame_.assign(now.begin(), now.end());
    WriteLong(dialog, gatewayAddress_, gateway::kCmdSendToSubDevice, data);
    wrapped_ = &dialog;
  }
  inner_->Transmit(dialog);
  // The link below has taken its copy; the dialog keeps the request it made.
  std::copy(original.begin(), original.end(), dialog.frame.begin());
  dialog.requestLength = originalLength;
  dialog.frameIsLong = originalIsLong;
}

void ReachLink::Discover(THartProtokol& dialog, Step step) {
  step_ = step;
  dialog.preambleCount = kPreambles;
  dialog.linkParam1 = kAttempts;
  dialog.linkParam2 = THartProtokol::kLinkParam2;
  switch (step) {
    case Step::Identify:
      dialog.requestLength = WriteShortFrame(std::span(dialog.frame).first(kRequestCapacity), 0, 0);
      dialog.frameIsLong = 0;
      break;
    case Step::Capabilities:
      WriteLong(dialog, gatewayAddress_, gateway::kCmdCapabilities, {});
      break;
    case Step::Summary:
      WriteLong(dialog, gatewayAddress_, gateway::kCmdSubDeviceSummary,
                gateway::SubDeviceRequest(nextIndex_));
      break;
    case Step::None:
      return;
  }
  inner_->Transmit(dialog);
}

void ReachLink::Forget(THartProtokol& dialog) {
  if (discovering_ == &dialog) {
    discovering_ = nullptr;
    step_ = Step::Identify;
  }
  if (wrapped_ == &dialog) wrapped_ = nullptr;
  if (learning_ == &dialog) learning_ = nullptr;
  inner_->Forget(dialog);
}

void ReachLink::ReplyDue(THartProtokol& dialog) { inner_->ReplyDue(dialog); }

unsigned ReachLink::Arrived(THartProtokol& dialog, unsigned event) {
  if (discovering_ == &dialog) {
    if (DiscoveryReply(dialog, event)) return 0;
    // The gateway did not say who it is: the held request gets its no answer.
    if (!discovered_) {
      // Nothing the dialog asked for came: what came is the gateway's, not a reply to classify.
      dialog.NoteReceived(0, 0);
      return event == kEvReply || event == kEvStatusError ? kEvNoAnswer : event;
    }
    EndDiscovery(dialog);
    return 0;
  }
  if (wrapped_ == &dialog) return Unwrap(dialog, event);
  if (learning_ == &dialog && (event == kEvReply || event == kEvStatusError)) {
    if (const std::optional<Identity> identity = ReadIdentity(dialog.Reply())) {
      gatewayAddress_ = identity->address;
      gatewayKnown_ = true;
    }
  }
  learning_ = nullptr;
  return event;
}

bool ReachLink::DiscoveryReply(THartProtokol& dialog, unsigned event) {
  const bool answered = event == kEvReply || event == kEvStatusError;
  switch (step_) {
    case Step::Identify: {
      const std::optional<Identity> identity =
          answered ? ReadIdentity(dialog.Reply()) : std::nullopt;
      if (!identity) {
        discovering_ = nullptr;
        step_ = Step::Identify;
        refusal_ = "устройство HART-IP не ответило на команду 0";
        return false;
      }
      gatewayAddress_ = identity->address;
      gatewayKnown_ = true;
      Discover(dialog, Step::Capabilities);
      return true;
    }
    case Step::Capabilities: {
      const auto data = ReplyData(dialog);
      const auto caps = event == kEvReply ? gateway::ReadCapabilities(data) : std::nullopt;
      discovered_ = true;
      // Not an I/O system (74 refused or not understood): a transmitter of its own, no
      // sub-devices. Its own count is in 74's devices detected, the sub-devices from index 1.
      if (!caps || caps->devicesDetected < 2) return false;
      lastIndex_ =
          static_cast<std::uint16_t>(std::min<int>(caps->devicesDetected - 1, kMostSubDevices));
      nextIndex_ = 1;
      Discover(dialog, Step::Summary);
      return true;
    }
    case Step::Summary: {
      const auto sub = event == kEvReply ? gateway::ReadSubDevice(ReplyData(dialog)) : std::nullopt;
      if (sub && sub->index == nextIndex_) {
        subDevices_.push_back(*sub);
      } else {
        const std::uint8_t code = answered ? dialog.Reply()[kCode] : 0;
        refused_.emplace_back(nextIndex_, answered ? "ответ 84: код " + std::to_string(code)
                                                   : std::string("нет ответа на команду 84"));
      }
      if (nextIndex_ >= lastIndex_) {
        // The index asked for beyond those the gateway counted is asked of 84 too: its answer
        // says why it is not there.
        if (reach_.by != Reach::By::SubDevice || reach_.subDevice <= lastIndex_) return false;
        lastIndex_ = reach_.subDevice;
        nextIndex_ = reach_.subDevice;
      } else {
        ++nextIndex_;
      }
      Discover(dialog, Step::Summary);
      return true;
    }
    case Step::None:
      break;
  }
  return false;
}

void ReachLink::EndDiscovery(THartProtokol& dialog) {
  discovering_ = nullptr;
  step_ = Step::None;
  std::copy(held_.request.begin(), held_.request.end(), dialog.frame.begin());
  dialog.requestLength = static_cast<int>(held_.request.size());
  dialog.preambleCount = held_.preambles;
  dialog.linkParam1 = held_.param1;
  dialog.linkParam2 = held_.param2;
  dialog.frameIsLong = held_.isLong;
  if (reach_.by == Reach::By::SubDevice &&
      std::ranges::find(subDevices_, reach_.subDevice, &gateway::SubDevice::index) ==
          subDevices_.end()) {
    indexRefused_ = true;
    refusal_ = "шлюз не знает подчинённого прибора " + std::to_string(reach_.subDevice);
    for (const auto& [index, why] : refused_) {
      if (index == reach_.subDevice) refusal_ += " (" + why + ")";
    }
    // Nothing goes to a sub-device that is not there: the dialog hears no answer.
    dialog.NoteReceived(0, 0);
    dialog.SendMessage(kEvNoAnswer);
    return;
  }
  Send(dialog);
}

unsigned ReachLink::Unwrap(THartProtokol& dialog, unsigned event) {
  wrapped_ = nullptr;
  if (event != kEvReply && event != kEvStatusError) return event;
  const auto reply = dialog.Reply();
  if (reply[0] != 0x86 || reply[kLongCommand] != gateway::kCmdSendToSubDevice) return event;
  const std::uint8_t code = reply[kCode];
  std::optional<std::vector<std::uint8_t>> inner;
  if (code == 0) inner = gateway::UnwrapReply(ReplyData(dialog));
  if (!inner) {
    refusal_ = code != 0 ? gateway::RefusalText(code)
                         : std::string("шлюз прислал повреждённый ответ прибора");
    dialog.NoteReceived(0, 0);
    return kEvNoAnswer;
  }
  // The reply must be the one asked for, from the device it was sent to and to the command
  // sent, as a reply on a line is checked.
  const bool isLong = IsLong(wrappedFrame_);
  const std::size_t through = (isLong ? kLongCommand : kShortCommand) + 1;
  const bool answered =
      (*inner)[0] == (isLong ? 0x86 : 0x06) && ((*inner)[1] & 0x3F) == (wrappedFrame_[1] & 0x3F) &&
      std::equal(inner->begin() + 2, inner->begin() + through, wrappedFrame_.begin() + 2);
  if (!answered) {
    refusal_ = "шлюз прислал ответ не на тот запрос";
    dialog.NoteReceived(0, 0);
    return kEvNoAnswer;
  }
  std::fill(reply.begin(), reply.end(), std::uint8_t{0});
  std::copy(inner->begin(), inner->end(), reply.begin());
  dialog.NoteReceived(static_cast<int>(inner->size()), THartProtokol::kNoPreambles);
  // The sub-device's response code says the outcome, as it would on its own line.
  return OutcomeOf(reply);
}

}  // namespace hart
