// The common-practice commands of a HART I/O system (a HART-IP gateway or multiplexer): 74 Read
// I/O System Capabilities, 84 Read Sub-Device Identity Summary, 77 Send Command to Sub-Device.
// The byte layouts are those of the public HART stack of Nivis (WirelessHART gateway sources,
// C074_ReadIOSystemCapabilities.c, C077_SendCommandToSubDevice.c,
// C084_ReadSubDeviceIdentitySummary.c) and of the nmap script hartip-info.nse, which sends 84.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hart/frame.h"

namespace hart::gateway {

inline constexpr std::uint8_t kCmdCapabilities = 74;
inline constexpr std::uint8_t kCmdSendToSubDevice = 77;
inline constexpr std::uint8_t kCmdSubDeviceSummary = 84;

// 74's data: cards, channels per card, sub-devices per channel, devices detected (16 bits, the
// I/O system itself counted), delayed responses, master mode, retry count.
struct Capabilities {
  std::uint8_t cards = 0;
  std::uint8_t channelsPerCard = 0;
  std::uint8_t subDevicesPerChannel = 0;
  std::uint16_t devicesDetected = 0;
  std::uint8_t delayedResponses = 0;
  std::uint8_t masterMode = 0;
  std::uint8_t retryCount = 0;
};
inline constexpr std::size_t kCapabilitiesBytes = 8;
std::vector<std::uint8_t> CapabilitiesData(const Capabilities& c);
std::optional<Capabilities> ReadCapabilities(std::span<const std::uint8_t> data);

// 84's data: the index asked for (16 bits), I/O card, channel, manufacturer (16 bits),
// expanded device type (16 bits), device identifier (24 bits), universal revision, then the
// long tag in 32 ISO Latin-1 bytes (a HART 5 sub-device's message, as the gateway has it).
struct SubDevice {
  std::uint16_t index = 0;
  std::uint8_t card = 0;
  std::uint8_t channel = 0;
  std::uint16_t manufacturer = 0;
  std::uint16_t deviceType = 0;
  std::uint32_t deviceId = 0;
  std::uint8_t universalRevision = 0;
  std::string longTag;  // trailing blanks and NULs taken off

  // By which its requests address it: the expanded device type's two bytes (a HART 5 device's
  // manufacturer and type), the top two bits aside, and the identifier.
  LongAddress Address() const;
};
inline constexpr std::size_t kSubDeviceBytes = 44;
// The request data of 84.
std::vector<std::uint8_t> SubDeviceRequest(std::uint16_t index);
std::vector<std::uint8_t> SubDeviceData(const SubDevice& s);
std::optional<SubDevice> ReadSubDevice(std::span<const std::uint8_t> data);

// 77's request data: I/O card, channel, transmit preamble count, then the embedded frame from its
// delimiter through its data, without the checksum (HART-IP carries it whole).
std::vector<std::uint8_t> WrapRequest(std::uint8_t card, std::uint8_t channel,
                                      std::uint8_t preambles, std::span<const std::uint8_t> frame);
// 77's reply data: I/O card, channel, the sub-device's reply from its delimiter through its
// data (response code and status included), without a checksum. The reply as a frame of its own,
// checksum added; none when the data do not hold one whole.
std::optional<std::vector<std::uint8_t>> UnwrapReply(std::span<const std::uint8_t> data);
// The inverse of both, for a gateway that answers: the embedded request as a frame with its
// checksum (none when not whole), and the reply data around a sub-device's reply frame.
std::optional<std::vector<std::uint8_t>> UnwrapRequest(std::span<const std::uint8_t> data,
                                                       std::uint8_t& card, std::uint8_t& channel);
std::vector<std::uint8_t> WrapReply(std::uint8_t card, std::uint8_t channel,
                                    std::span<const std::uint8_t> frame);

// "ответ 77: код 2" and the like, for a sub-device the gateway could not reach.
std::string RefusalText(std::uint8_t responseCode);

}  // namespace hart::gateway
