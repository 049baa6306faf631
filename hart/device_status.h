// The field device status: the second status byte of every reply, one condition of the
// transmitter per bit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace hart {

enum DeviceStatusBit : std::uint8_t {
  kDeviceMalfunction = 0x80,
  kConfigurationChanged = 0x40,
  kColdStart = 0x20,
  kMoreStatusAvailable = 0x10,
  kLoopCurrentFixed = 0x08,
  kLoopCurrentSaturated = 0x04,
  kNonPrimaryVariableOutOfLimits = 0x02,
  kPrimaryVariableOutOfLimits = 0x01,
};

// The words for the bits that are set, highest bit first, joined by ", "; empty when none is.
std::string DeviceStatusText(std::uint8_t status);

// The device status of a slave's reply frame (delimiter first): none when the bytes are not a
// reply or stop before it.
std::optional<std::uint8_t> DeviceStatusOf(std::span<const std::uint8_t> reply);

}  // namespace hart
