#include "hart/frame.h"

#include <cassert>

namespace hart {
namespace {

// The top two bits of the first address byte are the master bit and the burst bit. We are a
// secondary master and never in burst mode, so both are 0 whatever the record holds.
constexpr std::uint8_t kAddressBits = 0x3F;

}  // namespace

std::uint8_t Checksum(std::span<const std::uint8_t> bytes) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : bytes) sum ^= b;
  return sum;
}

int WriteShortFrame(std::span<std::uint8_t> out, std::uint8_t pollingAddress, std::uint8_t command) {
  assert(out.size() >= 5);
  out[0] = kShortDelimiter;
  out[1] = static_cast<std::uint8_t>(pollingAddress & kAddressBits);
  out[2] = command;
  out[3] = 0;
  out[4] = Checksum(out.first(4));
  return 5;
}

int WriteLongFrame(std::span<std::uint8_t> out, const LongAddress& address, std::uint8_t command,
                   std::span<const std::uint8_t> data) {
  const std::size_t length = 9 + data.size();
  assert(out.size() >= length && data.size() <= 255);
  out[0] = kLongDelimiter;
  out[1] = static_cast<std::uint8_t>(address.manufacturer & kAddressBits);
  out[2] = address.deviceType;
  out[3] = static_cast<std::uint8_t>(address.deviceId >> 16);
  out[4] = static_cast<std::uint8_t>(address.deviceId >> 8);
  out[5] = static_cast<std::uint8_t>(address.deviceId);
  out[6] = command;
  out[7] = static_cast<std::uint8_t>(data.size());
  for (std::size_t i = 0; i < data.size(); ++i) out[8 + i] = data[i];
  out[length - 1] = Checksum(out.first(length - 1));
  return static_cast<int>(length);
}

}  // namespace hart
