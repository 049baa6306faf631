#include "hart/gateway.h"

namespace hart::gateway {
namespace {

constexpr std::uint8_t kLongAddressBit = 0x80;
constexpr std::uint8_t kExpansionBits = 0x60;

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

std::uint16_t Get16(std::span<const std::uint8_t> d, std::size_t at) {
  return static_cast<std::uint16_t>(d[at] << 8 | d[at + 1]);
}

// The length of a frame from its delimiter through its data (no checksum) at the start of
// `bytes`; 0 when `bytes` do not hold one.
std::size_t FrameLength(std::span<const std::uint8_t> bytes) {
  if (bytes.empty() || (bytes[0] & kExpansionBits) != 0) return 0;
  const std::size_t header = (bytes[0] & kLongAddressBit) != 0 ? 8 : 4;
  if (bytes.size() < header) return 0;
  const std::size_t length = header + bytes[header - 1];
  // The reply area of a dialog holds 71 bytes, checksum included.
  return length <= bytes.size() && length < kFrameSize - kReplyOffset ? length : 0;
}

std::vector<std::uint8_t> WithChecksum(std::span<const std::uint8_t> frame) {
  std::vector<std::uint8_t> out(frame.begin(), frame.end());
  out.push_back(Checksum(frame));
  return out;
}

}  // namespace

std::vector<std::uint8_t> CapabilitiesData(const Capabilities& c) {
  std::vector<std::uint8_t> out{c.cards, c.channelsPerCard, c.subDevicesPerChannel};
  Put16(out, c.devicesDetected);
  out.insert(out.end(), {c.delayedResponses, c.masterMode, c.retryCount});
  return out;
}

std::optional<Capabilities> ReadCapabilities(std::span<const std::uint8_t> data) {
  if (data.size() < kCapabilitiesBytes) return std::nullopt;
  return Capabilities{data[0], data[1], data[2], Get16(data, 3), data[5], data[6], data[7]};
}

LongAddress SubDevice::Address() const {
  return LongAddress{static_cast<std::uint8_t>(deviceType >> 8 & 0x3F),
                     static_cast<std::uint8_t>(deviceType), deviceId & 0xFFFFFF};
}

std::vector<std::uint8_t> SubDeviceRequest(std::uint16_t index) {
  std::vector<std::uint8_t> out;
  Put16(out, index);
  return out;
}

std::vector<std::uint8_t> SubDeviceData(const SubDevice& s) {
  std::vector<std::uint8_t> out;
  Put16(out, s.index);
  out.insert(out.end(), {s.card, s.channel});
  Put16(out, s.manufacturer);
  Put16(out, s.deviceType);
  out.insert(out.end(), {static_cast<std::uint8_t>(s.deviceId >> 16),
                         static_cast<std::uint8_t>(s.deviceId >> 8),
                         static_cast<std::uint8_t>(s.deviceId), s.universalRevision});
  std::string tag = s.longTag.substr(0, 32);
  tag.resize(32, ' ');
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

std::optional<SubDevice> ReadSubDevice(std::span<const std::uint8_t> data) {
  // The long tag may come short or not at all from an older gateway: what is there is taken.
  constexpr std::size_t kFixed = 12;
  if (data.size() < kFixed) return std::nullopt;
  SubDevice s;
  s.index = Get16(data, 0);
  s.card = data[2];
  s.channel = data[3];
  s.manufacturer = Get16(data, 4);
  s.deviceType = Get16(data, 6);
  s.deviceId = static_cast<std::uint32_t>(data[8] << 16 | data[9] << 8 | data[10]);
  s.universalRevision = data[11];
  const auto tag = data.subspan(kFixed, std::min<std::size_t>(data.size() - kFixed, 32));
  for (std::uint8_t b : tag) {
    // ISO Latin-1 to UTF-8; control bytes end it.
    if (b < 0x20) break;
    if (b < 0x80) {
      s.longTag.push_back(static_cast<char>(b));
    } else {
      s.longTag.push_back(static_cast<char>(0xC0 | b >> 6));
      s.longTag.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  while (!s.longTag.empty() && s.longTag.back() == ' ') s.longTag.pop_back();
  return s;
}

std::vector<std::uint8_t> WrapRequest(std::uint8_t card, std::uint8_t channel,
                                      std::uint8_t preambles, std::span<const std::uint8_t> frame) {
  std::vector<std::uint8_t> out;
  out.reserve(3 + frame.size());
  out = {card, channel, preambles};
  // The frame without its checksum.
  if (!frame.empty()) out.insert(out.end(), frame.begin(), frame.end() - 1);
  return out;
}

std::optional<std::vector<std::uint8_t>> UnwrapReply(std::span<const std::uint8_t> data) {
  if (data.size() < 2) return std::nullopt;
  const std::size_t length = FrameLength(data.subspan(2));
  // A reply carries its response code and status at least.
  const std::size_t header = length > 0 && (data[2] & kLongAddressBit) != 0 ? 8 : 4;
  if (length < header + 2) return std::nullopt;
  return WithChecksum(data.subspan(2, length));
}

std::optional<std::vector<std::uint8_t>> UnwrapRequest(std::span<const std::uint8_t> data,
                                                       std::uint8_t& card, std::uint8_t& channel) {
  if (data.size() < 3) return std::nullopt;
  card = data[0];
  channel = data[1];
  const std::size_t length = FrameLength(data.subspan(3));
  if (length == 0) return std::nullopt;
  return WithChecksum(data.subspan(3, length));
}

std::vector<std::uint8_t> WrapReply(std::uint8_t card, std::uint8_t channel,
                                    std::span<const std::uint8_t> frame) {
  std::vector<std::uint8_t> out;
  out.reserve(2 + frame.size());
  out = {card, channel};
  if (!frame.empty()) out.insert(out.end(), frame.begin(), frame.end() - 1);
  return out;
}

std::string RefusalText(std::uint8_t responseCode) {
  switch (responseCode) {
    case 2:
      return "шлюз не знает такого канала или прибора (ответ 77: код 2)";
    case 5:
      return "шлюз не принял запрос (ответ 77: код 5)";
    case 9:
      return "прибор на канале не отвечает (ответ 77: код 9)";
    case 32:
      return "шлюз занят (ответ 77: код 32)";
    case 64:
      return "шлюз не передаёт команды подчинённым приборам (ответ 77: код 64)";
    default:
      return "шлюз отказал (ответ 77: код " + std::to_string(responseCode) + ")";
  }
}

}  // namespace hart::gateway
