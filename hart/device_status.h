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

// What command 48 says, in words: for HART 6 and 7 the extended device status bits that are set,
// and the device-specific status bytes in hex where any is set; empty when nothing is.
// `revision` is the transmitter's universal revision (HART 5 has no extended device status).
std::string MoreStatusText(std::span<const std::uint8_t> reply, int revision);

// What the replies said beyond their status byte.
struct DeviceCondition {
  // A burst frame was heard, or a reply had the burst bit: it stays said, for a transmitter
  // leaves burst mode only when told and this program never tells it.
  bool burstMode = false;
  // What command 48 said when it was last read.
  std::string moreStatus;
};

inline constexpr const char* kBurstModeText = "Преобразователь в пакетном режиме";
inline constexpr const char* kDeviceStatusWords = "Статус прибора: ";

// The status line: burst mode, then the device status of the last reply, with what command 48
// said while 0x10 is set; empty when there is nothing to say.
std::string StatusLine(std::uint8_t status, const DeviceCondition& condition);

}  // namespace hart
