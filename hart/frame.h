// HART request frames as a master builds them; replies are read where the reply area holds them.
#pragma once

#include <cstdint>
#include <span>

namespace hart {

constexpr std::uint8_t kShortDelimiter = 0x02;
constexpr std::uint8_t kLongDelimiter = 0x82;
constexpr std::size_t kFrameSize = 171;
constexpr std::size_t kReplyOffset = 100;
constexpr std::size_t kRequestCapacity = kReplyOffset;
// In a long-frame reply: the response code and the first data byte.
constexpr std::size_t kReplyResponseCode = 8;
constexpr std::size_t kReplyData = 10;

// The five address bytes of a long frame: manufacturer, device type, 24-bit device identifier.
struct LongAddress {
  std::uint8_t manufacturer = 0;
  std::uint8_t deviceType = 0;
  std::uint32_t deviceId = 0;
  bool operator==(const LongAddress&) const = default;
};

// Exclusive OR of every byte.
std::uint8_t Checksum(std::span<const std::uint8_t> bytes);

// Each writer fills `out` from its start, appends the checksum and returns the length. The
// address byte after the delimiter goes out with the master and burst bits cleared.
int WriteShortFrame(std::span<std::uint8_t> out, std::uint8_t pollingAddress, std::uint8_t command);
int WriteLongFrame(std::span<std::uint8_t> out, const LongAddress& address, std::uint8_t command,
                   std::span<const std::uint8_t> data);

}  // namespace hart
