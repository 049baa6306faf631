#include "tests/support/gateway_model.h"

#include <algorithm>

#include "hart/frame.h"

namespace testhart {
namespace {

hart::TransmitterModel GatewayOwn() {
  hart::TransmitterModel m = TestModel(7);
  m.manufacturer = 0xE7;
  m.deviceType = 0x77;
  m.deviceId = 0x00C0DE;
  return m;
}

hart::TransmitterModel Sub(std::uint8_t revision, std::uint32_t id, const char* longTag) {
  hart::TransmitterModel m = TestModel(revision);
  m.deviceId = id;
  m.pressure = static_cast<float>(id % 1000) + 0.5f;
  std::fill(m.longTag.begin(), m.longTag.end(), std::uint8_t{' '});
  for (std::size_t i = 0; longTag[i] != 0 && i < m.longTag.size(); ++i) {
    m.longTag[i] = static_cast<std::uint8_t>(longTag[i]);
  }
  return m;
}

}  // namespace

GatewayModel::GatewayModel() : own_(GatewayOwn()), ownAnswerer_(own_) {
  struct Plan {
    std::uint8_t revision, card, channel;
    std::uint32_t id;
    const char* longTag;
  };
  const Plan plans[] = {{5, 0, 0, 0x000105, ""},
                        {6, 0, 1, 0x000206, "LT-206 TANK LEVEL"},
                        {7, 1, 0, 0x000307, "PT-307 STEAM HEADER PRESSURE"}};
  std::uint16_t index = 1;
  for (const Plan& p : plans) {
    const hart::TransmitterModel m = Sub(p.revision, p.id, p.longTag);
    hart::gateway::SubDevice s;
    s.index = index++;
    s.card = p.card;
    s.channel = p.channel;
    s.manufacturer = p.revision >= 7 ? m.manufacturerCode : m.manufacturer;
    s.deviceType = static_cast<std::uint16_t>(m.manufacturer << 8 | m.deviceType);
    s.deviceId = m.deviceId;
    s.universalRevision = m.universalRevision;
    s.longTag = p.longTag;
    slots_.push_back(Slot{s, std::make_unique<ModelAnswerer>(m)});
  }
}

void GatewayModel::Misroute(bool on) {
  std::lock_guard lock(mutex_);
  misroute_ = on;
}

void GatewayModel::Refuse77(std::uint16_t index, std::uint8_t code) {
  std::lock_guard lock(mutex_);
  refusals_[index] = code;
}

const hart::gateway::SubDevice& GatewayModel::Summary(std::uint16_t index) const {
  return slots_.at(index - 1u).summary;
}

std::vector<std::uint8_t> GatewayModel::Reply(std::uint8_t command, std::uint8_t code,
                                              const std::vector<std::uint8_t>& data) const {
  std::vector<std::uint8_t> frame;
  frame.reserve(11 + data.size());
  frame = {0x86,
           static_cast<std::uint8_t>(own_.manufacturer & 0x3F),
           own_.deviceType,
           static_cast<std::uint8_t>(own_.deviceId >> 16),
           static_cast<std::uint8_t>(own_.deviceId >> 8),
           static_cast<std::uint8_t>(own_.deviceId),
           command,
           static_cast<std::uint8_t>(data.size() + 2),
           code,
           0};
  frame.insert(frame.end(), data.begin(), data.end());
  frame.push_back(hart::Checksum(frame));
  return frame;
}

std::vector<std::uint8_t> GatewayModel::Answer(const std::vector<std::uint8_t>& request) {
  namespace gw = hart::gateway;
  const bool mine = request.size() >= 9 && request[0] == hart::kLongDelimiter &&
                    request[2] == own_.deviceType && request[5] == (own_.deviceId & 0xFF);
  const std::uint8_t command = mine ? request[6] : 0;
  if (!mine || (command != gw::kCmdCapabilities && command != gw::kCmdSubDeviceSummary &&
                command != gw::kCmdSendToSubDevice)) {
    return ownAnswerer_.Answer(request);
  }
  const std::span<const std::uint8_t> data(request.data() + 8,
                                           std::min<std::size_t>(request[7], request.size() - 9));
  constexpr std::uint8_t kInvalidSelection = 2;
  constexpr std::uint8_t kTooFewDataBytes = 5;
  if (command == gw::kCmdCapabilities) {
    gw::Capabilities c{2, 4, 1, static_cast<std::uint16_t>(slots_.size() + 1), 1, 0, 3};
    return Reply(command, 0, gw::CapabilitiesData(c));
  }
  if (command == gw::kCmdSubDeviceSummary) {
    if (data.size() < 2) return Reply(command, kTooFewDataBytes, {});
    const int index = data[0] << 8 | data[1];
    if (index < 1 || index > static_cast<int>(slots_.size())) {
      return Reply(command, kInvalidSelection, {});
    }
    return Reply(command, 0, gw::SubDeviceData(slots_[index - 1u].summary));
  }
  std::uint8_t card = 0;
  std::uint8_t channel = 0;
  const auto embedded = gw::UnwrapRequest(data, card, channel);
  if (!embedded) return Reply(command, kTooFewDataBytes, {});
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    const Slot& slot = slots_[i];
    if (slot.summary.card != card || slot.summary.channel != channel) continue;
    {
      std::lock_guard lock(mutex_);
      if (misroute_) {
        // The next one answers as if it had been asked.
        const Slot& other = slots_[(i + 1) % slots_.size()];
        std::vector<std::uint8_t> asked = *embedded;
        const hart::LongAddress a = other.summary.Address();
        asked[1] = a.manufacturer;
        asked[2] = a.deviceType;
        asked[3] = static_cast<std::uint8_t>(a.deviceId >> 16);
        asked[4] = static_cast<std::uint8_t>(a.deviceId >> 8);
        asked[5] = static_cast<std::uint8_t>(a.deviceId);
        asked.back() = hart::Checksum(std::span(asked).first(asked.size() - 1));
        return Reply(command, 0, gw::WrapReply(card, channel, other.device->Answer(asked)));
      }
      const auto refusal = refusals_.find(slot.summary.index);
      if (refusal != refusals_.end() && refusal->second != 0) {
        return Reply(command, refusal->second, {});
      }
    }
    const std::vector<std::uint8_t> reply = slot.device->Answer(*embedded);
    // A sub-device that stays silent: the gateway says so (9: no response from the device).
    if (reply.empty()) return Reply(command, 9, {});
    return Reply(command, 0, gw::WrapReply(card, channel, reply));
  }
  return Reply(command, kInvalidSelection, {});
}

}  // namespace testhart
