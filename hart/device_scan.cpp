#include "hart/device_scan.h"

#include <algorithm>

#include "hart/reach_link.h"
#include "hart/reply_data.h"
#include "record/packed_text.h"

namespace {

constexpr int kPreambles = 5;
constexpr int kAttempts = 3;
constexpr std::uint8_t kHart6 = 6;

// ISO Latin-1 to UTF-8, trailing blanks and NULs off.
std::string LatinText(std::span<const std::uint8_t> bytes) {
  std::string out;
  for (std::uint8_t b : bytes) {
    if (b == 0) break;
    if (b < 0x80) {
      out.push_back(static_cast<char>(b < 0x20 ? '?' : b));
    } else {
      out.push_back(static_cast<char>(0xC0 | b >> 6));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

hart::Reach FoundDevice::ReachOf() const {
  hart::Reach reach;
  if (sub) {
    reach.by = hart::Reach::By::SubDevice;
    reach.subDevice = sub->index;
  } else {
    reach.by = hart::Reach::By::Address;
    reach.address = pollingAddress;
  }
  return reach;
}

std::string FoundLine(const FoundDevice& d) {
  std::string line = d.sub ? "прибор " + std::to_string(d.sub->index) + " (карта " +
                                 std::to_string(d.sub->card) + ", канал " +
                                 std::to_string(d.sub->channel) + ")"
                 : d.byTag ? std::string("по тегу")
                           : "адрес " + std::to_string(d.pollingAddress);
  if (!d.leftOut.empty()) return line + ": пропущен, " + d.leftOut;
  // The address the line starts with is the one the identity line ends with.
  std::string identity = hart::IdentityLine(d.identity);
  identity.erase(std::min(identity.rfind(", адрес "), identity.size()));
  line += ": " + identity;
  line += ", тег «" + d.tag + "»";
  if (d.identity.universalRevision >= kHart6) line += ", длинный тег «" + d.longTag + "»";
  return line;
}

TDeviceScan::TDeviceScan(ui::Window* parent, ui::DialogTemplate tpl,
                         const TSerialPortSettings& settings, int from, int to)
    : THartProtokol(parent, std::move(tpl), settings, nullptr), from_(from), to_(to) {}

ui::DialogTemplate TDeviceScan::QuietTemplate() {
  ui::DialogTemplate tpl;
  tpl.resourceId = 976;
  tpl.rect = {0, 0, 100, 40};
  return tpl;
}

void TDeviceScan::Begin() {
  found_.clear();
  stopping_ = false;
  running_ = true;
  auto* reach = dynamic_cast<hart::ReachLink*>(&LinkInUse());
  gateway_ = reach != nullptr && reach->Gateway() ? reach : nullptr;
  if (gateway_ != nullptr) {
    // The gateway is asked for its sub-devices on the way to its own command 0.
    gateway_->Rediscover();
    total_ = 0;
    step_ = Step::Gateway;
    IssueShort(0, 0, kPreambles, kAttempts);
    oneAttemptIfSilent = false;
    StartReplyTimer();
    return;
  }
  // A link that finds its device by tag turns every poll into that search: one is enough.
  const hart::Reach* fixed = LinkInUse().Reaching();
  byTag_ = fixed != nullptr &&
           (fixed->by == hart::Reach::By::Tag || fixed->by == hart::Reach::By::LongTag);
  if (byTag_) to_ = from_;
  total_ = to_ - from_ + 1;
  at_ = from_;
  PollCurrent();
}

void TDeviceScan::PollCurrent() {
  step_ = Step::Poll;
  if (gateway_ != nullptr) {
    const hart::gateway::SubDevice& sub = gateway_->SubDevices()[static_cast<std::size_t>(at_)];
    FoundDevice device;
    device.sub = sub;
    found_.push_back(device);
    oneAttemptIfSilent = false;
    IssueLong(sub.Address(), 0, {}, kPreambles, kAttempts);
  } else {
    oneAttemptIfSilent = true;
    searchesReach = true;
    IssueShort(static_cast<std::uint8_t>(at_), 0, kPreambles, kAttempts);
  }
  StartReplyTimer();
}

void TDeviceScan::Progress() {
  if (onProgress) onProgress(gateway_ != nullptr ? at_ + 1 : at_ - from_ + 1, total_);
}

void TDeviceScan::Next() {
  if (step_ != Step::Gateway) {
    Progress();
    ++at_;
  }
  if (stopping_ || at_ >= (gateway_ != nullptr ? total_ : to_ + 1)) {
    Finish();
    return;
  }
  PollCurrent();
}

void TDeviceScan::Finish() {
  running_ = false;
  oneAttemptIfSilent = false;
  if (onFinished) onFinished();
}

void TDeviceScan::Take(bool heard) {
  if (!running_) return;
  const auto reply = Reply();
  switch (step_) {
    case Step::Gateway:
      total_ = static_cast<int>(gateway_->SubDevices().size());
      at_ = 0;
      if (onProgress) onProgress(0, total_);
      if (total_ == 0 || stopping_) {
        Finish();
        return;
      }
      PollCurrent();
      return;
    case Step::Poll: {
      const auto identity = heard ? hart::ReadIdentity(reply) : std::nullopt;
      if (!identity) {
        if (gateway_ != nullptr) {
          const std::string& why = gateway_->Refusal();
          found_.back().leftOut = why.empty() ? "нет ответа от прибора" : why;
        }
        Next();
        return;
      }
      if (gateway_ == nullptr) {
        found_.emplace_back();
        found_.back().pollingAddress = static_cast<std::uint8_t>(at_);
        found_.back().byTag = byTag_;
      }
      found_.back().identity = *identity;
      if (stopping_) {
        Next();
        return;
      }
      step_ = Step::Tag;
      oneAttemptIfSilent = false;
      IssueLong(identity->address, 13, {}, hart::BoundedPreambles(identity->requestPreambles),
                kAttempts);
      StartReplyTimer();
      return;
    }
    case Step::Tag:
      if (heard && hart::ReplyHolds(reply, 6)) {
        found_.back().tag = Trimmed(packed::DecodeForDisplay(hart::DataBytes(reply, 0, 6), 8));
      }
      if (found_.back().identity.universalRevision >= kHart6 && !stopping_) {
        step_ = Step::LongTag;
        IssueLong(found_.back().identity.address, 20, {},
                  hart::BoundedPreambles(found_.back().identity.requestPreambles), kAttempts);
        StartReplyTimer();
        return;
      }
      Next();
      return;
    case Step::LongTag:
      if (heard && hart::ReplyHolds(reply, hart::kLongTagLength)) {
        found_.back().longTag = LatinText(hart::DataBytes(reply, 0, hart::kLongTagLength));
      }
      Next();
      return;
  }
}

ui::LResult TDeviceScan::EvReply() {
  Take(true);
  return 0;
}

ui::LResult TDeviceScan::EvStatusError() {
  // A device that answers its poll with a status but its whole identity is there.
  Take(step_ == Step::Poll || step_ == Step::Gateway);
  return 0;
}

ui::LResult TDeviceScan::EvNoAnswer() {
  Take(false);
  return 0;
}

ui::LResult TDeviceScan::EvLineBusy() {
  Take(false);
  return 0;
}
