// What a transmitter says of itself in its reply to command 0, read by the universal command
// revision it speaks: HART 5 says it in twelve data bytes, HART 6 and 7 in more and partly
// elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "hart/frame.h"

class THartProtokol;

namespace hart {

struct Identity {
  std::uint8_t expansionCode = 0;
  std::uint8_t universalRevision = 0;
  // HART 5: data byte 1. HART 6: the same byte, the first of the expanded device type, which is
  // the manufacturer's. HART 7: the manufacturer's 16-bit code, data bytes 17 and 18.
  std::uint16_t manufacturer = 0;
  // HART 5: data byte 2. HART 6 and 7: the expanded device type, data bytes 1 and 2.
  std::uint16_t deviceType = 0;
  // Data bytes 1 and 2, the top two bits of the first cleared, then the device identifier.
  LongAddress address;
  // As said, before any bound.
  std::uint8_t requestPreambles = 0;
  std::uint8_t specificRevision = 0;
  std::uint8_t softwareRevision = 0;
  // HART 5: data byte 7 whole. From HART 6 on: its top five bits; the low three are the physical
  // signalling code.
  std::uint8_t hardwareRevision = 0;
  std::uint8_t signalling = 0;
  std::uint8_t flags = 0;
  std::uint32_t deviceId = 0;
  // HART 6 and 7 only; 0 for HART 5.
  std::uint8_t responsePreambles = 0;
  std::uint8_t deviceVariables = 0;
  std::uint16_t configurationChanges = 0;
  std::uint8_t extendedStatus = 0;
  // Where it answered: the polling address of a short-frame reply (the master and burst bits
  // aside); 0 from a long-frame one.
  std::uint8_t pollingAddress = 0;

  bool operator==(const Identity&) const = default;
};

// The data bytes a command-0 reply of this universal revision must carry to be read: 12 up to
// HART 5, 17 for HART 6, 19 from HART 7 on (through the manufacturer's code).
std::size_t IdentityBytes(std::uint8_t universalRevision);
// The data bytes the reply in `reply` must carry by the revision it says; 12 when it is too
// short to say one.
std::size_t IdentityBytesOf(std::span<const std::uint8_t> reply);

// The identity in a command-0 reply (delimiter first); none when the reply is too short for its
// layout. Command 11 answers with the same data.
std::optional<Identity> ReadIdentity(std::span<const std::uint8_t> reply);

// True when the command-0 or command-11 reply in `dialog`'s reply area is too short for the layout
// its revision says; it is then refused as any short reply is (`ShortReplyRefusedFor`).
bool IdentityRefused(THartProtokol& dialog);

// The preamble count a transmitter asks for, bounded to what HART allows ahead of a request.
std::uint8_t BoundedPreambles(std::uint8_t said);

// "HART 7, изготовитель 0x00F9, тип 0xF9FD, номер 1, адрес 0".
std::string IdentityLine(const Identity& identity);

}  // namespace hart
